// The hand-over between the HTTP threads and the one loop that drives the
// core. An HTTP thread queues its work and waits for the answer; the loop
// takes the queued jobs when the wake descriptor says there are some, does
// the work by polling the core, and answers each job. The HTTP threads never
// touch the core, and the core never waits for them.
//
// A job whose answer does not come within the waiter's patience is
// answered with an error and marked abandoned, so the loop can stop its
// work. After Close every waiting and later job is answered with an error.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "api_request.h"
#include "feed_xml.h"

namespace torznab {

struct DownloadWork {
    std::string token;
};
using Work = std::variant<ApiQuery, DownloadWork>;

struct FeedAnswer {
    std::vector<FeedItem> items;
    int offset = 0;
};
struct FileAnswer {
    std::string path;      // the .torrent file to send
    std::string fileName;  // the name the client sees
};
using Answer = std::variant<FeedAnswer, FileAnswer, ApiError>;

class CRequestQueue {
  public:
    class Job {
      public:
        const Work& GetWork() const { return m_work; }
        // The waiter gave up; the answer will not be read.
        bool IsAbandoned() const;
        // Only the first answer counts.
        void Complete(Answer answer);

      private:
        friend class CRequestQueue;
        struct State;
        Job(Work work, std::shared_ptr<State> state)
            : m_work(std::move(work)), m_state(std::move(state)) {}

        Work m_work;
        std::shared_ptr<State> m_state;
    };

    CRequestQueue();
    ~CRequestQueue();
    CRequestQueue(const CRequestQueue&) = delete;
    CRequestQueue& operator=(const CRequestQueue&) = delete;

    // False when the wake descriptor could not be made.
    bool IsOk() const { return m_wakeFd >= 0; }

    // HTTP threads: queues the work and waits up to `patience` for its answer.
    Answer Submit(Work work, std::chrono::milliseconds patience);

    // The loop: readable while jobs wait to be taken.
    int WakeFd() const { return m_wakeFd; }
    std::vector<Job> Take();
    // Answers every queued job and every later one with an error.
    void Close();

  private:
    int m_wakeFd = -1;
    std::mutex m_mutex;
    std::deque<Job> m_jobs;
    bool m_bClosed = false;
};

}  // namespace torznab

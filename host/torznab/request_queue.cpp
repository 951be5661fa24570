#include "request_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>

namespace torznab {

struct CRequestQueue::Job::State {
    std::promise<Answer> promise;
    std::atomic<bool> answered{false};
    std::atomic<bool> abandoned{false};
};

bool CRequestQueue::Job::IsAbandoned() const {
    return m_state->abandoned.load();
}

void CRequestQueue::Job::Complete(Answer answer) {
    if (!m_state->answered.exchange(true)) {
        m_state->promise.set_value(std::move(answer));
    }
}

CRequestQueue::CRequestQueue() : m_wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CRequestQueue::~CRequestQueue() {
    Close();
    if (m_wakeFd >= 0) {
        close(m_wakeFd);
    }
}

Answer CRequestQueue::Submit(Work work, std::chrono::milliseconds patience) {
    auto state = std::make_shared<Job::State>();
    std::future<Answer> answer = state->promise.get_future();
    {
        std::lock_guard lock(m_mutex);
        if (m_bClosed) {
            return ApiError{kUnknownError, "The server is shutting down"};
        }
        m_jobs.push_back(Job(std::move(work), state));
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
    if (answer.wait_for(patience) != std::future_status::ready) {
        state->abandoned = true;
        return ApiError{kUnknownError, "The request took too long"};
    }
    return answer.get();
}

std::vector<CRequestQueue::Job> CRequestQueue::Take() {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t read_ = read(m_wakeFd, &count, sizeof count);
    std::lock_guard lock(m_mutex);
    std::vector<Job> jobs(std::make_move_iterator(m_jobs.begin()),
                          std::make_move_iterator(m_jobs.end()));
    m_jobs.clear();
    return jobs;
}

void CRequestQueue::Close() {
    std::deque<Job> left;
    {
        std::lock_guard lock(m_mutex);
        m_bClosed = true;
        left.swap(m_jobs);
    }
    for (Job& job : left) {
        job.Complete(ApiError{kUnknownError, "The server is shutting down"});
    }
}

}  // namespace torznab

// The stall rule of the plug-in's transfers. Progress is counted in whole
// kilobytes, not in bytes or percent: a site that trickles a byte now and
// then (and so moves a percentage without a known length at every poll) has
// stalled as surely as one that sends nothing.
#pragma once

#include <cstdint>

class StallWatch {
  public:
    static constexpr int64_t kProgressBytes = 1024;

    // A new request: nothing received yet, the allowance starts at `now`.
    void Restart(int64_t now) {
        mark_ = 0;
        since_ = now;
    }

    // True once `received` (the request's bytes so far) has not grown by
    // kProgressBytes for more than `allowance` seconds.
    bool Stalled(int64_t received, int64_t now, int64_t allowance) {
        if (received - mark_ >= kProgressBytes) {
            mark_ = received;
            since_ = now;
            return false;
        }
        return now - since_ > allowance;
    }

  private:
    int64_t mark_ = 0;
    int64_t since_ = 0;
};

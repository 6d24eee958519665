#pragma once
#include <algorithm>
#include <cstdint>
#include <optional>

namespace dwellor::wlroots {

// Tells, from a compositor's idle notices alone, whether the person gave
// any input between two readings. The compositor says "idle" once no input
// has come for `quietMs`, and "resumed" at the next input; Dwellor's own
// clicks count as input there, and are told apart by their time.
class RestClock {
public:
    explicit RestClock(int quietMs) : quietMs_(quietMs) {}

    void idle(std::int64_t at) {
        busy_ = false;
        // The last input of the busy stretch came a quiet span before.
        const std::int64_t last = at - quietMs_;
        if (!ours(last)) lastInput_ = std::max(lastInput_.value_or(last), last);
    }
    void resumed(std::int64_t at) {
        busy_ = true;
        busyOurs_ = ours(at);
        if (!busyOurs_) lastInput_ = at;
    }
    void injected(std::int64_t at) { ownAt_ = at; }
    // Whether the person gave input since the last reading: always at the
    // first, and while input goes on.
    bool inputSince(std::int64_t at) {
        const bool input = !lastRead_ || (lastInput_ && *lastInput_ > *lastRead_) || (busy_ && !busyOurs_);
        lastRead_ = at;
        return input;
    }
    bool busy() const { return busy_ && !busyOurs_; }

    // How long after an injection the notice of it may come: a late one
    // only costs a click, taken for the person's input.
    static constexpr int kOwnSlackMs = 30;

private:
    bool ours(std::int64_t t) const { return ownAt_ && t >= *ownAt_ - 2 && t <= *ownAt_ + kOwnSlackMs; }

    int quietMs_;
    bool busy_ = true;  // until the compositor first says otherwise
    bool busyOurs_ = false;
    std::optional<std::int64_t> lastInput_, lastRead_, ownAt_;
};

}  // namespace dwellor::wlroots

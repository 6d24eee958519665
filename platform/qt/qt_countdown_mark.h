#pragma once
#include <memory>

#include "platform/countdown_mark.h"

namespace dwellor::qt {

// The ring beside the pointer: a window of its own that the window manager
// never sees (override-redirect), shaped to a disc, that takes no input and
// no focus. A compositor is not needed.
class QtCountdownMark final : public ICountdownMark {
public:
    QtCountdownMark();
    ~QtCountdownMark() override;

    void show(Point pointer, double filled, bool held) override;
    void hide() override;
    bool shown() const override;
    // Not where the compositor places windows.
    bool canShow() const override;

    // In device-independent pixels at 96 DPI: the ring's size, and how far
    // right and down of its hot spot the pointer's image reaches.
    static constexpr int kSize = 24, kPointerReach = 20;

private:
    class Ring;
    std::unique_ptr<Ring> w_;
};

}  // namespace dwellor::qt

#pragma once
#include <memory>
#include <string>

#include "platform/kwin/kwin_fake_input.h"
#include "platform/posix/guardian.h"

namespace dwellor::kwin {

// Clicks in KWin through fake input, with a guardian that lets go of a held
// press and unloads Dwellor's KWin script however Dwellor ends.
class KWinClicks final : public IMouseInput {
public:
    // What Dwellor says when KWin does not grant it fake input.
    static constexpr const char* kNotGranted =
        "dwellor: KWin lets only an installed Dwellor click: start the installed one, or install this one "
        "(make install, or its package) so that its desktop entry, which asks KWin for fake input, names "
        "this program's path.";
    // Null, with `error`, when there is no Wayland display or no grant.
    static std::unique_ptr<KWinClicks> open(std::string& error);

    // Forks the guardian: call once, before any thread starts.
    void guardHeldPress();
    int guardianFd() const { return guardian_ ? guardian_->fd() : -1; }
    bool guardianGone();

    void mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::int32_t data,
                     std::uintptr_t extraInfo) override;

private:
    explicit KWinClicks(std::unique_ptr<FakeInput> input) : input_(std::move(input)) {}
    std::unique_ptr<FakeInput> input_;
    std::unique_ptr<posix::Guardian> guardian_;
};

}  // namespace dwellor::kwin

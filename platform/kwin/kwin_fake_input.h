#pragma once
#include <memory>

#include "platform/wayland/wayland_client.h"

struct org_kde_kwin_fake_input;

namespace dwellor::kwin {

// Button events (and, for a test's driver, pointer moves) injected through
// KWin's fake input protocol. KWin offers the protocol only to a program
// that an installed desktop entry grants it to.
class FakeInput final : public wayland::ButtonInjector {
public:
    // What Dwellor says when KWin does not grant it fake input.
    static constexpr const char* kNotGranted =
        "dwellor: KWin lets only an installed Dwellor click: start the installed one, or install this one "
        "(make install, or its package) so that its desktop entry, which asks KWin for fake input, names "
        "this program's path.";
    enum class Opened { Yes, NoDisplay, NotGranted };
    // Null, with `why`, when no compositor answers or it does not offer fake
    // input to this program.
    static std::unique_ptr<FakeInput> open(Opened& why);
    ~FakeInput() override;

    // Moves the pointer to a point of the compositor's space, or by a step.
    void moveTo(double x, double y);
    void moveBy(double dx, double dy);

protected:
    void button(std::uint32_t code, bool pressed) override;

private:
    FakeInput(std::unique_ptr<wayland::Connection> c, org_kde_kwin_fake_input* input)
        : ButtonInjector(std::move(c)), input_(input) {}
    org_kde_kwin_fake_input* input_;
};

}  // namespace dwellor::kwin

// The installed program in Wayland sessions: a headless KWin or sway, a
// probe window filling the screen under the pointer, the pointer moved
// through fake input or a virtual pointer.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "tests/support/e2e.h"
#include "tests/support/sni_host.h"
#include "tests/support/wayland_session.h"

namespace dwellor::testsupport {
namespace {

constexpr int kPeriodMs = 500;
// Dwellor's window is kept where it was left: here, clear of the rests.
constexpr int kLeft = 800, kTop = 500;

class WaylandTest : public ::testing::TestWithParam<WaylandSession::Compositor> {
protected:
    using Compositor = WaylandSession::Compositor;

    void startDwellor(const std::string& extraSettings = {}, const std::vector<std::string>& args = {}) {
        session_.startProbe();
        session_.writeSettings("[Program]\nInterval=" + std::to_string(kPeriodMs) + "\nLeft=" + std::to_string(kLeft) +
                               "\nTop=" + std::to_string(kTop) + "\n" + extraSettings);
        std::vector<std::string> argv = {session_.dwellor()};
        argv.insert(argv.end(), args.begin(), args.end());
        session_.spawn(dwellor_, argv, session_.dir() + "/dwellor.log");
    }

    // Whether Dwellor's window stands over `p`: a rest there stops reaching
    // the probe. Rests there again (a pixel aside) until it does.
    bool windowOver(Spot p) {
        int aside = 0;
        return waitFor([&] {
            session_.moveTo(p.x + (aside ^= 1), p.y);
            const std::size_t before = session_.clicks().size();
            return holdsFor([&] { return session_.clicks().size() == before; }, milliseconds(3 * kPeriodMs));
        });
    }

    bool clicked(const ProbeClick& c) {
        return waitFor([&] {
            const auto all = session_.clicks();
            return std::find(all.begin(), all.end(), c) != all.end();
        });
    }

    // Whether KWin runs the script of the Dwellor started here: "loaded" or
    // "gone" (anything else is a failed question).
    std::string script() {
        ExitStatus status;
        return session_.run({"/usr/bin/python3", "-c",
                             "import dbus; print('loaded' if dbus.Interface(dbus.SessionBus().get_object("
                             "'org.kde.KWin', '/Scripting'), 'org.kde.kwin.Scripting').isScriptLoaded('dwellor-" +
                                 std::to_string(dwellor_.pid()) + "') else 'gone')"},
                            status);
    }

    std::string log() { return readFile(session_.dir() + "/dwellor.log"); }

    // A spot on Dwellor's window with no control under it: KWin puts the
    // window where it was left, sway in the middle of the screen.
    Spot onItsWindow() const {
        return GetParam() == Compositor::KWin ? Spot{kLeft + 180, kTop + 60} : Spot{(1024 - 188) / 2 + 172, (768 - 229) / 2 + 60};
    }

    WaylandSession session_{GetParam()};
    ChildProcess dwellor_;
};

using KWinTest = WaylandTest;

TEST_P(WaylandTest, ARestClicksWhereThePointerRestsMovementAndItsOwnWindowDoNot) {
    startDwellor();
    session_.moveTo(200, 200);
    ASSERT_TRUE(clicked({true, 1, 200, 200})) << log();
    // Once a period while it rests: Dwellor's own click is no movement.
    EXPECT_TRUE(waitFor([&] {
        const auto all = session_.clicks();
        return std::count(all.begin(), all.end(), ProbeClick{false, 1, 200, 200}) >= 2;
    })) << ::testing::PrintToString(session_.clicks());

    // Moving on, never still for a period: nothing.
    const std::size_t before = session_.clicks().size();
    for (int step = 1; step <= 3 * kPeriodMs / 100; ++step) {
        session_.moveTo(200 + 7 * step, 200 + 3 * step);
        std::this_thread::sleep_for(milliseconds(100));
        ASSERT_LE(session_.clicks().size(), before + 2) << "a click while moving";
    }
    // At most the click of the rest it left, caught by a tick before the move.
    const std::size_t moved = session_.clicks().size();

    // Its window, above the probe (on KWin where it was left): a rest there
    // never reaches the probe (nor clicks a control: none there).
    session_.moveTo(onItsWindow().x, onItsWindow().y);
    EXPECT_TRUE(holdsFor([&] { return session_.clicks().size() == moved; }, milliseconds(3 * kPeriodMs)))
        << ::testing::PrintToString(session_.clicks());

    // One Dwellor in the session, which a later start's command ends; its
    // KWin script goes with it.
    ExitStatus quit;
    session_.run({session_.dwellor(), "--quit"}, quit);
    EXPECT_EQ(quit, (ExitStatus{0, 0}));
    EXPECT_EQ(dwellor_.waitExit(kPatience), (ExitStatus{0, 0})) << log();
    if (GetParam() == Compositor::KWin) {
        EXPECT_EQ(script(), "gone\n");
    }
}

TEST_P(KWinTest, ADragHoldsUntilTheNextRestAndTheCornerOrAKillLetsGo) {
    startDwellor("Drag=1\n");
    session_.moveTo(200, 200);
    ASSERT_TRUE(clicked({true, 1, 200, 200})) << log();
    session_.moveTo(400, 300);
    ASSERT_TRUE(clicked({false, 1, 400, 300})) << log();
    ASSERT_TRUE(clicked({true, 1, 400, 300}));
    // Parked in the top-left corner: let go, and nothing pressed there.
    session_.moveTo(0, 0);
    ASSERT_TRUE(clicked({false, 1, 0, 0}));
    EXPECT_TRUE(holdsFor([&] { return session_.clicks().back() == ProbeClick{false, 1, 0, 0}; },
                         milliseconds(3 * kPeriodMs)));

    // Killed while holding a press: the guardian lets go, and takes Dwellor's
    // script out of KWin.
    session_.moveTo(300, 250);
    ASSERT_TRUE(clicked({true, 1, 300, 250}));
    ASSERT_EQ(script(), "loaded\n");
    dwellor_.signal(SIGKILL);
    EXPECT_TRUE(clicked({false, 1, 300, 250}));
    std::string left;
    EXPECT_TRUE(waitFor([&] { return (left = script()) == "gone\n"; })) << left << log();
}

TEST_P(KWinTest, TheSteadyRestClicksAPointerThatTrembles) {
    startDwellor("Steady=True\nRadius=6\n");
    ASSERT_TRUE(waitFor([&] { return script() == "loaded\n"; })) << log();
    // Never at one pixel twice (the usual rule never clicks), never more
    // than 2 pixels off: 25 spots, each once.
    bool clicked = false;
    for (int k = 0; k < 25 && !clicked; ++k) {
        session_.moveTo(300 + k % 5 - 2, 300 + (k / 5 + 2 * k) % 5 - 2);
        clicked = waitFor(
            [&] {
                const auto all = session_.clicks();
                return std::any_of(all.begin(), all.end(), [](const ProbeClick& c) {
                    return c.press && std::abs(c.x - 300) <= 2 && std::abs(c.y - 300) <= 2;
                });
            },
            milliseconds(60));
    }
    EXPECT_TRUE(clicked) << log();
}

TEST_P(KWinTest, StartedInTheTrayItsIconBringsTheWindowBackWhereItWasLeft) {
    FakeStatusNotifierHost tray(session_.busAddress(), session_.dir() + "/tray.log", kPatience,
                                session_.asUser({"/usr/bin/python3", session_.addProgram(FAKE_SNI_HOST, false)}));
    startDwellor({}, {"--hidden"});
    ASSERT_TRUE(waitFor([&] { return tray.items().live == 1; })) << log();
    // Nothing of Dwellor's there yet: the rest clicks the probe.
    session_.moveTo(onItsWindow().x, onItsWindow().y);
    ASSERT_TRUE(clicked({true, 1, onItsWindow().x, onItsWindow().y})) << log();
    ASSERT_TRUE(tray.activate());
    EXPECT_TRUE(windowOver(onItsWindow())) << log();
}

TEST_P(KWinTest, AProgramKWinDoesNotGrantFakeInputSaysSoAndEnds) {
    ExitStatus status;
    const std::string said = session_.run({session_.addProgram(DWELLOR_BINARY, false)}, status);
    EXPECT_EQ(status, (ExitStatus{1, 0}));
    EXPECT_NE(said.find("KWin lets only an installed Dwellor click"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

INSTANTIATE_TEST_SUITE_P(Compositors, WaylandTest, ::testing::Values(WaylandSession::Compositor::KWin, WaylandSession::Compositor::Sway),
                         [](const auto& info) { return info.param == WaylandSession::Compositor::KWin ? "KWin" : "Sway"; });
INSTANTIATE_TEST_SUITE_P(Only, KWinTest, ::testing::Values(WaylandSession::Compositor::KWin),
                         [](const auto&) { return std::string("KWin"); });

}  // namespace
}  // namespace dwellor::testsupport

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/x11/x11_input.h"
#include "tests/support/xvfb.h"

using namespace dwellor;
using dwellor::testsupport::ButtonEvent;
using dwellor::testsupport::ProbeWindow;
using dwellor::testsupport::ServerPointer;
using dwellor::testsupport::Xvfb;
using std::chrono::milliseconds;

namespace {

constexpr std::uint32_t DOWN = MOUSEEVENTF_LEFTDOWN, UP = MOUSEEVENTF_LEFTUP;
constexpr std::uint32_t RDOWN = MOUSEEVENTF_RIGHTDOWN, RUP = MOUSEEVENTF_RIGHTUP;
constexpr char kNeedsXtest[] = "Dwellor needs an X11 display with the XTEST extension";

// The probe window and where the pointer rests inside it.
constexpr int kWinX = 100, kWinY = 100;
constexpr Point kRest{250, 180};

// A button event at the resting position.
ButtonEvent at(unsigned button, bool press) {
    return ButtonEvent::at(button, press, kRest.x, kRest.y, kWinX, kWinY);
}

// Each test has a server of its own (it starts in well under 0.1 s), so a
// button left down by a failing test cannot spoil the next one.
class X11InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = std::make_unique<Xvfb>();
        const std::string& display = server->display();
        probe = std::make_unique<ProbeWindow>(display, kWinX, kWinY, 400, 300);
        pointer = std::make_unique<ServerPointer>(display);
        pointer->warp(kRest.x, kRest.y);
        std::string error;
        input = x11::X11Input::open(display.c_str(), error);
        ASSERT_TRUE(input) << error;
    }

    void inject(std::uint32_t flags) { input->mouse_event(flags, 0, 0, 0, 0); }

    // Pumps as the program's event loop does, before each wait and when the
    // connection is readable, until `want` moves are told or `limit` has
    // passed. The moves told by then.
    int movesTold(int want, milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            input->pumpEvents();
            const auto left =
                std::chrono::ceil<milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            if (moves >= want || left <= 0) return moves;
            pollfd fd{input->connectionFd(), POLLIN, 0};
            ::poll(&fd, 1, static_cast<int>(left));
        }
    }
    // Whether anything arrives on the connection within `limit`.
    bool woken(milliseconds limit) {
        pollfd fd{input->connectionFd(), POLLIN, 0};
        return ::poll(&fd, 1, static_cast<int>(limit.count())) > 0;
    }
    void countMoves() {
        input->onMoved([this] { ++moves; });
    }

    // Returns once the server has carried out everything sent on `input`:
    // the reply to a query comes after the earlier requests are done.
    void settle() {
        Point ignored;
        ASSERT_TRUE(input->GetCursorPos(ignored));
    }

    std::unique_ptr<Xvfb> server;
    std::unique_ptr<ProbeWindow> probe;
    std::unique_ptr<ServerPointer> pointer;
    std::unique_ptr<x11::X11Input> input;
    int moves = 0;
};

struct InjectionCase {
    const char* name;
    std::vector<std::uint32_t> before;  // made and discarded first
    std::vector<std::uint32_t> calls;
    std::vector<ButtonEvent> expected;
    bool leftHeldAfter;
};

void PrintTo(const InjectionCase& c, std::ostream* os) { *os << c.name; }

class X11InputInjection : public X11InputTest,
                          public ::testing::WithParamInterface<InjectionCase> {};

TEST_P(X11InputInjection, ArrivesAsButtonEventsWhereThePointerRestsWithoutMovingIt) {
    const InjectionCase& c = GetParam();
    for (std::uint32_t flags : c.before) inject(flags);
    settle();
    probe->collect();

    for (std::uint32_t flags : c.calls) inject(flags);
    // Nothing else is sent on `input` first: the injection must be on its way
    // by itself. Then anything beyond the expected events shows up too.
    std::vector<ButtonEvent> got = probe->collect(c.expected.size(), milliseconds(2000));
    EXPECT_EQ(got.size(), c.expected.size()) << "the injection waited for a later request";
    settle();
    for (const ButtonEvent& e : probe->collect()) got.push_back(e);
    EXPECT_EQ(got, c.expected);

    const testsupport::PointerState after = pointer->query();
    EXPECT_EQ((Point{after.x, after.y}), kRest);
    EXPECT_EQ(after.buttonDown(1), c.leftHeldAfter);
    EXPECT_FALSE(after.buttonDown(3));
    EXPECT_FALSE(after.buttonDown(2));
}

INSTANTIATE_TEST_SUITE_P(
    Flags, X11InputInjection,
    ::testing::Values(
        InjectionCase{"LeftClickAsTwoCalls", {}, {DOWN, UP}, {at(1, true), at(1, false)}, false},
        InjectionCase{"RightClickInOneCall", {}, {RDOWN | RUP}, {at(3, true), at(3, false)}, false},
        InjectionCase{"DoubleClickAsTwoCalls",
                      {},
                      {DOWN | UP, DOWN | UP},
                      {at(1, true), at(1, false), at(1, true), at(1, false)},
                      false},
        InjectionCase{"PressOnlyHoldsTheLeftButton", {}, {DOWN}, {at(1, true)}, true},
        InjectionCase{"ReleaseOnlyLetsTheLeftButtonGo", {DOWN}, {UP}, {at(1, false)}, false},
        // What a second release at exit or from the guardian would do.
        InjectionCase{"ReleaseOfAButtonThatIsUpDoesNothing", {DOWN, UP}, {UP}, {}, false},
        InjectionCase{"AllFlagsInOneCallInFlagOrder",
                      {},
                      {DOWN | UP | RDOWN | RUP},
                      {at(1, true), at(1, false), at(3, true), at(3, false)},
                      false}),
    [](const ::testing::TestParamInfo<InjectionCase>& info) { return std::string(info.param.name); });

// Windows of ours that are gone by the time they are looked at (destroyed
// under the pointer) are simply not under it; with no Qt in this process an
// X error would otherwise end it.
TEST_F(X11InputTest, OwnWindowsThatAreGoneAreNotUnderThePointer) {
    Point p;
    ASSERT_TRUE(input->GetCursorPos(p));
    const unsigned long gone = 0x3fffff;  // an id no client of this server has
    for (bool withFrame : {true, false}) {
        input->setOwnWindows([&] { return std::vector<x11::X11Input::OwnWindow>{{gone, withFrame}}; });
        EXPECT_FALSE(input->overOwnWindow());
    }
    // And the connection is still good.
    inject(DOWN | UP);
    EXPECT_EQ(probe->collect(2, milliseconds(2000)), (std::vector<ButtonEvent>{at(1, true), at(1, false)}));
}

TEST_F(X11InputTest, TellsPointerMotionOnlyWhileWatching) {
    countMoves();
    ASSERT_TRUE(input->watchMotion(true));
    EXPECT_EQ(movesTold(1, milliseconds(300)), 0) << "told while the pointer was still";

    pointer->move(300, 200);
    EXPECT_EQ(movesTold(1, milliseconds(2000)), 1);
    // One move is one batch; then it rests.
    EXPECT_EQ(movesTold(2, milliseconds(300)), 1);

    // Not watching, the server sends nothing at all.
    EXPECT_FALSE(input->watchMotion(false));
    pointer->move(310, 200);
    EXPECT_FALSE(woken(milliseconds(300))) << "the connection is still woken by motion";
    EXPECT_EQ(movesTold(2, milliseconds(0)), 1);

    ASSERT_TRUE(input->watchMotion(true));
    pointer->move(320, 200);
    EXPECT_EQ(movesTold(2, milliseconds(2000)), 2);
}

// An open menu of another program grabs the pointer.
TEST_F(X11InputTest, TellsMotionWhileAnotherClientGrabsThePointer) {
    countMoves();
    ASSERT_TRUE(input->watchMotion(true));
    ASSERT_TRUE(probe->grabPointer());
    pointer->move(300, 200);
    EXPECT_EQ(movesTold(1, milliseconds(2000)), 1);
}

// Motion that reaches the connection while a reply is awaited there is read
// with the reply into Xlib's queue, and the descriptor no longer shows it.
TEST_F(X11InputTest, MotionReadAlongWithAReplyIsStillTold) {
    countMoves();
    ASSERT_TRUE(input->watchMotion(true));
    pointer->move(300, 200);
    Point p;
    ASSERT_TRUE(input->GetCursorPos(p));
    ASSERT_EQ(p, (Point{300, 200}));
    ASSERT_FALSE(woken(milliseconds(0))) << "the motion was not read with the reply";
    input->pumpEvents();
    EXPECT_EQ(moves, 1);
}

TEST_F(X11InputTest, ReadsAWarpedPointerExactly) {
    for (Point p : {Point{0, 1}, Point{1279, 1023}, Point{1, 0}, Point{37, 901}, Point{0, 0}}) {
        pointer->warp(p.x, p.y);
        Point got{-1, -1};
        ASSERT_TRUE(input->GetCursorPos(got));
        EXPECT_EQ(got, p);
    }
}

TEST(X11InputScreens, APointerOnAnotherScreenIsNotReadAndLeavesThePositionAlone) {
    Xvfb server({"-screen", "1", "640x480x24"});
    ServerPointer pointer(server.display());
    std::string error;
    auto input = x11::X11Input::open(server.display().c_str(), error);
    ASSERT_TRUE(input) << error;

    pointer.warp(20, 30, 1);
    Point pos{7, 8};
    EXPECT_FALSE(input->GetCursorPos(pos));
    EXPECT_EQ(pos, (Point{7, 8}));

    pointer.warp(21, 31, 0);
    EXPECT_TRUE(input->GetCursorPos(pos));
    EXPECT_EQ(pos, (Point{21, 31}));
}

// A display number no server here uses: every Xvfb leaves a lock file.
std::string unusedDisplay() {
    for (int n = 700;; ++n) {
        const std::string number = std::to_string(n);
        const std::string lock = "/tmp/.X" + number + "-lock";
        const std::string socket = "/tmp/.X11-unix/X" + number;
        if (::access(lock.c_str(), F_OK) != 0 && ::access(socket.c_str(), F_OK) != 0)
            return std::string(":") + number;
    }
}

TEST(X11InputOpen, FailsWithAMessageWithoutADisplay) {
    std::string error;
    EXPECT_EQ(x11::X11Input::open(unusedDisplay().c_str(), error), nullptr);
    EXPECT_NE(error.find(kNeedsXtest), std::string::npos) << error;

    // No name and no DISPLAY.
    const char* saved = std::getenv("DISPLAY");
    const std::optional<std::string> restore = saved ? std::optional<std::string>(saved) : std::nullopt;
    ::unsetenv("DISPLAY");
    error.clear();
    EXPECT_EQ(x11::X11Input::open(nullptr, error), nullptr);
    EXPECT_NE(error.find(kNeedsXtest), std::string::npos) << error;
    if (restore) ::setenv("DISPLAY", restore->c_str(), 1);
}

TEST(X11InputOpen, FailsWithAMessageWhenTheDisplayLacksXtest) {
    Xvfb server({"-extension", "XTEST"});
    std::string error;
    EXPECT_EQ(x11::X11Input::open(server.display().c_str(), error), nullptr);
    EXPECT_NE(error.find(kNeedsXtest), std::string::npos) << error;
}

}  // namespace

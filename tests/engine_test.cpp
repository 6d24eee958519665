#include <gtest/gtest.h>

#include <cmath>

#include "engine/dwell_engine.h"
#include "platform/fake/fake_platform.h"

using namespace dwellor;

namespace {

constexpr std::uint32_t DOWN = MOUSEEVENTF_LEFTDOWN, UP = MOUSEEVENTF_LEFTUP;
constexpr std::uint32_t RIGHT = MOUSEEVENTF_RIGHTDOWN | MOUSEEVENTF_RIGHTUP;
constexpr std::uint32_t BOTH = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_LEFTUP;
using Flags = std::vector<std::uint32_t>;

ControlDesc desc(const char* name, const char* text) {
    ControlDesc s;
    s.name = name;
    s.text = text;
    return s;
}

// The engine on fake controls as the window starts them: Left selected,
// 1000 ms dwell, 500 ms drag, drag option off.
struct EngineTest : ::testing::Test {
    fake::FakePlatform fp;
    fake::Timer& timer = static_cast<fake::Timer&>(fp.window.addTimer("Timer1"));
    fake::TextBox& text1 = static_cast<fake::TextBox&>(fp.window.addTextBox(desc("Text1", "1000")));
    fake::TextBox& text2 = static_cast<fake::TextBox&>(fp.window.addTextBox(desc("Text2", "500")));
    fake::CheckBox& check2 = static_cast<fake::CheckBox&>(fp.window.addCheckBox(desc("Check2", "")));
    fake::Label& left = static_cast<fake::Label&>(fp.window.addLabel(desc("Label4", "L")));
    fake::Label& right = static_cast<fake::Label&>(fp.window.addLabel(desc("Label6", "R")));
    fake::Label& dbl = static_cast<fake::Label&>(fp.window.addLabel(desc("Label7", "Double")));
    DwellEngine engine{{timer, text1, text2, check2, left, right, dbl}, fp.pointer, fp.mouse,
                       [this](Point p) { return fp.window.clientAreaContains(p); }};

    void SetUp() override {
        timer.setInterval(1000);
        timer.onTick([this] { engine.Timer1_Timer(); });
        select(left);
    }
    void select(fake::Label& l) {
        for (fake::Label* x : {&left, &right, &dbl}) x->setForeColour(x == &l ? kRed : kBlack);
    }
    void restAt(Point p) { fp.pointer.position = p; }
};

TEST_F(EngineTest, ClicksOncePerTickWhileThePointerRests) {
    restAt({300, 200});
    EXPECT_EQ(timer.steps(11), 11);
    // None on the first tick (the start sample is (0, 0)), one on each of the next ten.
    ASSERT_EQ(fp.mouse.calls.size(), 20u);
    for (std::size_t i = 0; i < fp.mouse.calls.size(); ++i) {
        EXPECT_EQ(fp.mouse.calls[i], (fake::Injection{i % 2 ? UP : DOWN, {300, 200}}));
    }
    EXPECT_EQ(fp.pointer.readings, 22);
}

TEST_F(EngineTest, AMovingPointerIsNeverClicked) {
    for (int i = 1; i <= 10; ++i) {
        restAt({i, 5});
        timer.step();
    }
    EXPECT_TRUE(fp.mouse.calls.empty());
    // Motion that returns to the same pixel between ticks still counts as a rest.
    timer.step();
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP}));
}

TEST_F(EngineTest, TheTopLeftCornerSuspendsClicking) {
    restAt({40, 40});
    timer.step();
    restAt({0, 0});
    timer.steps(5);
    EXPECT_TRUE(fp.mouse.calls.empty());
    EXPECT_EQ(fp.pointer.readings, 2 + 5);  // one reading per tick in the corner
    // Leaving the corner compares with the sample stored before it went there.
    restAt({40, 40});
    timer.step();
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP}));

    // Parking is a pause: a held drag press is let go at once.
    check2.setValue(1);
    fp.mouse.calls.clear();
    timer.step();
    ASSERT_EQ(fp.mouse.flags(), (Flags{DOWN}));
    restAt({0, 0});
    timer.step();
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP}));
    EXPECT_FALSE(fp.mouse.leftHeld());
    EXPECT_EQ(timer.interval(), 1000);
}

TEST_F(EngineTest, FailedReadings) {
    // First reading fails, second reads (0, 0): equals the start sample, so it clicks.
    fp.pointer.outcomes = {false, true};
    restAt({0, 0});
    timer.step();
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP}));

    // A failed second reading suppresses the click but still stores the first reading.
    fp.mouse.calls.clear();
    restAt({7, 9});
    fp.pointer.outcomes = {true, false};
    timer.step();
    EXPECT_TRUE(fp.mouse.calls.empty());
    timer.step();  // resting at what was stored
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP}));

    // Both fail: the stale sample is stored again and nothing is clicked.
    fp.mouse.calls.clear();
    fp.pointer.outcomes = {false, false};
    restAt({8, 9});
    timer.step();
    EXPECT_TRUE(fp.mouse.calls.empty());
    restAt({7, 9});
    timer.step();
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP}));
}

TEST_F(EngineTest, FarCoordinatesAreComparedWhole) {
    restAt({40000, -70000});
    timer.steps(2);
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP}));
    // 40000 and 40000 + 65536 narrow to the same 16 bits; they must not count as a rest.
    restAt({40000 + 65536, -70000});
    timer.step();
    EXPECT_EQ(fp.mouse.calls.size(), 2u);
}

TEST_F(EngineTest, DragAlternatesPressAndReleaseAndSwitchesThePeriod) {
    check2.setValue(1);
    restAt({10, 10});
    timer.step();  // first sample
    timer.step();
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN}));
    EXPECT_EQ(timer.interval(), 500);
    EXPECT_TRUE(fp.mouse.leftHeld());

    restAt({60, 60});  // the user drags
    timer.step();
    EXPECT_EQ(fp.mouse.calls.size(), 1u);
    timer.step();
    EXPECT_EQ(fp.mouse.calls.back(), (fake::Injection{UP, {60, 60}}));
    EXPECT_EQ(timer.interval(), 1000);
    EXPECT_FALSE(fp.mouse.leftHeld());

    timer.step();  // still resting: presses again
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP, DOWN}));
    EXPECT_EQ(timer.interval(), 500);
}

// A drag or dwell text no timer can run on never leaves a press held for good.
TEST_F(EngineTest, IntervalTextsATimerCannotRunOnFallBackToTheDwellPeriod) {
    check2.setValue(1);
    restAt({10, 10});
    timer.step();
    for (const char* drag : {"", "0", "0.4", "abc", "-3", "35000"}) {
        SCOPED_TRACE(drag);
        text2.setText(drag);
        fp.mouse.calls.clear();
        timer.step();
        EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN}));
        EXPECT_EQ(timer.interval(), 1000);
        timer.step();
        EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP}));
    }
    // An invalid dwell text: the period clicking ran on before the press.
    text2.setText("200");
    timer.setInterval(700);
    timer.step();
    EXPECT_EQ(timer.interval(), 200);
    text1.setText("0.4");
    timer.step();
    EXPECT_EQ(fp.mouse.flags().back(), UP);
    EXPECT_EQ(timer.interval(), 700);
    EXPECT_EQ(engine.dwellPeriod(), 700);
}

TEST_F(EngineTest, DragOptionSwitchedOffWhileAPressIsHeld) {
    check2.setValue(1);
    restAt({10, 10});
    timer.steps(2);
    check2.setValue(0);
    timer.step();
    // Full clicks while off; the drag phase stays: switched on again, the
    // next rest releases.
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, DOWN, UP}));
    check2.setValue(1);
    timer.step();
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, DOWN, UP, UP}));
}

TEST_F(EngineTest, RightAndDoubleIgnoreTheDragPhaseButThePeriodAlternates) {
    check2.setValue(1);
    select(right);
    restAt({5, 5});
    timer.steps(3);
    EXPECT_EQ(fp.mouse.flags(), (Flags{RIGHT, RIGHT}));
    EXPECT_EQ(timer.interval(), 1000);

    select(dbl);
    timer.step();
    EXPECT_EQ(fp.mouse.flags(), (Flags{RIGHT, RIGHT, BOTH, BOTH}));
    EXPECT_EQ(timer.interval(), 500);
    EXPECT_FALSE(fp.mouse.leftHeld());
}

TEST_F(EngineTest, PerformClickTestsEveryLabel) {
    select(left);
    right.setForeColour(kRed);
    engine.PerformClick(kTrue);
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP, RIGHT}));

    fp.mouse.calls.clear();
    for (auto* l : {&left, &right, &dbl}) l->setForeColour(0x0000FE);  // nearly red is not red
    engine.PerformClick(kTrue);
    engine.PerformClick(kFalse);
    EXPECT_TRUE(fp.mouse.calls.empty());

    check2.setValue(1);
    for (auto* l : {&left, &right, &dbl}) l->setForeColour(kRed);
    engine.PerformClick(kFalse);
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, RIGHT, BOTH, BOTH}));
}

TEST_F(EngineTest, AHeldPressIsReleasedOnRequestOnlyOnce) {
    engine.releaseHeldButton();
    EXPECT_TRUE(fp.mouse.calls.empty());
    check2.setValue(1);
    restAt({10, 10});
    timer.steps(2);
    engine.releaseHeldButton();
    engine.releaseHeldButton();
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP}));
}

TEST_F(EngineTest, ControlsAreReadAtEachTick) {
    check2.setValue(1);
    restAt({10, 10});
    timer.steps(2);
    text1.setText("750");  // the fake box raises no handler here
    timer.step();
    EXPECT_EQ(timer.interval(), 750);
    text2.setText("12.5");
    timer.step();
    EXPECT_EQ(timer.interval(), 12);
}

// The program's own controls answer the left button only: a rest on them
// gets a plain left click whatever the mode.
TEST_F(EngineTest, OwnWindowGetsAPlainLeftClickInEveryMode) {
    fp.pointer.overOwn = true;
    for (fake::Label* mode : {&left, &right, &dbl}) {
        select(*mode);
        restAt({500, 500});
        timer.step();
        fp.mouse.calls.clear();
        restAt({93, 20});  // Toggle
        timer.steps(2);
        EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP})) << mode->text();
    }
    // Beside the window (its frame) or under another window stacked above
    // it, the mode's own click.
    select(right);
    fp.mouse.calls.clear();
    restAt({100, 195});
    timer.steps(2);
    fp.pointer.overOwn = false;
    restAt({93, 20});
    timer.steps(2);
    EXPECT_EQ(fp.mouse.flags(), (Flags{RIGHT, RIGHT}));
}

// With the drag option on, a rest on the program's own window is still one
// plain left click: a press held there for the drag period was cancelled by
// a drift. A press held from a drag elsewhere is let go there instead.
TEST_F(EngineTest, OwnWindowGetsAPlainClickWithDragOnAndLetsGoOfAHeldPress) {
    check2.setValue(1);
    select(dbl);
    fp.pointer.overOwn = true;
    restAt({29, 20});
    timer.steps(3);  // one click per rest
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP}));
    EXPECT_EQ(timer.interval(), 1000);

    select(left);
    fp.pointer.overOwn = false;
    fp.mouse.calls.clear();
    restAt({400, 400});
    timer.steps(2);
    ASSERT_TRUE(fp.mouse.leftHeld());
    fp.pointer.overOwn = true;
    restAt({157, 20});
    timer.steps(3);
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP}));
    EXPECT_EQ(timer.interval(), 1000);
}

}  // namespace

namespace {

// The program's own windows get one click per rest; everywhere else the
// click repeats every tick, as before.
TEST_F(EngineTest, OwnWindowGetsOneClickPerRestAndNoneBeforeAMoveAfterAppearing) {
    fp.pointer.overOwn = true;
    restAt({93, 20});
    timer.steps(6);
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP}));
    EXPECT_TRUE(engine.ownClickHere());
    restAt({94, 20});
    EXPECT_FALSE(engine.ownClickHere());
    timer.steps(3);
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP, DOWN, UP}));

    // The window appears under the resting pointer: nothing until it moves.
    fp.mouse.calls.clear();
    engine.holdOwnClicksUntilMoved();
    timer.steps(5);
    EXPECT_TRUE(fp.mouse.calls.empty());
    EXPECT_FALSE(engine.ownClickHere()) << "nothing was clicked";
    restAt({100, 20});
    timer.steps(2);
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP}));

    // In drag mode the press is not yet the click; its release is.
    check2.setValue(1);
    fp.mouse.calls.clear();
    restAt({29, 20});
    timer.steps(6);
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP}));
}

TEST_F(EngineTest, TheWakeWatchClicksOnlyItsControlOncePerRest) {
    const auto onToggle = [](Point p) { return p == Point{93, 20}; };
    fp.pointer.overOwn = true;
    restAt({93, 20});
    engine.wakeTick(onToggle);  // the first tick only looks
    EXPECT_TRUE(fp.mouse.calls.empty());
    for (int i = 0; i < 4; ++i) engine.wakeTick(onToggle);
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP}));

    // Not the control, or something stacked above the window there.
    fp.mouse.calls.clear();
    restAt({29, 20});
    for (int i = 0; i < 3; ++i) engine.wakeTick(onToggle);
    restAt({93, 20});
    fp.pointer.overOwn = false;
    for (int i = 0; i < 3; ++i) engine.wakeTick(onToggle);
    EXPECT_TRUE(fp.mouse.calls.empty());
    // Right or Double selected, with the drag option on: still a plain left click.
    select(right);
    check2.setValue(1);
    fp.pointer.overOwn = true;
    restAt({93, 21});
    engine.wakeTick(onToggle);
    restAt({93, 20});
    for (int i = 0; i < 2; ++i) engine.wakeTick(onToggle);
    EXPECT_EQ(fp.mouse.flags(), (Flags{DOWN, UP}));
}

}  // namespace

namespace {

// ---- The steady rest rule, on traces replayed in virtual time

struct Move {
    std::int64_t at;  // ms
    Point to;
};
using Trace = std::vector<Move>;
struct Click {
    std::int64_t at;  // ms
    std::uint32_t flags;
};

// A rest at `p` from `from` to `until` with a tracker's jitter of up to
// `jitter` px on each axis, a reading every 20 ms.
Trace rest(Point p, std::int64_t from, std::int64_t until, int jitter = 0) {
    Trace t{{from, p}};
    std::uint32_t seed = 12345;
    for (std::int64_t at = from + 20; jitter > 0 && at < until; at += 20) {
        seed = seed * 1103515245u + 12345u;
        const int dx = static_cast<int>((seed >> 8) % (2 * jitter + 1)) - jitter;
        const int dy = static_cast<int>((seed >> 20) % (2 * jitter + 1)) - jitter;
        t.push_back({at, {p.x + dx, p.y + dy}});
    }
    return t;
}
// From `a` to `b` in a straight line at `pxPerSecond`, a reading every 16 ms.
Trace travel(Point a, Point b, std::int64_t from, double pxPerSecond) {
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    const auto ms = static_cast<std::int64_t>(length / pxPerSecond * 1000);
    Trace t;
    for (std::int64_t at = 0; at <= ms; at += 16) {
        const double f = ms ? static_cast<double>(at) / ms : 1;
        t.push_back({from + at, {static_cast<int>(std::lround(a.x + f * (b.x - a.x))),
                                 static_cast<int>(std::lround(a.y + f * (b.y - a.y)))}});
    }
    t.push_back({from + ms, b});
    return t;
}
Trace operator+(Trace a, const Trace& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct SteadyCase {
    const char* name;
    Trace trace;
    std::int64_t until;
    std::vector<Click> clicks;
    bool drag = false;
    bool repeat = false;
};
void PrintTo(const SteadyCase& c, std::ostream* os) { *os << c.name; }

class SteadyRest : public EngineTest, public ::testing::WithParamInterface<SteadyCase> {};

TEST_P(SteadyRest, ClicksWhereAndWhenThePersonMeansIt) {
    const SteadyCase& c = GetParam();
    check2.setValue(c.drag ? 1 : 0);
    ITickTimer& gap = fp.window.addTimer("Gap");
    engine.useRule({true, 6, c.repeat}, gap);
    fp.pointer.onMoved([this] { engine.pointerMoved(); });
    fp.pointer.watchMotion(true);
    for (const Move& m : c.trace) {
        fp.clock.advanceTo(m.at);
        fp.pointer.moveTo(m.to);
    }
    fp.clock.advanceTo(c.until);
    ASSERT_EQ(fp.mouse.calls.size(), c.clicks.size()) << ::testing::PrintToString(fp.mouse.times);
    for (std::size_t i = 0; i < c.clicks.size(); ++i) {
        EXPECT_EQ(fp.mouse.calls[i].flags, c.clicks[i].flags) << i;
        // Arriving, it settles at the first reading within the radius of
        // where it stops: up to a reading or so earlier.
        EXPECT_NEAR(static_cast<double>(fp.mouse.times[i]), static_cast<double>(c.clicks[i].at), 24) << i;
    }
    // Still after its clicks, nothing is timed: no tick at all.
    if (!c.repeat && !c.clicks.empty()) {
        EXPECT_FALSE(timer.running());
        EXPECT_FALSE(gap.enabled());
    }
}

const Point kA{300, 300}, kB{700, 420};
INSTANTIATE_TEST_SUITE_P(
    Traces, SteadyRest,
    ::testing::Values(
        SteadyCase{"StillOnceAPeriodAfterSettling", rest(kA, 100, 100), 5000, {{1100, DOWN}, {1100, UP}}},
        SteadyCase{"RepeatWhileResting", rest(kA, 100, 100), 3200, {{1100, DOWN}, {1100, UP}, {2100, DOWN},
                                                                  {2100, UP}, {3100, DOWN}, {3100, UP}},
                   false, true},
        SteadyCase{"FivePixelJitterIsTremor", rest(kA, 100, 4000, 5), 4000, {{1100, DOWN}, {1100, UP}}},
        SteadyCase{"TravelWithShortPausesThenARest",
                   travel(kA, kB, 0, 400) + rest(kB, 1100, 1700, 3) + travel(kB, kA, 1700, 400) +
                       rest(kA, 2800, 5000, 3),
                   5000, {{3744, DOWN}, {3744, UP}}},  // a period after it arrived
        SteadyCase{"BackAndForthInStepWithThePeriodNeverClicks",
                   travel(kA, kB, 0, 420) + travel(kB, kA, 1000, 420) + travel(kA, kB, 2000, 420) +
                       travel(kB, kA, 3000, 420),
                   3990, {}},
        SteadyCase{"TheCornerSuspends", travel(kA, {0, 0}, 0, 2000), 4000, {}},
        SteadyCase{"DragWaitsForASlowStartAndEndsAtTheNextRest",
                   rest(kA, 0, 2500, 3) + travel(kA, kB, 2500, 60) + rest(kB, 9500, 9500, 3), 11000,
                   {{1000, DOWN}, {9960, UP}}, true},  // a drag period after it arrived
        SteadyCase{"APressNeverLeftIsLetGo", rest(kA, 0, 9000, 3), 9000, {{1000, DOWN}, {6000, UP}}, true}),
    [](const ::testing::TestParamInfo<SteadyCase>& i) { return std::string(i.param.name); });

}  // namespace

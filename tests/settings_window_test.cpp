// The Settings window, the countdown and the window's place, on the fake
// platform in virtual time.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/fake/fake_platform.h"
#include "platform/screen_place.h"
#include "window/form1.h"

using namespace dwellor;

namespace {

const std::string kKey = "Dwellor/Program/";

struct SettingsTest : ::testing::Test {
    fake::FakePlatform fp;
    std::unique_ptr<Form1> form;

    fake::Window& win() { return fp.window; }
    fake::Window& settings() { return win().window("Settings"); }
    fake::Timer& timer() { return win().timer("Timer1"); }
    void press(const char* name) { settings().button(name).userClick(); }
    std::string stored(const char* key) {
        auto it = fp.settings.values.find(kKey + key);
        return it == fp.settings.values.end() ? "<none>" : it->second;
    }
    void store(const char* key, const char* text) { fp.settings.values[kKey + key] = text; }
    void load() {
        form = std::make_unique<Form1>(fp.platform());
        form->Form_Load();
    }
    // The pointer rests at `p` from now until `until` (virtual ms).
    void restUntil(Point p, std::int64_t until) {
        fp.pointer.moveTo(p);
        fp.clock.advanceTo(until);
    }
};

// ---- Pure placement

struct StepCase {
    std::int32_t from;
    int direction;
    std::int32_t to;
};
class PeriodStep : public ::testing::TestWithParam<StepCase> {};
TEST_P(PeriodStep, GoesToTheNextWholeStepWithinTheRange) {
    EXPECT_EQ(SettingsWindow::stepPeriod(GetParam().from, GetParam().direction), GetParam().to);
}
INSTANTIATE_TEST_SUITE_P(Steps, PeriodStep,
                         ::testing::Values(StepCase{1000, +1, 1100}, StepCase{1000, -1, 900}, StepCase{750, +1, 800},
                                           StepCase{750, -1, 700}, StepCase{150, -1, 100}, StepCase{100, -1, 100},
                                           StepCase{4950, +1, 5000}, StepCase{5000, +1, 5000},
                                           // Stored outside the steppers' range: a press towards it
                                           // only ever comes nearer.
                                           StepCase{50, +1, 100}, StepCase{50, -1, 50}, StepCase{9000, -1, 5000},
                                           StepCase{9000, +1, 9000}));

class MarkPlace : public ::testing::TestWithParam<Point> {};
TEST_P(MarkPlace, StaysOnScreenAndClearOfThePointerAndWhatItClicks) {
    const Rect screen{0, 0, 800, 600};
    const int size = 24, clear = 20;
    const Point p = GetParam();
    const Rect r = markPlace(p, screen, size, clear);
    EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.left + size <= 800 && r.top + size <= 600);
    // The pointer's image: from the hot spot right and down.
    const bool overlaps = r.left < p.x + clear && r.left + size > p.x && r.top < p.y + clear && r.top + size > p.y;
    EXPECT_FALSE(overlaps) << r.left << "," << r.top;
}
INSTANTIATE_TEST_SUITE_P(Everywhere, MarkPlace,
                         ::testing::Values(Point{400, 300}, Point{1, 1}, Point{799, 1}, Point{1, 599}, Point{799, 599},
                                           Point{400, 0}, Point{0, 300}, Point{799, 300}, Point{400, 599}));

TEST(KeepOnScreen, LeavesAReachablePlaceAndBringsBackALostOne) {
    const std::vector<Rect> two{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
    const Rect w{0, 0, 200, 260};
    auto at = [&](int x, int y) { return keepOnScreen({x, y, w.width, w.height}, two); };
    EXPECT_EQ(at(100, 100), (Point{100, 100}));
    EXPECT_EQ(at(2500, 700), (Point{2500, 700}));    // on the second screen, its bottom hanging off
    EXPECT_EQ(at(1850, 50), (Point{1850, 50}));      // across both
    EXPECT_EQ(at(5000, 300), (Point{3000, 300}));    // a screen since unplugged: onto the nearest
    EXPECT_EQ(at(100, -40), (Point{100, 0}));        // the title bar above the top
    EXPECT_EQ(at(-190, 500), (Point{0, 500}));       // too little of it left to take hold of
    EXPECT_EQ(keepOnScreen({7, 8, 10, 10}, {}), (Point{7, 8}));
}

// ---- The Settings window

TEST_F(SettingsTest, OpensBesideTheWindowAndARestThereIsOnePlainLeftClick) {
    load();
    win().label("Label6").userClick();  // right clicks elsewhere
    win().button("Settings").userClick();
    ASSERT_TRUE(settings().visible());
    const Rect main = win().frame(), s = settings().frame();
    EXPECT_GE(s.left, main.left + main.width);  // not over the main window
    settings().screenRect = {s.left, s.top, 264, 382};
    fp.pointer.overOwn = true;
    restUntil({s.left + 30, s.top + 50}, 5000);
    EXPECT_EQ(fp.mouse.flags(), (std::vector<std::uint32_t>{MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}));
    press("Close");
    EXPECT_FALSE(settings().visible());
}

TEST_F(SettingsTest, PeriodStepsShowStoreAndTakeEffectWithoutAPause) {
    store("Interval", "750");
    load();
    press("PeriodUp");
    EXPECT_EQ(win().textBox("Text1").text(), "800");
    EXPECT_EQ(win().textBox("Text2").text(), "400");
    EXPECT_EQ(settings().label("PeriodValue").text(), "800");
    EXPECT_EQ(stored("Interval"), "800");
    EXPECT_EQ(stored("Enabled"), "<none>");
    EXPECT_TRUE(timer().running());
    EXPECT_EQ(win().label("Label3").text(), Form1::kAlive);
    // Clicking goes on, a new period apart.
    restUntil({500, 500}, fp.clock.now() + 5000);
    ASSERT_GE(fp.mouse.times.size(), 4u);
    EXPECT_EQ(fp.mouse.times[2] - fp.mouse.times[0], 800);
    for (int i = 0; i < 60; ++i) press("PeriodDown");
    EXPECT_EQ(stored("Interval"), "100");
    // Typing still pauses; a step then mends an invalid field and keeps the pause.
    win().textBox("Text1").clear();
    ASSERT_EQ(win().label("Label3").text(), Form1::kInvalid);
    press("PeriodUp");
    EXPECT_EQ(win().textBox("Text1").text(), "200");
    EXPECT_EQ(win().label("Label3").text(), Form1::kDisabled);
    EXPECT_FALSE(timer().enabled());
}

TEST_F(SettingsTest, APeriodChangedDuringADragPressKeepsTheDragInterval) {
    load();
    win().checkBox("Check2").userClick();
    restUntil({500, 500}, 2000);
    ASSERT_TRUE(fp.mouse.leftHeld());
    press("PeriodUp");  // 1100, its drag interval 550
    EXPECT_EQ(timer().interval(), 500);
    fp.clock.advance(500);
    EXPECT_FALSE(fp.mouse.leftHeld());
    EXPECT_EQ(timer().interval(), 1100);
}

TEST_F(SettingsTest, RuleCountdownAndLoginTogglesTakeEffectAndAreStored) {
    load();
    settings().checkBox("Steady").userClick();
    EXPECT_EQ(stored("Steady"), "True");
    EXPECT_TRUE(fp.pointer.watching);
    for (int i = 0; i < 40; ++i) settings().button("RadiusUp").userClick();
    EXPECT_EQ(stored("Radius"), "30");
    EXPECT_EQ(settings().label("RadiusValue").text(), "30");
    for (int i = 0; i < 40; ++i) settings().button("RadiusDown").userClick();
    EXPECT_EQ(stored("Radius"), "0");
    settings().checkBox("Repeat").userClick();
    EXPECT_EQ(stored("Repeat"), "True");
    settings().checkBox("Steady").userClick();
    EXPECT_EQ(stored("Steady"), "False");
    EXPECT_FALSE(fp.pointer.watching);
    EXPECT_TRUE(timer().running());  // back to a reading every tick
    settings().checkBox("Countdown").userClick();
    EXPECT_EQ(stored("Countdown"), "True");
    settings().checkBox("Autostart").userClick();
    EXPECT_TRUE(fp.autostart.on);
    // A refused change leaves the box showing what is.
    fp.autostart.writable = false;
    settings().checkBox("Autostart").userClick();
    EXPECT_EQ(settings().checkBox("Autostart").value(), 1);
}

// ---- The countdown

TEST_F(SettingsTest, CountdownFillsTowardsTheClickAndGoesWhenThePointerDoes) {
    store("Countdown", "True");
    load();
    auto& mark = win().mark();
    fp.pointer.moveTo({500, 500});
    fp.clock.advanceTo(1000);  // the tick that first sees it here
    EXPECT_FALSE(mark.shown());
    fp.clock.advanceTo(1500);
    ASSERT_TRUE(mark.shown());
    EXPECT_EQ(mark.at, (Point{500, 500}));
    EXPECT_NEAR(mark.filled, 0.5, 0.04);
    EXPECT_FALSE(mark.held);
    fp.clock.advanceTo(1980);
    EXPECT_GT(mark.filled, 0.95);
    fp.pointer.moveTo({520, 500});
    fp.clock.advanceTo(1999);
    EXPECT_FALSE(mark.shown());
    EXPECT_TRUE(fp.mouse.calls.empty());
    EXPECT_FALSE(win().timer("CountdownFrame").running());  // nothing runs between ticks
}

TEST_F(SettingsTest, CountdownShowsAHeldPressUntilItsRelease) {
    store("Countdown", "True");
    store("Steady", "True");
    store("Drag", "1");
    load();
    auto& mark = win().mark();
    fp.pointer.moveTo({500, 500});
    fp.pointer.moveTo({501, 500});
    fp.clock.advance(1100);
    ASSERT_TRUE(fp.mouse.leftHeld());
    fp.clock.advance(40);
    EXPECT_TRUE(mark.shown() && mark.held);
    // Dragging away: the held mark follows the pointer.
    for (int x = 520; x <= 700; x += 20) {
        fp.pointer.moveTo({x, 500});
        fp.clock.advance(20);
    }
    EXPECT_TRUE(mark.held);
    EXPECT_GT(mark.at.x, 600);
    fp.clock.advance(700);
    EXPECT_FALSE(fp.mouse.leftHeld());
    fp.clock.advance(40);
    EXPECT_FALSE(mark.shown());
}

TEST_F(SettingsTest, CountdownOffCostsNoFrames) {
    load();
    restUntil({500, 500}, 5000);
    EXPECT_FALSE(win().mark().shown());
    EXPECT_EQ(std::count(fp.log.begin(), fp.log.end(), "CountdownFrame.Enabled=1"), 0);
    // Switched on where no ring can be shown: still none.
    win().mark().showable = false;
    settings().checkBox("Countdown").userClick();
    fp.pointer.moveTo({600, 600});
    fp.clock.advance(5000);
    EXPECT_EQ(std::count(fp.log.begin(), fp.log.end(), "CountdownFrame.Enabled=1"), 0);
}

// ---- The window's place

TEST_F(SettingsTest, TheWindowComesBackWhereItWasOnAScreen) {
    store("Left", "300");
    store("Top", "-7");
    load();
    EXPECT_EQ(win().frame().left, 300);
    EXPECT_EQ(win().frame().top, 0);
    // Moved about: stored once, where it stays.
    fp.log.clear();
    for (int x = 310; x < 400; x += 10) {
        win().userMoves({x, 50});
        fp.clock.advance(50);
    }
    EXPECT_EQ(stored("Left"), "300");
    fp.clock.advance(Form1::kPlaceSaveMs);
    EXPECT_EQ(stored("Left"), "390");
    EXPECT_EQ(stored("Top"), "50");
    EXPECT_EQ(std::count(fp.log.begin(), fp.log.end(), "SaveSetting Left=390"), 1);
    win().userMoves({10, 20});
    win().button("Command2").userClick();  // the end stores it without waiting
    EXPECT_EQ(stored("Left"), "10");
}

TEST_F(SettingsTest, AStoredPlaceThatIsJunkIsNone) {
    for (const char* junk : {"", "abc", "12px", "99999999999", "--5"}) {
        fp.settings.values.clear();
        store("Left", junk);
        store("Top", "40");
        load();
        EXPECT_EQ(win().frame().left, 100) << junk;
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/fake/fake_platform.h"
#include "window/form1.h"

using namespace dwellor;

namespace {

const std::string kKey = "Dwellor/Program/";

struct FormTest : ::testing::Test {
    std::unique_ptr<fake::FakePlatform> platform = std::make_unique<fake::FakePlatform>();
    std::unique_ptr<Form1> form;

    fake::FakePlatform& fp() { return *platform; }
    void reset() {
        form.reset();
        platform = std::make_unique<fake::FakePlatform>();
    }

    fake::Window& win() { return fp().window; }
    fake::TextBox& text1() { return win().textBox("Text1"); }
    fake::TextBox& text2() { return win().textBox("Text2"); }
    fake::CheckBox& check2() { return win().checkBox("Check2"); }
    fake::Timer& timer() { return win().timer("Timer1"); }
    fake::Label& label(const char* n) { return win().label(n); }
    std::string status() { return label("Label3").text(); }
    std::string stored(const char* key) {
        auto it = fp().settings.values.find(kKey + key);
        return it == fp().settings.values.end() ? "<none>" : it->second;
    }
    void store(const char* key, const char* text) { fp().settings.values[kKey + key] = text; }

    void create() { form = std::make_unique<Form1>(fp().platform()); }
    void load() {
        create();
        fp().log.clear();
        form->Form_Load();
    }
};

TEST_F(FormTest, WindowLayoutAndInitialState) {
    create();
    EXPECT_EQ(win().clientWidth(), 188);
    EXPECT_EQ(win().clientHeight(), 229);  // a row for Settings under the status line
    std::vector<std::string> order;
    for (const auto& s : win().layout()) order.push_back(s.name);
    EXPECT_EQ(order, (std::vector<std::string>{"Command1", "Command2", "Text1", "Label1", "Label3", "Check2",
                                               "Text2", "cSysTray", "Label7", "Label6", "Label4", "Command3",
                                               "Settings"}));
    auto desc = [&](const char* n) {
        return *std::find_if(win().layout().begin(), win().layout().end(),
                             [&](const ControlDesc& s) { return s.name == n; });
    };
    EXPECT_EQ(desc("Command1").rect, (Rect{5, 8, 49, 25}));
    EXPECT_EQ(desc("Command3").rect, (Rect{69, 8, 49, 25}));
    EXPECT_EQ(desc("Command2").rect, (Rect{133, 8, 49, 25}));
    EXPECT_EQ(desc("Text1").rect, (Rect{40, 80, 121, 19}));
    EXPECT_EQ(desc("Settings").rect, (Rect{0, 195, 188, 32}));
    EXPECT_EQ(desc("Check2").rect, (Rect{8, 104, 177, 17}));
    EXPECT_EQ(desc("Text2").rect, (Rect{40, 128, 121, 19}));
    EXPECT_EQ(desc("Label4").rect, (Rect{53, 160, 17, 17}));
    EXPECT_EQ(desc("Label7").rect, (Rect{77, 160, 41, 17}));
    EXPECT_EQ(desc("Label6").rect, (Rect{117, 160, 17, 17}));
    EXPECT_EQ(desc("Label3").rect, (Rect{0, 176, 187, 17}));
    EXPECT_TRUE(desc("Label3").border);
    EXPECT_EQ(desc("Label3").align, Align::Centre);
    EXPECT_FALSE(desc("cSysTray").visible);
    EXPECT_EQ(desc("Command2").tooltip, "You don't want to press this");

    EXPECT_EQ(label("Label4").foreColour(), kRed);
    EXPECT_EQ(label("Label6").foreColour(), kBlack);
    EXPECT_EQ(label("Label7").foreColour(), fake::Label::kDefaultColour);
    EXPECT_EQ(status(), "Dwellor is alive and clicking.");
    EXPECT_EQ(win().caption(), "Dwellor - Enabled");
    EXPECT_EQ(text1().text(), "1000");
    EXPECT_EQ(text2().text(), "500");
    EXPECT_TRUE(text2().visible());
    EXPECT_EQ(check2().value(), 0);
    // The tray owner holds the green image; each mode label carries its own
    // tray image, all different from the window's.
    EXPECT_EQ(win().pictureBox("cSysTray").picture(), label("Label4").mouseIcon());
    EXPECT_NE(label("Label4").mouseIcon(), label("Label6").mouseIcon());
    EXPECT_NE(label("Label4").mouseIcon(), win().icon());
}

TEST_F(FormTest, ScreenReaderNamesTheFieldsAndHearsTheSelectedMode) {
    create();
    auto desc = [&](const char* n) {
        return *std::find_if(win().layout().begin(), win().layout().end(),
                             [&](const ControlDesc& s) { return s.name == n; });
    };
    EXPECT_EQ(desc("Text1").accessibleName, "Dwell interval in milliseconds");
    EXPECT_EQ(desc("Text1").accessibleDescription, "Enter the interval");
    EXPECT_EQ(desc("Text2").accessibleName, "Drag interval in milliseconds");
    EXPECT_EQ(desc("Text2").accessibleDescription, "Specify the dragging interval");
    EXPECT_TRUE(desc("Label3").status);
    EXPECT_EQ(desc("Label4").accessibleName, "Left click");
    EXPECT_EQ(desc("Label7").accessibleName, "Double click");
    EXPECT_EQ(desc("Label6").accessibleName, "Right click");

    // Exactly the red label is described as selected, however it became red.
    auto selected = [&] {
        std::string s;
        for (const char* n : {"Label4", "Label7", "Label6"}) {
            const std::string d = label(n).accessibleDescription();
            EXPECT_EQ(d == "selected", label(n).foreColour() == kRed) << n;
            if (d == "selected") s += n;
            else EXPECT_EQ(d, "not selected") << n;
        }
        return s;
    };
    EXPECT_EQ(selected(), "Label4");
    label("Label6").userClick();
    EXPECT_EQ(selected(), "Label6");
    label("Label7").userClick();
    EXPECT_EQ(selected(), "Label7");
    fp().tray.rightRelease();  // the tray's right click: Double -> Right
    EXPECT_EQ(selected(), "Label6");
    label("Label4").userClick();
    EXPECT_EQ(selected(), "Label4");
}

TEST_F(FormTest, LoadOnFirstRun) {
    load();
    EXPECT_EQ(fp().settings.reads, (std::vector<std::string>{"Interval", "Drag", "Enabled", "Steady", "Radius", "Repeat",
                                                                 "Countdown", "Left"}));
    EXPECT_EQ(timer().interval(), 1000);
    EXPECT_TRUE(timer().enabled());
    EXPECT_EQ(check2().value(), 0);
    EXPECT_EQ(status(), "Dwellor is alive and clicking");
    EXPECT_EQ(win().caption(), "Dwellor - Enabled");
    EXPECT_TRUE(fp().settings.values.empty());  // nothing is written at start
    EXPECT_EQ(fp().log.back(), "Window.Caption=Dwellor - Enabled");
}

// The stored period is the one shown: switching the drag option, which
// takes the period from Text1, keeps it. Showing it pauses nothing.
TEST_F(FormTest, LoadShowsTheStoredPeriodAndKeepsIt) {
    store("Interval", "300");
    store("Drag", "0");
    load();
    EXPECT_EQ(timer().interval(), 300);
    EXPECT_EQ(text1().text(), "300");
    EXPECT_EQ(text2().text(), "150");
    EXPECT_TRUE(timer().enabled());
    EXPECT_EQ(stored("Enabled"), "<none>");
    EXPECT_TRUE(text2().visible());
    check2().userClick();
    check2().userClick();
    EXPECT_EQ(timer().interval(), 300);
}

TEST_F(FormTest, LoadWithTheDragOptionOnRunsTheCheckBoxHandler) {
    store("Interval", "300");
    store("Drag", "1");
    load();
    EXPECT_EQ(fp().log, (std::vector<std::string>{"Timer1.Interval=300", "Text1.Text=300", "Text2.Text=150",
                                                "Check2.Value=1", "SaveSetting Drag=1",
                                                "Text2.Visible=1", "Timer1.Enabled=1",
                                                "RadiusValue.Caption=6", "PeriodValue.Caption=300",
                                                "Label3.Caption=Dwellor is alive and clicking",
                                                "Window.Caption=Dwellor - Enabled"}));
    EXPECT_EQ(timer().interval(), 300);
}

TEST_F(FormTest, LoadDisabled) {
    store("Enabled", "False");
    load();
    EXPECT_FALSE(timer().enabled());
    EXPECT_EQ(timer().steps(3), 0);
    EXPECT_EQ(fp().log.end()[-2], "Window.Caption=Dwellor - Disabled");
    EXPECT_EQ(fp().log.end()[-1], "Label3.Caption=Dwellor is currently disabled");
}

TEST_F(FormTest, JunkSettingsFallBackToDefaults) {
    store("Interval", "-300");
    store("Drag", "7");
    store("Enabled", "maybe");
    load();
    EXPECT_EQ(timer().interval(), 1000);
    EXPECT_EQ(check2().value(), 0);
    EXPECT_TRUE(timer().enabled());
}

TEST_F(FormTest, ToggleTwice) {
    store("Interval", "300");
    load();
    fp().log.clear();
    win().button("Command3").userClick();
    EXPECT_FALSE(timer().enabled());
    EXPECT_EQ(fp().log, (std::vector<std::string>{"Timer1.Enabled=0", "SaveSetting Enabled=False",
                                                  "Label3.Caption=Dwellor is currently disabled",
                                                  "Window.Caption=Dwellor - Disabled"}));

    check2().userClick();
    fp().log.clear();
    win().button("Command3").userClick();
    EXPECT_TRUE(timer().enabled());
    EXPECT_EQ(fp().log, (std::vector<std::string>{"Timer1.Enabled=1", "SaveSetting Enabled=True",
                                                "SaveSetting Interval=300", "SaveSetting Drag=1",
                                                "Label3.Caption=Dwellor is alive and clicking",
                                                "Window.Caption=Dwellor - Enabled"}));
}

TEST_F(FormTest, TypingIntoAnEmptiedDwellBox) {
    load();
    text1().clear();
    EXPECT_EQ(status(), "Please enter a valid interval!");
    EXPECT_EQ(timer().interval(), 1000);
    std::vector<std::pair<int, std::string>> seen;
    for (char c : std::string("300")) {
        text1().type(std::string(1, c));
        seen.emplace_back(timer().interval(), text2().text());
        EXPECT_EQ(status(), "Dwellor is currently disabled");
    }
    EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{{3, "1.5"}, {30, "15"}, {300, "150"}}));
    EXPECT_FALSE(timer().enabled());
    EXPECT_EQ(stored("Enabled"), "False");
    EXPECT_EQ(win().caption(), "Dwellor - Disabled");
}

TEST_F(FormTest, DwellIntervalValidation) {
    struct Case {
        const char* text;
        bool valid;
        int period;
        const char* text2;
    };
    const Case cases[] = {
        {"0", false, 1000, "500"},        {"35000", false, 1000, "500"}, {"abc", false, 1000, "500"},
        {"", false, 1000, "500"},         {"-5", false, 1000, "500"},    {"34999", true, 34999, "17499.5"},
        {"0.4", false, 1000, "500"},      {"0.5", false, 1000, "500"},   {"0.6", true, 1, "0.3"},
        {"2.5", true, 2, "1.25"},      {"3.5", true, 4, "1.75"},
        {"25", true, 25, "12.5"},         {"1", true, 1, "0.5"},         {"12abc", true, 12, "6"},
    };
    for (const auto& c : cases) {
        reset();
        load();
        text1().setText(c.text);
        SCOPED_TRACE(c.text);
        EXPECT_EQ(status(), c.valid ? "Dwellor is currently disabled" : "Please enter a valid interval!");
        EXPECT_EQ(timer().interval(), c.period);
        EXPECT_EQ(text2().text(), c.text2);
        EXPECT_FALSE(timer().enabled());
        EXPECT_EQ(stored("Enabled"), "False");
    }
}

// No text and no stored value can stop the timer for good.
TEST_F(FormTest, NoPeriodStopsTheTimer) {
    load();
    text1().setText("0.4");
    win().button("Command3").userClick();
    EXPECT_TRUE(timer().enabled());
    EXPECT_EQ(stored("Interval"), "1000");
    EXPECT_EQ(timer().steps(5), 5);
    for (const char* junk : {"0", "35000", "40000", "2147483647", "-1"}) {
        SCOPED_TRACE(junk);
        reset();
        store("Interval", junk);
        load();
        EXPECT_EQ(timer().interval(), 1000);
    }
}

TEST_F(FormTest, DragIntervalNormalisation) {
    struct Case {
        const char* dwell;
        const char* typed;
        const char* result;
    };
    static const std::string tooLong(400, '9');
    const Case cases[] = {
        {"1000", tooLong.c_str(), "500"},
        {"1000", "200", "200"},  {"1000", "1500", "500"}, {"1000", "1000.5", "500"},
        {"1000", "1000", "1000"}, {"1000", "12abc", "12"}, {"1000", "abc", "0"},
        {"1000", "007", "7"},    {"1000", "", ""},        {"abc", "40", "0"},
        {"1000", " 3 0", "30"},  {"1000", "-20", "-20"},
    };
    for (const auto& c : cases) {
        reset();
        load();
        text1().setText(c.dwell);
        text2().setText(c.typed);
        EXPECT_EQ(text2().text(), c.result) << c.dwell << " / " << c.typed;
    }
}

TEST_F(FormTest, DragIntervalHandlerRunsNested) {
    load();
    fp().log.clear();
    text2().setText("1500");
    // typed 1500, capped to 500 by the nested run of the same handler
    EXPECT_EQ(fp().log, (std::vector<std::string>{"Text2.Text=1500", "Text2.Text=500"}));
    fp().log.clear();
    text2().setText("0300");
    EXPECT_EQ(fp().log, (std::vector<std::string>{"Text2.Text=0300", "Text2.Text=300"}));
}

TEST_F(FormTest, DragOption) {
    load();
    check2().userClick();
    EXPECT_EQ(stored("Drag"), "1");
    EXPECT_TRUE(text2().visible());
    text1().setText("abc");  // invalid: the period stays 1000
    timer().setInterval(777);
    check2().userClick();
    EXPECT_EQ(stored("Drag"), "0");
    EXPECT_FALSE(text2().visible());
    EXPECT_EQ(timer().interval(), 777);  // "abc" gives no period: the one running stays
    EXPECT_FALSE(timer().enabled());

    text1().setText("-250");
    check2().userClick();
    check2().userClick();
    EXPECT_EQ(timer().interval(), 777);
    EXPECT_FALSE(timer().running());
}

TEST_F(FormTest, ExitReleasesAHeldDragPress) {
    load();
    check2().userClick();
    fp().pointer.position = {50, 60};
    timer().steps(2);
    ASSERT_EQ(fp().mouse.flags(), (std::vector<std::uint32_t>{MOUSEEVENTF_LEFTDOWN}));
    fp().settings.values.clear();
    fp().log.clear();
    win().button("Command2").userClick();
    EXPECT_EQ(fp().mouse.flags(), (std::vector<std::uint32_t>{MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}));
    EXPECT_TRUE(win().unloaded());
    // Only where the window was.
    for (const auto& [key, text] : fp().settings.values) EXPECT_TRUE(key.ends_with("/Left") || key.ends_with("/Top")) << key;
    EXPECT_TRUE(std::none_of(fp().log.begin(), fp().log.end(),
                             [](const std::string& e) { return e.starts_with("Tray."); }));
}

TEST_F(FormTest, ExitWithNothingHeldInjectsNothing) {
    load();
    win().button("Command2").userClick();
    EXPECT_TRUE(fp().mouse.calls.empty());
    EXPECT_TRUE(win().unloaded());
}

}  // namespace

namespace {

TEST_F(FormTest, RemoteCommandsDoWhatTheirButtonsDo) {
    load();
    fp().log.clear();
    form->RemoteCommand(Command::Disable);
    EXPECT_FALSE(timer().enabled());
    EXPECT_EQ(win().caption(), "Dwellor - Disabled");
    EXPECT_EQ(stored("Enabled"), "False");
    fp().log.clear();
    form->RemoteCommand(Command::Disable);  // already off: no write, no change
    EXPECT_TRUE(fp().log.empty());

    form->RemoteCommand(Command::Toggle);
    EXPECT_TRUE(timer().enabled());
    EXPECT_EQ(stored("Enabled"), "True");
    EXPECT_EQ(stored("Interval"), "1000");
    fp().log.clear();
    form->RemoteCommand(Command::Enable);
    EXPECT_TRUE(fp().log.empty());

    // Show brings the window back from the tray and removes the icon.
    win().button("Command1").userClick();
    ASSERT_FALSE(win().visible());
    form->RemoteCommand(Command::Show);
    EXPECT_TRUE(win().visible());
    EXPECT_FALSE(fp().tray.shown);

    // Switched off while in the tray or minimised, it shows its window:
    // only a rest on Toggle can wake it.
    for (Command off : {Command::Toggle, Command::Disable}) {
        SCOPED_TRACE(nameOf(off));
        win().button("Command1").userClick();
        ASSERT_FALSE(win().visible());
        form->RemoteCommand(off);
        EXPECT_TRUE(win().visible());
        EXPECT_FALSE(fp().tray.shown);
        fp().tray.available = false;
        win().button("Command1").userClick();
        ASSERT_EQ(win().windowState(), WindowState::Minimised);
        form->RemoteCommand(Command::Disable);
        EXPECT_EQ(win().windowState(), WindowState::Normal);
        fp().tray.available = true;
        form->RemoteCommand(Command::Enable);
    }

    form->RemoteCommand(Command::Quit);
    EXPECT_TRUE(win().unloaded());
}

TEST_F(FormTest, StartInTrayOnlyWhenAnIconCanBeAdded) {
    create();
    win().setVisible(false);  // not yet shown at start-up
    fp().tray.available = false;
    EXPECT_FALSE(form->StartInTray());
    fp().tray.available = true;
    EXPECT_TRUE(form->StartInTray());
    EXPECT_TRUE(fp().tray.shown);
    EXPECT_EQ(fp().tray.tip, "Dwellor");
}

}  // namespace

namespace {

// Every way of pausing lets go of a held drag press first, and the drag
// starts afresh once clicking is back.
enum class Pause { Toggle, EditText1, DisableCommand, ToggleCommand };
class FormPause : public FormTest, public ::testing::WithParamInterface<Pause> {};

TEST_P(FormPause, ReleasesAHeldDragPressFirst) {
    load();
    check2().userClick();
    fp().pointer.position = {50, 60};
    timer().steps(2);
    ASSERT_EQ(fp().mouse.flags(), (std::vector<std::uint32_t>{MOUSEEVENTF_LEFTDOWN}));
    ASSERT_EQ(timer().interval(), 500);
    switch (GetParam()) {
        case Pause::Toggle: win().button("Command3").userClick(); break;
        case Pause::EditText1: text1().setText("800"); break;
        case Pause::DisableCommand: form->RemoteCommand(Command::Disable); break;
        case Pause::ToggleCommand: form->RemoteCommand(Command::Toggle); break;
    }
    EXPECT_FALSE(timer().enabled());
    EXPECT_EQ(fp().mouse.flags(), (std::vector<std::uint32_t>{MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}));
    EXPECT_EQ(timer().interval(), GetParam() == Pause::EditText1 ? 800 : 1000);

    win().button("Command3").userClick();
    timer().step();
    EXPECT_EQ(fp().mouse.flags().back(), MOUSEEVENTF_LEFTDOWN);
}

INSTANTIATE_TEST_SUITE_P(Ways, FormPause,
                         ::testing::Values(Pause::Toggle, Pause::EditText1, Pause::DisableCommand, Pause::ToggleCommand));

}  // namespace

namespace {

// A person who can only dwell never locks themselves out.
struct FormDwelling : FormTest {
    Point toggle{93, 20}, exitButton{157, 20};
    void restOn(Point p) {
        fp().pointer.overOwn = true;
        fp().pointer.position = p;
        win().pointerMoves(win().clientAreaContains(p));
    }
    fake::Timer& watch() { return win().timer("WakeWatch"); }
};

TEST_F(FormDwelling, DisabledWakesOnlyByARestOnToggleAndWatchesOnlyWhileThePointerIsOverTheWindow) {
    store("Enabled", "False");
    load();
    EXPECT_FALSE(watch().enabled());
    restOn({29, 20});  // Hide
    EXPECT_TRUE(watch().running());
    EXPECT_EQ(watch().interval(), 1000);
    watch().steps(4);
    EXPECT_TRUE(fp().mouse.calls.empty());
    restOn(toggle);
    watch().steps(3);
    EXPECT_EQ(fp().mouse.flags(), (std::vector<std::uint32_t>{MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}));
    win().button("Command3").userClick();  // the click arrives
    EXPECT_TRUE(timer().enabled());
    EXPECT_EQ(win().caption(), "Dwellor - Enabled");
    EXPECT_FALSE(watch().enabled());
    // Still resting on Toggle: the clicker does not switch itself off again.
    timer().steps(5);
    EXPECT_EQ(fp().mouse.flags(), (std::vector<std::uint32_t>{MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}));
    // A rest after moving off and back does.
    restOn({93, 25});
    timer().steps(2);
    EXPECT_EQ(fp().mouse.calls.size(), 4u);
    win().button("Command3").userClick();
    EXPECT_FALSE(timer().enabled());
    EXPECT_TRUE(watch().running());
    win().pointerMoves(false);
    EXPECT_FALSE(watch().enabled());
}

TEST_F(FormDwelling, EndingByARestAsksOnceMoreAndAnyOtherEndingEndsAtOnce) {
    load();
    restOn(exitButton);
    timer().steps(2);  // the engine's click on Exit comes back as the button's click
    win().button("Command2").userClick();
    EXPECT_FALSE(win().unloaded());
    ASSERT_TRUE(win().prompt().isOpen());
    EXPECT_EQ(win().prompt().desc().yes, "Exit Dwellor");
    EXPECT_EQ(win().prompt().desc().no, "Keep clicking");
    EXPECT_EQ(win().prompt().desc().near, exitButton);
    // No answer in 10 s: it closes and clicking goes on.
    fake::Timer& timeout = win().timer("AskTimeout");
    EXPECT_EQ(timeout.interval(), 10000);
    EXPECT_TRUE(timeout.step());
    EXPECT_FALSE(win().prompt().isOpen());
    EXPECT_FALSE(timeout.enabled());
    EXPECT_TRUE(timer().enabled());

    // The title bar's close button, reached by a rest, asks too.
    restOn({100, -10});
    timer().steps(2);
    win().userClose();
    ASSERT_TRUE(win().prompt().isOpen());
    win().prompt().answer(false);
    EXPECT_FALSE(win().prompt().isOpen());
    EXPECT_FALSE(win().unloaded());
    restOn({101, -10});
    timer().steps(2);
    win().userClose();
    win().prompt().answer(true);
    EXPECT_TRUE(win().unloaded());

    // A click the engine did not make, and the quit command, end at once.
    for (int how = 0; how < 2; ++how) {
        reset();
        load();
        restOn(exitButton);
        timer().steps(2);
        if (how == 0) {
            fp().pointer.position = {158, 21};  // a hand on the mouse moved it there
            win().button("Command2").userClick();
        } else {
            form->RemoteCommand(Command::Quit);
        }
        EXPECT_TRUE(win().unloaded()) << how;
        EXPECT_FALSE(win().prompt().isOpen());
    }
}

TEST_F(FormDwelling, ADisabledStartIsNeverHiddenInTheTray) {
    store("Enabled", "False");
    load();
    EXPECT_FALSE(form->StartInTray());
    EXPECT_FALSE(fp().tray.shown);
}

}  // namespace

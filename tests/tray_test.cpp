#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"
#include "tray/tray_icon.h"
#include "window/form1.h"

using namespace dwellor;

namespace {

// The record and what reaches the tray, on the tray subsystem alone.
struct TrayRecordTest : ::testing::Test {
    fake::Log log;
    fake::Tray tray{log};
    PictureBox owner{0x5123};
    TrayIcon icon{tray};
};

TEST_F(TrayRecordTest, EachOperationHandsTheTrayWhatItFilled) {
    EXPECT_EQ(icon.AddTrayIcon(owner, "Dwellor", 0x101, 1), kTrue);
    EXPECT_EQ(tray.tip, "Dwellor");
    EXPECT_EQ(tray.image, 0x101u);

    EXPECT_EQ(icon.SetTrayIcon(owner, 0x102, 1), kTrue);
    EXPECT_EQ(tray.tip, "Dwellor");  // left as the add filled it
    EXPECT_EQ(tray.image, 0x102u);

    EXPECT_EQ(icon.RemoveTrayIcon(owner, 1), kTrue);
    EXPECT_FALSE(tray.shown);
    EXPECT_EQ(log, (fake::Log{"Tray.Show", "Tray.SetImage", "Tray.Remove"}));

    // Refusals come back as false.
    EXPECT_EQ(icon.SetTrayIcon(owner, 0x103, 1), kFalse);
    EXPECT_EQ(icon.RemoveTrayIcon(owner, 1), kFalse);
    tray.available = false;
    EXPECT_EQ(icon.AddTrayIcon(owner, "Dwellor", 0x101, 1), kFalse);
}

TEST_F(TrayRecordTest, TipsAreCutToSixtyFourCharacters) {
    const std::string longTip(70, 'x');
    icon.AddTrayIcon(owner, longTip, 0x101, 1);
    EXPECT_EQ(tray.tip, std::string(64, 'x'));
    icon.RemoveTrayIcon(owner, 1);
    icon.AddTrayIcon(owner, "", 0x101, 1);
    EXPECT_EQ(tray.tip, "");
}

TEST_F(TrayRecordTest, ReleasesArriveAsMouseMessagesAndTheHostEndingApart) {
    std::vector<int> moves;
    int gone = 0;
    icon.onMouseMove([&](int x) { moves.push_back(x); });
    icon.onHostGone([&] { ++gone; });
    icon.AddTrayIcon(owner, "Dwellor", 0x101, 1);
    tray.leftRelease();
    tray.rightRelease();
    tray.hostEnds();
    EXPECT_EQ(moves, (std::vector<int>{WM_LBUTTONUP, WM_RBUTTONUP}));
    EXPECT_EQ(gone, 1);
}

// The window's tray handling on the fake backend.
struct TrayTest : ::testing::Test {
    fake::FakePlatform fp;
    Form1 form{fp.platform()};

    void SetUp() override {
        form.Form_Load();
        fp.log.clear();
    }
    fake::Label& label(const char* n) { return fp.window.label(n); }
    std::string mode() {
        std::string m;
        for (const char* n : {"Label4", "Label7", "Label6"})
            if (label(n).foreColour() == kRed) m += n;
        return m;
    }
    Handle image(const char* n) { return label(n).mouseIcon(); }
    void hide() { fp.window.button("Command1").userClick(); }
    // The log without the mode labels' colours.
    fake::Log trayAndWindow() {
        fake::Log out;
        for (const auto& e : fp.log)
            if (e.rfind("Tray.", 0) == 0 || e.rfind("Window.", 0) == 0) out.push_back(e);
        return out;
    }
};

TEST_F(TrayTest, LabelClicksWriteColoursInOrderThenSetTheTrayImage) {
    label("Label6").userClick();
    EXPECT_EQ(fp.log, (fake::Log{"Label6.ForeColour=255", "Label4.ForeColour=0", "Label7.ForeColour=0",
                                 "Tray.SetImage"}));
    fp.log.clear();
    label("Label7").userClick();
    EXPECT_EQ(fp.log, (fake::Log{"Label7.ForeColour=255", "Label6.ForeColour=0", "Label4.ForeColour=0",
                                 "Tray.SetImage"}));
    fp.log.clear();
    label("Label4").userClick();
    EXPECT_EQ(fp.log, (fake::Log{"Label4.ForeColour=255", "Label6.ForeColour=0", "Label7.ForeColour=0",
                                 "Tray.SetImage"}));
    // Shown window: there is no icon, so every change was refused and nothing appeared.
    EXPECT_FALSE(fp.tray.shown);
    // The selected label clicked again: colours the same, the image set again.
    hide();
    fp.log.clear();
    label("Label4").userClick();
    EXPECT_EQ(mode(), "Label4");
    EXPECT_EQ(fp.log.back(), "Tray.SetImage");
    EXPECT_EQ(fp.tray.image, image("Label4"));
}

TEST_F(TrayTest, HideAddsTheWindowIconAndHides) {
    label("Label6").userClick();
    fp.log.clear();
    hide();
    EXPECT_EQ(fp.log, (fake::Log{"Tray.Show", "Window.Visible=0"}));
    EXPECT_EQ(fp.tray.image, fp.window.icon());  // the window's image, not the red one
    EXPECT_EQ(fp.tray.tip, "Dwellor");
    EXPECT_FALSE(fp.window.visible());

    // The first right click selects Left and shows the green image at once.
    fp.tray.rightRelease();
    EXPECT_EQ(mode(), "Label4");
    EXPECT_EQ(fp.tray.image, image("Label4"));
}

TEST_F(TrayTest, RightClicksCycleLeftDoubleRight) {
    hide();
    std::vector<std::string> modes;
    std::vector<Handle> images;
    for (int i = 0; i < 4; ++i) {
        fp.tray.rightRelease();
        modes.push_back(mode());
        images.push_back(fp.tray.image);
    }
    EXPECT_EQ(modes, (std::vector<std::string>{"Label7", "Label6", "Label4", "Label7"}));
    EXPECT_EQ(images, (std::vector<Handle>{image("Label7"), image("Label6"), image("Label4"), image("Label7")}));
}

TEST_F(TrayTest, OtherMouseMessagesDoNothing) {
    hide();
    fp.log.clear();
    for (int m : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONDBLCLK, 0, 99999})
        form.cSysTray_MouseMove(m);
    EXPECT_TRUE(fp.log.empty());
}

TEST_F(TrayTest, LeftClickRestores) {
    hide();
    fp.log.clear();
    fp.tray.leftRelease();
    EXPECT_EQ(fp.log, (fake::Log{"Window.WindowState=0", "Window.Show", "Tray.Remove"}));
    EXPECT_TRUE(fp.window.visible());
    EXPECT_FALSE(fp.tray.shown);
}

TEST_F(TrayTest, MinimiseRestoreMinimiseAddsTheIconOnceEachTime) {
    for (int round = 0; round < 2; ++round) {
        fp.window.userMinimise();
        fp.tray.leftRelease();
    }
    const fake::Log once = {"Window.WindowState=1", "Tray.Show", "Window.Visible=0",
                            "Window.WindowState=0", "Window.Show", "Tray.Remove"};
    fake::Log twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(trayAndWindow(), twice);
    EXPECT_EQ(fp.window.windowState(), WindowState::Normal);
}

TEST_F(TrayTest, WithoutANotificationAreaHideMinimisesToTheTaskBar) {
    fp.tray.available = false;
    hide();
    // The minimise handler tries the icon once more, then leaves it minimised.
    EXPECT_EQ(trayAndWindow(), (fake::Log{"Tray.Show", "Window.WindowState=1", "Tray.Show"}));
    EXPECT_TRUE(fp.window.visible());
    EXPECT_EQ(fp.window.windowState(), WindowState::Minimised);
    // Minimised already: Hide tries the icon and changes nothing else.
    fp.log.clear();
    hide();
    EXPECT_EQ(trayAndWindow(), (fake::Log{"Tray.Show"}));

    // Restored by the user; a notification area has come meanwhile.
    fp.window.setWindowState(WindowState::Normal);
    fp.tray.available = true;
    hide();
    EXPECT_TRUE(fp.tray.shown);
    EXPECT_FALSE(fp.window.visible());
}

TEST_F(TrayTest, TheHostEndingGivesTheWindowBackAndALaterHideAddsAFreshIcon) {
    for (bool minimise : {false, true}) {
        SCOPED_TRACE(minimise ? "minimised" : "hidden");
        fp.tray.available = true;
        if (minimise) fp.window.userMinimise();
        else hide();
        ASSERT_TRUE(fp.tray.shown);
        fp.log.clear();
        fp.tray.hostEnds();
        EXPECT_EQ(trayAndWindow(), (fake::Log{"Window.WindowState=0", "Window.Show"}));
        EXPECT_TRUE(fp.window.visible());
        EXPECT_EQ(fp.window.windowState(), WindowState::Normal);

        // A tray coming and going while the window is shown changes nothing.
        fp.log.clear();
        fp.tray.available = true;
        fp.tray.hostEnds();
        EXPECT_TRUE(fp.log.empty());

        fp.tray.available = true;
        hide();
        EXPECT_TRUE(fp.tray.shown);
        EXPECT_EQ(fp.tray.image, fp.window.icon());
        fp.tray.leftRelease();
    }
}

TEST_F(TrayTest, TheModeDecidesTheClick) {
    fp.pointer.position = {100, 100};
    auto& timer = fp.window.timer("Timer1");
    timer.steps(2);
    label("Label7").userClick();
    timer.step();
    label("Label6").userClick();
    timer.step();
    EXPECT_EQ(fp.mouse.flags(), (std::vector<std::uint32_t>{0x2, 0x4, 0x6, 0x6, 0x18}));
}

}  // namespace

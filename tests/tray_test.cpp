#include <gtest/gtest.h>

#include <cstring>

#include "platform/fake/fake_platform.h"
#include "window/form1.h"

using namespace dwellor;

namespace {

struct TrayTest : ::testing::Test {
    fake::FakePlatform fp;
    Form1 form{fp.platform()};

    void SetUp() override {
        form.Form_Load();
        fp.log.clear();
    }
    fake::Label& label(const char* n) { return fp.window.label(n); }
    fake::PictureBox& owner() { return fp.window.pictureBox("cSysTray"); }
    std::string mode() {
        std::string m;
        for (const char* n : {"Label4", "Label7", "Label6"})
            if (label(n).foreColour() == kRed) m += n;
        return m;
    }
    Handle image(const char* n) { return label(n).mouseIcon(); }
    void hide() { fp.window.button("Command1").userClick(); }
};

TEST_F(TrayTest, LabelClicksWriteColoursInOrderThenSetTheTrayImage) {
    label("Label6").userClick();
    EXPECT_EQ(fp.log, (fake::Log{"Label6.ForeColour=255", "Label4.ForeColour=0", "Label7.ForeColour=0",
                                 "Shell_NotifyIconA 1"}));
    fp.log.clear();
    label("Label7").userClick();
    EXPECT_EQ(fp.log, (fake::Log{"Label7.ForeColour=255", "Label6.ForeColour=0", "Label4.ForeColour=0",
                                 "Shell_NotifyIconA 1"}));
    fp.log.clear();
    label("Label4").userClick();
    EXPECT_EQ(fp.log, (fake::Log{"Label4.ForeColour=255", "Label6.ForeColour=0", "Label7.ForeColour=0",
                                 "Shell_NotifyIconA 1"}));
    // Shown window: there is no icon, so every change was refused and nothing appeared.
    EXPECT_FALSE(fp.notifyIcon.shown);
    // The selected label clicked again: colours the same, the image set again.
    fp.log.clear();
    label("Label4").userClick();
    EXPECT_EQ(mode(), "Label4");
    EXPECT_EQ(fp.notifyIcon.calls.back().second.hIcon, image("Label4"));
}

TEST_F(TrayTest, HideAddsTheWindowIconAndHides) {
    label("Label6").userClick();
    fp.log.clear();
    fp.notifyIcon.calls.clear();
    hide();
    EXPECT_EQ(fp.log, (fake::Log{"Shell_NotifyIconA 0", "Window.Visible=0"}));
    ASSERT_EQ(fp.notifyIcon.calls.size(), 1u);
    const NotifyIconData& d = fp.notifyIcon.calls[0].second;
    EXPECT_EQ(d.cbSize, 88u);
    EXPECT_EQ(d.hWnd, owner().hWnd());
    EXPECT_EQ(d.uID, 1u);
    EXPECT_EQ(d.uFlags, 7u);
    EXPECT_EQ(d.uCallbackMessage, 0x200u);
    EXPECT_EQ(d.hIcon, fp.window.icon());  // the window's image, not the red one
    EXPECT_EQ(std::string(d.szTip, 8), std::string("Dwellor\0", 8));
    EXPECT_EQ(std::string(d.szTip + 8, 56), std::string(56, ' '));
    EXPECT_EQ(fp.notifyIcon.tip, "Dwellor");
    EXPECT_FALSE(fp.window.visible());

    // The first right click selects Left and shows the green image at once.
    owner().mouseMove(WM_RBUTTONUP);
    EXPECT_EQ(mode(), "Label4");
    EXPECT_EQ(fp.notifyIcon.image, image("Label4"));
    const NotifyIconData& m = fp.notifyIcon.calls.back().second;
    EXPECT_EQ(fp.notifyIcon.calls.back().first, NIM_MODIFY);
    EXPECT_EQ(m.uFlags, 2u);
    EXPECT_EQ(m.uCallbackMessage, 0x200u);
    EXPECT_EQ(std::string(m.szTip, 7), "Dwellor");  // left as the add filled it
}

TEST_F(TrayTest, RightClicksCycleLeftDoubleRight) {
    hide();
    std::vector<std::string> modes;
    std::vector<Handle> images;
    for (int i = 0; i < 4; ++i) {
        owner().mouseMove(WM_RBUTTONUP);
        modes.push_back(mode());
        images.push_back(fp.notifyIcon.image);
    }
    EXPECT_EQ(modes, (std::vector<std::string>{"Label7", "Label6", "Label4", "Label7"}));
    EXPECT_EQ(images, (std::vector<Handle>{image("Label7"), image("Label6"), image("Label4"), image("Label7")}));
}

TEST_F(TrayTest, OtherMouseMessagesDoNothing) {
    hide();
    fp.log.clear();
    for (int m : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONDBLCLK, 0, 99999})
        owner().mouseMove(m);
    EXPECT_TRUE(fp.log.empty());
}

TEST_F(TrayTest, LeftClickRestores) {
    hide();
    fp.log.clear();
    owner().mouseMove(WM_LBUTTONUP);
    EXPECT_EQ(fp.log, (fake::Log{"Window.WindowState=0", "Window.Show", "Shell_NotifyIconA 2"}));
    EXPECT_TRUE(fp.window.visible());
    EXPECT_FALSE(fp.notifyIcon.shown);
    EXPECT_EQ(form.tray().record().uFlags, 7u);  // delete leaves the flags as they were
}

TEST_F(TrayTest, MinimiseRestoreMinimiseAddsTheIconOnceEachTime) {
    for (int round = 0; round < 2; ++round) {
        fp.window.userMinimise();
        owner().mouseMove(WM_LBUTTONUP);
    }
    fake::Log calls;
    for (const auto& e : fp.log)
        if (e.rfind("Shell_", 0) == 0 || e.rfind("Window.", 0) == 0) calls.push_back(e);
    const fake::Log once = {"Window.WindowState=1", "Shell_NotifyIconA 0", "Window.Visible=0",
                            "Window.WindowState=0", "Window.Show", "Shell_NotifyIconA 2"};
    fake::Log twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(calls, twice);
    EXPECT_EQ(fp.window.windowState(), WindowState::Normal);
}

TEST_F(TrayTest, ARefusedIconKeepsTheWindowReachable) {
    fp.notifyIcon.available = false;
    hide();
    EXPECT_TRUE(fp.window.visible());
    fp.window.userMinimise();
    // Minimised the ordinary way, not hidden.
    EXPECT_TRUE(fp.window.visible());
    EXPECT_EQ(fp.window.windowState(), WindowState::Minimised);
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

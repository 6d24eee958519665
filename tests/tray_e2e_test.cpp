// The tray as a user meets it: the real binary on a private Xvfb with an
// XEmbed tray host (trayer), with the tests' own StatusNotifier host on a
// private session bus, and with no tray at all; tray hosts ending and
// coming back while the window is hidden in them or shown.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/e2e.h"
#include "tests/support/session_bus.h"
#include "tests/support/sni_host.h"

using namespace dwellor::testsupport;
using namespace std::chrono_literals;

namespace {

// How soon the window is back when its tray host ends.
constexpr milliseconds kBackWithin = 1000ms;
// Long enough for a change that is not to come to show.
constexpr milliseconds kSettle = 1000ms;

class E2eTray : public E2eTest {
protected:
    void endTrayer() {
        helper_->signal(SIGTERM);
        ASSERT_TRUE(helper_->waitExit(kPatience)) << "trayer did not end";
        ASSERT_TRUE(waitFor([&] { return !tree_->trayHostRunning(); }));
    }
    // Clicking off while the tray is driven: a rest on the icon would click it.
    void startDisabledApp() {
        writeSettings("[Program]\nEnabled=False\nInterval=200\n");
        startApp();
    }
    void hide() { clickAndLeave(onWindow(kHide)); }
    bool hiddenInTray() { return tree_->trayIcons().size() == 1 && !tree_->viewable(main_); }
    bool shownWithoutIcon() { return tree_->viewable(main_) && tree_->trayIcons().empty(); }
    // Shown and holding the keyboard focus.
    bool backAndActive() { return tree_->viewable(main_) && tree_->focus() == main_; }
};

// No watcher on the session bus: Qt uses the XEmbed tray.
TEST_F(E2eTray, IconRestoresOnReleaseAndCyclesTheModeOnRightClick) {
    SessionBus bus;
    busAddress_ = bus.address();
    startTrayer();
    startDisabledApp();

    clickAndLeave(kHide);
    ASSERT_TRUE(waitFor([&] { return hiddenInTray(); })) << "Hide did not move the window to the tray";

    const Spot icon = tree_->centre(tree_->trayIcons()[0]);
    xdo({"mousemove", std::to_string(icon.x), std::to_string(icon.y), "mousedown", "1"});
    EXPECT_TRUE(holdsFor([&] { return hiddenInTray(); }, 300ms)) << "restored on the press";
    xdo({"mouseup", "1", "mousemove", "0", "0"});
    ASSERT_TRUE(waitFor([&] { return shownWithoutIcon(); })) << "the release did not bring the window back";

    clickAndLeave(kHide);
    ASSERT_TRUE(waitFor([&] { return hiddenInTray(); }));
    const Spot icon2 = tree_->centre(tree_->trayIcons()[0]);
    clickAndLeave(icon2, {0, 0}, "3");
    EXPECT_TRUE(holdsFor([&] { return hiddenInTray(); }, 300ms)) << "a right click restored the window";
    clickAndLeave(icon2);
    ASSERT_TRUE(waitFor([&] { return shownWithoutIcon(); }));
    EXPECT_TRUE(waitFor([&] {
        const Shot s = screenshot();
        return isRed(s, kDoubleLabel) && isColourless(s, kLeftLabel) && isColourless(s, kRightLabel);
    })) << "the right click did not select Double";

    clickAndLeave(kToggle, kRest);
    ASSERT_TRUE(captionIs("Dwellor - Enabled"));
    // Each rest makes two left clicks.
    const auto events = probe_->collect(8, kPatience);
    ASSERT_GE(events.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(events[i], at(1, i % 2 == 0, kRest)) << "event " << i;
}

// A rest on the icon is one click, whatever the mode: in Right mode one
// right click (the mode moves on to Left) and, after a move, one left click.
TEST_F(E2eTray, ARestOnTheIconClicksItOncePerRest) {
    startTrayer();
    writeSettings("[Program]\nEnabled=True\nInterval=200\n");
    startApp();
    clickAndLeave(kLabel6);
    clickAndLeave(kHide);
    ASSERT_TRUE(waitFor([&] { return hiddenInTray(); }));
    const Spot icon = tree_->centre(tree_->trayIcons()[0]);
    pointer_->warp(icon.x, icon.y);
    EXPECT_TRUE(holdsFor([&] { return hiddenInTray(); }, 800ms)) << "more than one click on one rest";
    pointer_->warp(icon.x + 2, icon.y);
    ASSERT_TRUE(waitFor([&] { return shownWithoutIcon(); })) << "the next rest did not restore the window";
    pointer_->warp(0, 0);
    EXPECT_TRUE(waitFor([&] {
        const Shot s = screenshot();
        return isRed(s, kLeftLabel) && isColourless(s, kRightLabel) && isColourless(s, kDoubleLabel);
    })) << "the right click did not move the mode on to Left, once";
}

// Covered by a window that fills the screen, or brought back from the tray,
// it is where the person last found it.
TEST_F(E2eTray, TheWindowIsKeptAboveAndComesBackWhereItWas) {
    startWindowManager();
    startTrayer();
    startDisabledApp();
    ASSERT_TRUE(waitFor([&] { return managed(); })) << "twm did not manage the window";
    EXPECT_TRUE(tree_->keptAbove(main_));
    xdo({"windowmove", std::to_string(main_), "300", "200"});
    ASSERT_TRUE(waitFor([&] { return tree_->origin(main_).x >= 300 && tree_->origin(main_).y >= 200; }));
    const Spot before = tree_->origin(main_);
    hide();
    ASSERT_TRUE(waitFor([&] { return hiddenInTray(); }));
    clickAndLeave(tree_->centre(tree_->trayIcons()[0]));
    ASSERT_TRUE(waitFor([&] { return shownWithoutIcon() && managed(); }));
    EXPECT_TRUE(waitFor([&] {
        const Spot now = tree_->origin(main_);
        return now.x == before.x && now.y == before.y;
    })) << "came back at " << tree_->origin(main_).x << "," << tree_->origin(main_).y;
    EXPECT_TRUE(tree_->keptAbove(main_));
}

TEST_F(E2eTray, HideWithoutTrayHostMinimisesToTheTaskBar) {
    startWindowManager();
    startDisabledApp();
    ASSERT_TRUE(waitFor([&] { return managed(); })) << "twm did not manage the window";
    ASSERT_FALSE(tree_->trayHostRunning());
    hide();
    ASSERT_TRUE(waitFor([&] { return tree_->wmState(main_) == 3; })) << "the window is not iconic";
    EXPECT_FALSE(tree_->viewable(main_));
    EXPECT_TRUE(tree_->trayIcons().empty());
    EXPECT_TRUE(holdsFor([&] { return tree_->wmState(main_) == 3; }, kSettle)) << "it left the task bar";

    // Restored the ordinary way, it answers again.
    xdo({"windowmap", std::to_string(main_)});
    ASSERT_TRUE(waitFor([&] { return tree_->wmState(main_) == 1 && tree_->viewable(main_); }));
    clickAndLeave(onWindow(kToggle));
    EXPECT_TRUE(captionIs("Dwellor - Enabled"));
}

TEST_F(E2eTray, EachMinimiseAddsOneIcon) {
    startWindowManager();
    startTrayer();
    startDisabledApp();
    ASSERT_TRUE(waitFor([&] { return managed(); })) << "twm did not manage the window";
    const std::string id = std::to_string(main_);

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        xdo({"windowminimize", id});
        ASSERT_TRUE(waitFor([&] { return hiddenInTray(); })) << "minimising did not move the window to the tray";
        ASSERT_TRUE(holdsFor([&] { return tree_->trayIcons().size() == 1; }, 200ms));
        clickAndLeave(tree_->centre(tree_->trayIcons()[0]));
        ASSERT_TRUE(waitFor([&] { return shownWithoutIcon(); })) << "the icon did not bring the window back";
    }
}

TEST_F(E2eTray, TrayerEndingGivesTheWindowBackAndANewTrayTakesTheNextIcon) {
    startTrayer();
    startDisabledApp();

    // Shown, with no icon: a tray coming and going changes nothing.
    endTrayer();
    startTrayer();
    EXPECT_TRUE(holdsFor([&] { return shownWithoutIcon(); }, kSettle));

    hide();
    ASSERT_TRUE(waitFor([&] { return hiddenInTray(); }));
    endTrayer();
    EXPECT_TRUE(waitFor([&] { return tree_->viewable(main_); }, kBackWithin)) << "the window did not come back";
    EXPECT_TRUE(waitFor([&] { return backAndActive(); })) << "the window came back without the focus";

    // A new tray takes the next icon, and only one.
    startTrayer();
    hide();
    ASSERT_TRUE(waitFor([&] { return hiddenInTray(); }));
    EXPECT_TRUE(holdsFor([&] { return tree_->trayIcons().size() == 1; }, kSettle));
    clickAndLeave(tree_->centre(tree_->trayIcons()[0]));
    EXPECT_TRUE(waitFor([&] { return shownWithoutIcon(); }));
}

// The tests' own StatusNotifier host on a private session bus.
class E2eStatusNotifier : public E2eTray {
protected:
    void SetUp() override {
        E2eTray::SetUp();
        bus_ = std::make_unique<SessionBus>();
        busAddress_ = bus_->address();
        startHost();
    }
    void TearDown() override {
        host_.reset();
        E2eTray::TearDown();
        bus_.reset();
    }
    void startHost() {
        host_.reset();
        host_ = std::make_unique<FakeStatusNotifierHost>(bus_->address(), dir_ + "/host.log");
    }
    bool liveItems(int n) { return host_->items().live == n; }
    bool hiddenWithItem() { return liveItems(1) && !tree_->viewable(main_); }
    bool shownWithoutItem() { return tree_->viewable(main_) && liveItems(0); }
    std::string fill() {
        const auto item = host_->item();
        return item ? item->fill : "no item";
    }

    std::unique_ptr<SessionBus> bus_;
    std::unique_ptr<FakeStatusNotifierHost> host_;
};

TEST_F(E2eStatusNotifier, HideAndMinimiseRegisterOneItemThatAnswersTheHost) {
    startWindowManager();
    startDisabledApp();
    ASSERT_TRUE(waitFor([&] { return managed(); })) << "twm did not manage the window";

    hide();
    ASSERT_TRUE(waitFor([&] { return hiddenWithItem(); })) << "Hide registered no item";
    EXPECT_TRUE(holdsFor([&] { return host_->items().registered == 1; }, kSettle));
    EXPECT_TRUE(tree_->trayIcons().empty()) << "an XEmbed icon as well";
    const auto item = host_->item();
    ASSERT_TRUE(item);
    EXPECT_EQ(item->tip, "Dwellor");
    EXPECT_EQ(item->menu, "/NO_DBUSMENU");
    EXPECT_NE(item->sizes, "");
    EXPECT_EQ(item->fill, "none");  // the window's own grey image

    // The context request cycles the mode: Double (yellow), then Right (red).
    ASSERT_TRUE(host_->contextMenu());
    EXPECT_TRUE(waitFor([&] { return fill() == "ffff00"; })) << fill();
    ASSERT_TRUE(host_->contextMenu());
    EXPECT_TRUE(waitFor([&] { return fill() == "ff0000"; })) << fill();
    EXPECT_FALSE(tree_->viewable(main_));

    ASSERT_TRUE(host_->activate());
    ASSERT_TRUE(waitFor([&] { return shownWithoutItem(); })) << "activating did not bring the window back";

    xdo({"windowminimize", std::to_string(main_)});
    ASSERT_TRUE(waitFor([&] { return hiddenWithItem(); })) << "minimising registered no item";
    EXPECT_EQ(host_->items().registered, 2);
    EXPECT_EQ(fill(), "none");
    ASSERT_TRUE(host_->activate());
    ASSERT_TRUE(waitFor([&] { return shownWithoutItem(); }));
    EXPECT_EQ(tree_->wmState(main_), 1);

    hide();
    ASSERT_TRUE(waitFor([&] { return hiddenWithItem(); }));
    EXPECT_EQ(host_->items().registered, 3);
    ASSERT_TRUE(host_->activate());
    EXPECT_TRUE(waitFor([&] { return shownWithoutItem(); }));
}

TEST_F(E2eStatusNotifier, HostEndingGivesTheWindowBackAndANewHostTakesTheNextItem) {
    startDisabledApp();

    // Shown, with no item: a host coming and going changes nothing.
    host_->end();
    startHost();
    EXPECT_TRUE(holdsFor([&] { return tree_->viewable(main_) && host_->items().registered == 0; }, kSettle));

    hide();
    ASSERT_TRUE(waitFor([&] { return hiddenWithItem(); }));
    host_->end();
    EXPECT_TRUE(waitFor([&] { return tree_->viewable(main_); }, kBackWithin)) << "the window did not come back";
    EXPECT_TRUE(waitFor([&] { return backAndActive(); })) << "the window came back without the focus";

    startHost();
    hide();
    ASSERT_TRUE(waitFor([&] { return hiddenWithItem(); })) << "the new host got no item";
    EXPECT_TRUE(holdsFor([&] { return host_->items().registered == 1; }, kSettle));
    ASSERT_TRUE(host_->activate());
    EXPECT_TRUE(waitFor([&] { return shownWithoutItem(); }));
}

}  // namespace

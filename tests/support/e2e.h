#pragma once
// The program as a user meets it: the real binary on a private Xvfb, driven
// with xdotool, watched through a probe window, the server's pointer, the
// window tree and screenshots. Shared by the end-to-end suites.
//
// No Xlib types in here (see xvfb.h).

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/xvfb.h"

namespace dwellor::testsupport {

using Clock = std::chrono::steady_clock;
using XWindow = unsigned long;

// Where the controls are, in the window (the window maps at (0, 0) with no
// window manager).
struct Spot {
    int x, y;
};
inline constexpr Spot kHide{29, 20}, kToggle{93, 20}, kExit{157, 20}, kText1{100, 89}, kLabel4{61, 168},
    kLabel6{125, 168}, kLabel7{97, 168}, kCheck2{50, 112}, kSettings{94, 211};

// The probe takes the injected clicks; it is clear of the window and the tray.
inline constexpr int kProbeX = 400, kProbeY = 300;
inline constexpr Spot kRest{600, 450};

inline constexpr milliseconds kPatience{8000};  // generous: the program runs under the sanitizers

// Polls `done` until it holds or `timeout` passes; returns its last value.
bool waitFor(const std::function<bool()>& done, milliseconds timeout = kPatience);
// Whether `ok` holds all through `span`, checked every few milliseconds.
bool holdsFor(const std::function<bool()>& ok, milliseconds span);

struct Box {
    int x, y, w, h;
    bool contains(Spot p) const { return p.x >= x && p.y >= y && p.x < x + w && p.y < y + h; }
};

// A look at the server's window tree.
class WindowTree {
public:
    explicit WindowTree(const std::string& display);
    ~WindowTree();
    WindowTree(const WindowTree&) = delete;
    WindowTree& operator=(const WindowTree&) = delete;

    // The program's main window, mapped or not; 0 when there is none.
    XWindow mainWindow();
    // The program's icons embedded in a tray. Qt marks all its windows as
    // embeddable, and a window manager's frame gives the main window a parent
    // too: the title tells it apart.
    std::vector<XWindow> trayIcons();
    // The program's question window, when one is shown; 0 otherwise.
    XWindow promptWindow();
    // The program's viewable window with this title; 0 when there is none.
    XWindow windowTitled(const std::string& title);
    // The program's viewable windows that no window manager sees
    // (override-redirect): tool tips, the countdown ring.
    std::vector<XWindow> unmanagedWindows();
    // Where a window is on the screen, and its size.
    Box rect(XWindow w);
    // The PRIMARY selection's text (what was last selected anywhere); empty
    // when its owner gives none.
    std::string primarySelection();
    // Whether the window asks to be kept above others (_NET_WM_STATE_ABOVE).
    bool keptAbove(XWindow w);
    XWindow root() const;
    bool trayHostRunning();
    bool viewable(XWindow w);
    std::string title(XWindow w);
    XWindow parent(XWindow w);
    // The state a window manager gives a window (WM_STATE: 1 normal,
    // 3 iconic); 0 when it has none (withdrawn).
    long wmState(XWindow w);
    // The centre and the top-left corner of a window, on the screen.
    Spot centre(XWindow w);
    Spot origin(XWindow w);
    // The window that has the keyboard focus.
    XWindow focus();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// An 8-bit RGB picture of the top-left corner of the screen, where the
// window is.
struct Shot {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;

    // Pixels in the rectangle that are exactly (255, 0, 0).
    int pureRed(int x0, int y0, int w, int h) const;
    // Pixels in the rectangle that are not a shade of grey.
    int coloured(int x0, int y0, int w, int h) const;
};

// Reads a binary PPM with 8-bit samples (as ImageMagick writes it).
Shot readPpm(const std::string& path);

// The mode labels: L, Double (short of the column it shares with R), R.
inline constexpr Box kLeftLabel{53, 160, 17, 17}, kDoubleLabel{77, 160, 40, 17}, kRightLabel{117, 160, 17, 17};

bool isRed(const Shot& s, Box b);
bool isColourless(const Shot& s, Box b);

ButtonEvent at(unsigned button, bool press, Spot p);
// The number of single left clicks at the resting point; fails on any other event.
int leftClicksAtRest(const std::vector<ButtonEvent>& events);

// One X server, a home of its own, a probe window and the program.
class E2eTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string settingsPath() const { return dir_ + "/home/Dwellor/Dwellor.conf"; }
    void writeSettings(const std::string& text);

    // The program's environment: this test's display, home and runtime
    // folder, the session bus at `busAddress_` (none by default), and
    // nothing of a Wayland session.
    std::vector<std::string> appEnv() const;
    // Starts the program and, unless it starts hidden, waits for its window.
    void startApp(const std::vector<std::string>& args = {}, bool waitShown = true,
                  const std::vector<std::string>& extraEnv = {});
    // Runs the program to its end, as a second start or a command does.
    ExitStatus runToEnd(const std::vector<std::string>& args, std::string* output = nullptr,
                        const std::vector<std::string>& extraEnv = {});
    // A helper program (tray host) that lives as long as the test, or until
    // it is started again.
    void startHelper(const std::vector<std::string>& argv);
    // trayer, an XEmbed tray host, as the helper; returns once it runs.
    void startTrayer();
    // twm, which is small and speaks ICCCM (minimising needs a window
    // manager). Start it before the program.
    void startWindowManager();
    // Whether the window manager has taken the program's window in.
    bool managed() { return tree_->parent(main_) != tree_->root(); }

    void xdo(const std::vector<std::string>& args);
    // Clicks at a point and leaves at once for another, before a tick can
    // find the pointer resting there.
    void clickAndLeave(Spot at, Spot leave = {0, 0}, const char* button = "1");

    // A point of the program's window, on the screen.
    Spot onWindow(Spot p) {
        const Spot o = tree_->origin(main_);
        return {o.x + p.x, o.y + p.y};
    }
    std::string caption() { return tree_->title(main_); }
    bool captionIs(const std::string& c);
    // Types a dwell interval and switches clicking on with it.
    void enableWithInterval(const std::string& ms);
    Shot screenshot();
    // Rests the pointer on the probe until `n` whole clicks (press and
    // release) have arrived; `spanMs` is the time from the first to the last.
    std::vector<ButtonEvent> clicksAtRest(std::size_t n, double& spanMs);
    // The clicks come once per period: no faster, and not much slower even
    // on a loaded machine.
    void expectClickingEvery(int periodMs);

    std::string dir_;
    // A command the program is started through (its arguments, then the
    // program's command line follow); empty for none.
    std::vector<std::string> launcher_;
    std::string busAddress_ = "disabled:";
    std::unique_ptr<Xvfb> server_;
    std::unique_ptr<ServerPointer> pointer_;
    std::unique_ptr<ProbeWindow> probe_;
    std::unique_ptr<WindowTree> tree_;
    std::unique_ptr<ChildProcess> app_;
    std::unique_ptr<ChildProcess> helper_;
    std::unique_ptr<ChildProcess> wm_;
    XWindow main_ = 0;
};

}  // namespace dwellor::testsupport

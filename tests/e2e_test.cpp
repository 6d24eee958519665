// The program as a user meets it: clicking, the held drag press, one
// instance and its commands, Wayland sessions and the window itself. The
// tray has a suite of its own (tray_e2e_test.cpp).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/e2e.h"
#include "tests/support/squatter.h"

using namespace dwellor::testsupport;
using namespace std::chrono_literals;

namespace {

// ---- Clicking at the chosen period

using E2eClicking = E2eTest;

TEST_F(E2eClicking, TypedIntervalIsThePeriodOfClicksAtTheRestingPointer) {
    ASSERT_FALSE(std::filesystem::exists(settingsPath()));
    startApp();
    ASSERT_EQ(caption(), "Dwellor - Enabled");
    enableWithInterval("200");

    expectClickingEvery(200);
    const auto p = pointer_->query();
    EXPECT_EQ(p.x, kRest.x);
    EXPECT_EQ(p.y, kRest.y);
    EXPECT_FALSE(p.buttonDown(1));
}

TEST_F(E2eClicking, ExitKeepsThePeriodAndThePlaceForTheNextStart) {
    startApp();
    enableWithInterval("200");
    // Dragged elsewhere (with no window manager, moved by xdotool), clear of the probe.
    xdo({"windowmove", std::to_string(main_), "700", "40"});
    ASSERT_TRUE(waitFor([&] { return tree_->origin(main_).x == 700 && tree_->origin(main_).y == 40; }));
    clickAndLeave(onWindow(kExit));
    const auto st = app_->waitExit(kPatience);
    ASSERT_TRUE(st) << "Exit did not end the program";
    EXPECT_EQ(*st, (ExitStatus{0, 0}));
    EXPECT_EQ(readFile(settingsPath()), "[Program]\nDrag=0\nEnabled=True\nInterval=200\nLeft=700\nTop=40\n");

    startApp();
    EXPECT_EQ(caption(), "Dwellor - Enabled");
    EXPECT_TRUE(waitFor([&] { return tree_->origin(main_).x == 700 && tree_->origin(main_).y == 40; }))
        << tree_->origin(main_).x << "," << tree_->origin(main_).y;
    expectClickingEvery(200);
}

TEST_F(E2eClicking, DisabledProgramDoesNotClick) {
    writeSettings("[Program]\nEnabled=False\nInterval=100\n");
    startApp();
    EXPECT_EQ(caption(), "Dwellor - Disabled");
    pointer_->warp(kRest.x, kRest.y);
    // Five periods: any tick would have clicked by then.
    EXPECT_EQ(probe_->collect(1, 500ms), std::vector<ButtonEvent>{});
}

// ---- The Settings window and the countdown, by rests alone

using E2eSettings = E2eTest;

TEST_F(E2eSettings, ThePeriodIsSetByRestsShownStoredAndClickedAt) {
    writeSettings("[Program]\nEnabled=True\nInterval=300\n");
    startApp();
    const auto stored = [&](const std::string& line) {
        return readFile(settingsPath()).find(line + "\n") != std::string::npos;
    };
    pointer_->warp(kSettings.x, kSettings.y);
    XWindow settings = 0;
    ASSERT_TRUE(waitFor([&] { return (settings = tree_->windowTitled("Dwellor Settings")) != 0; }))
        << "no Settings window appeared";
    EXPECT_TRUE(tree_->keptAbove(settings));
    // "+", a rest on a pixel of its own each time.
    const Spot o = tree_->origin(settings);
    const Spot up{o.x + 204 + 24, o.y + 32 + 24};
    for (int step = 1; step <= 3; ++step) {
        pointer_->warp(up.x + 6 * (step - 2), up.y);
        const std::string period = "Interval=" + std::to_string(300 + 100 * step);
        ASSERT_TRUE(waitFor([&] { return stored(period); })) << period;
        // One click a rest: the Settings window is one of the program's own.
        if (step == 1) {
            EXPECT_TRUE(holdsFor([&] { return stored(period); }, 700ms));
        }
    }
    expectClickingEvery(600);
    EXPECT_TRUE(stored("Interval=600"));
    // Text1 shows it: selected there, it is the X selection's text.
    xdo({"mousemove", std::to_string(kText1.x), std::to_string(kText1.y), "click", "--repeat", "2", "1",
         "mousemove", "0", "0"});
    std::string text1;
    EXPECT_TRUE(waitFor([&] { return (text1 = tree_->primarySelection()) == "600"; })) << text1;
}

TEST_F(E2eSettings, TheCountdownRingShowsBesideTheRestAndNeverTakesItsClick) {
    writeSettings("[Program]\nEnabled=True\nInterval=600\nCountdown=True\n");
    startApp();
    pointer_->warp(kRest.x, kRest.y);
    std::vector<XWindow> rings;
    ASSERT_TRUE(waitFor([&] { return !(rings = tree_->unmanagedWindows()).empty(); })) << "no ring appeared";
    ASSERT_EQ(rings.size(), 1u);
    const Box r = tree_->rect(rings[0]);
    EXPECT_FALSE(r.contains(kRest)) << r.x << "," << r.y;
    EXPECT_GE(r.w, 20);
    EXPECT_LE(r.w, 40);
    EXPECT_EQ(leftClicksAtRest(probe_->collect(4, kPatience)), 2);
    // Parked in the corner: no click comes, and the ring goes.
    pointer_->warp(0, 0);
    EXPECT_TRUE(waitFor([&] { return tree_->unmanagedWindows().empty(); }));
}

// ---- A drag press held when the program ends

enum class Ending { ExitButton, QuitCommand, Term, Int, Hup, Quit, Usr1, Alrm, Segv, Kill, WindowKill };

struct EndingCase {
    const char* name;
    int signal;           // sent to the program, or 0
    ExitStatus expected;  // how the program ends
};

EndingCase caseOf(Ending e) {
    switch (e) {
        case Ending::ExitButton: return {"ExitButton", 0, {0, 0}};
        case Ending::QuitCommand: return {"QuitCommand", 0, {0, 0}};
        case Ending::Term: return {"Sigterm", SIGTERM, {0, 0}};
        case Ending::Int: return {"Sigint", SIGINT, {0, 0}};
        case Ending::Hup: return {"Sighup", SIGHUP, {0, 0}};
        case Ending::Quit: return {"Sigquit", SIGQUIT, {0, 0}};
        case Ending::Usr1: return {"Sigusr1", SIGUSR1, {0, 0}};
        case Ending::Alrm: return {"Sigalrm", SIGALRM, {0, 0}};
        // No code of the program's survives these: its guardian lets go.
        case Ending::Segv: return {"Sigsegv", SIGSEGV, {-1, SIGSEGV}};
        case Ending::Kill: return {"Sigkill", SIGKILL, {-1, SIGKILL}};
        // Qt calls exit(1) when its connection is killed.
        case Ending::WindowKill: return {"WindowKill", 0, {1, 0}};
    }
    return {"?", 0, {}};
}
void PrintTo(Ending e, std::ostream* os) { *os << caseOf(e).name; }

class E2eHeldButton : public E2eTest, public ::testing::WithParamInterface<Ending> {};

// Holds a process stopped for as long as it lives.
class Stopped {
public:
    explicit Stopped(pid_t pid) : pid_(pid) { kill(pid_, SIGSTOP); }
    ~Stopped() { kill(pid_, SIGCONT); }
    Stopped(const Stopped&) = delete;
    Stopped& operator=(const Stopped&) = delete;

private:
    pid_t pid_;
};

TEST_P(E2eHeldButton, IsReleasedWhenTheProgramEnds) {
    const EndingCase c = caseOf(GetParam());
    std::vector<std::string> env;
    if (GetParam() == Ending::Segv) {
        // AddressSanitizer would catch the signal and exit instead of dying by it.
        env.push_back("ASAN_OPTIONS=detect_leaks=0:handle_segv=0");
        const rlimit noCore{0, 0};
        ASSERT_EQ(setrlimit(RLIMIT_CORE, &noCore), 0);
    }
    // Dragging on: the first rest presses, the next one releases.
    writeSettings("[Program]\nDrag=1\nEnabled=True\nInterval=200\n");
    startApp({}, true, env);
    const std::vector<pid_t> guardian = childrenOf(app_->pid());
    ASSERT_EQ(guardian.size(), 1u) << "no guardian process";
    // In every other ending the program's own code still runs and must
    // release the press itself: its guardian is held still meanwhile.
    std::optional<Stopped> stopped;
    if (c.signal != SIGSEGV && c.signal != SIGKILL) {
        stopped.emplace(guardian[0]);
        ASSERT_TRUE(waitFor([&] { return processState(guardian[0]) == 'T'; })) << "the guardian did not stop";
    }
    if (GetParam() == Ending::ExitButton) {
        // Focus goes into the window before the press: with the button down,
        // the pointer belongs to the probe and Exit is reached by keyboard.
        clickAndLeave(kText1);
    }

    pointer_->warp(kRest.x, kRest.y);
    auto events = probe_->collect(1, kPatience);
    ASSERT_EQ(events, std::vector<ButtonEvent>{at(1, true, kRest)});
    // The corner holds the engine still, the press stays.
    pointer_->warp(0, 0);
    ASSERT_EQ(probe_->collect(), std::vector<ButtonEvent>{}) << "released before the pointer left";
    ASSERT_TRUE(pointer_->query().buttonDown(1));

    if (GetParam() == Ending::ExitButton) {
        // Tab order from Text1 back to Exit.
        xdo({"key", "shift+Tab", "space"});
    } else if (GetParam() == Ending::QuitCommand) {
        ASSERT_EQ(runToEnd({"--quit"}), (ExitStatus{0, 0}));
    } else if (GetParam() == Ending::WindowKill) {
        xdo({"windowkill", std::to_string(main_)});
    } else {
        app_->signal(c.signal);
    }
    const auto st = app_->waitExit(kPatience);
    ASSERT_TRUE(st) << "the program did not end";
    EXPECT_EQ(*st, c.expected);
    // The release may still be on its way through the server.
    EXPECT_TRUE(waitFor([&] { return !pointer_->query().buttonDown(1); }, 1000ms)) << "button 1 left down";
    events = probe_->collect();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].button, 1u);
    EXPECT_FALSE(events[0].press);
    stopped.reset();
    EXPECT_TRUE(waitFor([&] { return processEnded(guardian[0]); }, 1000ms)) << "the guardian outlived the program";

    if (GetParam() == Ending::WindowKill) {
        const std::string log = readFile(dir_ + "/dwellor.log");
        EXPECT_EQ(log.find("Did the X11 server die?"), std::string::npos) << log;
        EXPECT_NE(log.find("the X server is still running"), std::string::npos) << log;
    }
}

INSTANTIATE_TEST_SUITE_P(Endings, E2eHeldButton,
                         ::testing::Values(Ending::ExitButton, Ending::QuitCommand, Ending::Term, Ending::Int, Ending::Hup, Ending::Quit,
                                           Ending::Usr1, Ending::Alrm, Ending::Segv, Ending::Kill,
                                           Ending::WindowKill),
                         [](const ::testing::TestParamInfo<Ending>& i) { return std::string(caseOf(i.param).name); });

TEST_F(E2eHeldButton, AGuardianThatEndsIsReapedAndToldOfAndClickingGoesOn) {
    writeSettings("[Program]\nEnabled=True\nInterval=200\n");
    startApp();
    const std::vector<pid_t> guardian = childrenOf(app_->pid());
    ASSERT_EQ(guardian.size(), 1u);
    ASSERT_EQ(kill(guardian[0], SIGKILL), 0);
    EXPECT_TRUE(waitFor([&] { return !std::filesystem::exists("/proc/" + std::to_string(guardian[0])); }))
        << "the guardian was not reaped";
    EXPECT_TRUE(waitFor([&] { return readFile(dir_ + "/dwellor.log").find("guardian process has ended") != std::string::npos; }));
    expectClickingEvery(200);
}

// ---- A drag press held when clicking is paused

enum class PauseBy { DisableCommand, ToggleCommand, EditText1 };
const char* pauseName(PauseBy p) {
    return p == PauseBy::DisableCommand ? "DisableCommand" : p == PauseBy::ToggleCommand ? "ToggleCommand" : "EditText1";
}
class E2ePause : public E2eTest, public ::testing::WithParamInterface<PauseBy> {};

TEST_P(E2ePause, ReleasesTheHeldPressWithinAPeriod) {
    writeSettings("[Program]\nDrag=1\nEnabled=True\nInterval=200\n");
    startApp();
    // With the button down the pointer belongs to the probe: typing needs the focus first.
    if (GetParam() == PauseBy::EditText1) clickAndLeave(kText1);
    pointer_->warp(kRest.x, kRest.y);
    ASSERT_EQ(probe_->collect(1, kPatience), std::vector<ButtonEvent>{at(1, true, kRest)});
    pointer_->warp(0, 0);  // the corner holds the engine still
    ASSERT_TRUE(pointer_->query().buttonDown(1));

    switch (GetParam()) {
        case PauseBy::DisableCommand: ASSERT_EQ(runToEnd({"--disable"}), (ExitStatus{0, 0})); break;
        case PauseBy::ToggleCommand: ASSERT_EQ(runToEnd({"--toggle"}), (ExitStatus{0, 0})); break;
        case PauseBy::EditText1: xdo({"key", "0"}); break;
    }
    EXPECT_TRUE(captionIs("Dwellor - Disabled"));
    EXPECT_TRUE(waitFor([&] { return !pointer_->query().buttonDown(1); }, 200ms)) << "button 1 still held";
    EXPECT_TRUE(app_->running());
}

INSTANTIATE_TEST_SUITE_P(Ways, E2ePause,
                         ::testing::Values(PauseBy::DisableCommand, PauseBy::ToggleCommand, PauseBy::EditText1),
                         [](const ::testing::TestParamInfo<PauseBy>& i) { return std::string(pauseName(i.param)); });

using E2eSignals = E2eTest;

TEST_F(E2eSignals, SigpipeLeavesTheProgramClicking) {
    writeSettings("[Program]\nEnabled=True\nInterval=200\n");
    startApp();
    ASSERT_TRUE(app_->signal(SIGPIPE));
    pointer_->warp(kRest.x, kRest.y);
    // Two clicks: the first tick only notes the position, so at least two
    // whole periods pass after the signal.
    const auto events = probe_->collect(4, kPatience);
    EXPECT_EQ(leftClicksAtRest(events), 2);
    EXPECT_TRUE(app_->running());
}

// ---- Settings files that are not ours

enum class Odd { Fifo, DeviceSymlink, Folder, Big };

std::string nameOf(Odd o) {
    switch (o) {
        case Odd::Fifo: return "Fifo";
        case Odd::DeviceSymlink: return "SymlinkToADevice";
        case Odd::Folder: return "Folder";
        case Odd::Big: return "FiftyMegabytes";
    }
    return "?";
}
void PrintTo(Odd o, std::ostream* os) { *os << nameOf(o); }

// What identifies a file and its content without opening a special one.
struct Identity {
    ino_t inode = 0;
    mode_t mode = 0;
    dev_t rdev = 0;
    off_t size = 0;
    std::string linkTarget;
    std::size_t contentHash = 0;  // regular files only
    friend bool operator==(const Identity&, const Identity&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Identity& i) {
        return os << "inode " << i.inode << " mode " << std::oct << i.mode << std::dec << " rdev " << i.rdev
                  << " size " << i.size << " link '" << i.linkTarget << "' hash " << i.contentHash;
    }
};

Identity identify(const std::string& path) {
    Identity id;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return id;
    id.inode = st.st_ino;
    id.mode = st.st_mode;
    id.rdev = st.st_rdev;
    id.size = st.st_size;
    if (S_ISLNK(st.st_mode)) id.linkTarget = std::filesystem::read_symlink(path);
    if (S_ISREG(st.st_mode)) id.contentHash = std::hash<std::string>{}(readFile(path));
    return id;
}

class E2eOddSettings : public E2eTest, public ::testing::WithParamInterface<Odd> {};

TEST_P(E2eOddSettings, GiveTheDefaultsAtOnceAndAreLeftAlone) {
    const std::string folder = dir_ + "/home/Dwellor";
    std::filesystem::create_directories(folder);
    std::string watched = settingsPath();
    switch (GetParam()) {
        case Odd::Fifo: ASSERT_EQ(mkfifo(settingsPath().c_str(), 0644), 0); break;
        case Odd::DeviceSymlink:
            // The numbers of /dev/null, made here: a write through the link
            // used to replace the node with a regular file.
            watched = dir_ + "/null";
            if (mknod(watched.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
                if (errno == EPERM) GTEST_SKIP() << "making a device node needs root";
                FAIL() << "mknod failed";
            }
            std::filesystem::create_symlink(watched, settingsPath());
            break;
        case Odd::Folder: std::filesystem::create_directory(settingsPath()); break;
        case Odd::Big: {
            // Valid settings up front: none of them may be taken.
            std::string text = "[Program]\nDrag=1\nEnabled=False\nInterval=300\n";
            text.resize(50 * 1000 * 1000, '#');
            std::ofstream(settingsPath()) << text;
            break;
        }
    }
    const Identity link = identify(settingsPath()), before = identify(watched);

    const auto start = Clock::now();
    startApp();
    const auto took = Clock::now() - start;
    RecordProperty("startup_ms", static_cast<int>(std::chrono::duration_cast<milliseconds>(took).count()));
    // Far below what a blocking read or a waited-on lock costs (for good, or
    // half a minute), and loose enough for the sanitizers on a loaded machine.
    EXPECT_LT(took, 3000ms) << "start-up took " << std::chrono::duration<double, std::milli>(took).count() << " ms";
    EXPECT_EQ(caption(), "Dwellor - Enabled");

    // Each Toggle saves the run state, switching on also the period and the drag option.
    clickAndLeave(kToggle);
    EXPECT_TRUE(captionIs("Dwellor - Disabled"));
    clickAndLeave(kToggle);
    EXPECT_TRUE(captionIs("Dwellor - Enabled"));
    clickAndLeave(kExit);
    const auto st = app_->waitExit(kPatience);
    ASSERT_TRUE(st) << "Exit did not end the program";
    EXPECT_EQ(*st, (ExitStatus{0, 0}));

    EXPECT_EQ(identify(settingsPath()), link);
    EXPECT_EQ(identify(watched), before);
    const std::string log = readFile(dir_ + "/dwellor.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(log.find(GetParam() == Odd::Big ? "larger than 64 KiB" : "is not a regular file"), std::string::npos)
        << log;
}

INSTANTIATE_TEST_SUITE_P(Kinds, E2eOddSettings, ::testing::Values(Odd::Fifo, Odd::DeviceSymlink, Odd::Folder, Odd::Big),
                         [](const ::testing::TestParamInfo<Odd>& i) { return nameOf(i.param); });

// A lock left by a write that was killed: the window neither starts late
// nor stops answering, and the write lands.
TEST_F(E2eOddSettings, AnEmptyLockBesideTheFileHoldsNothingUp) {
    writeSettings("[Program]\nDrag=1\nEnabled=True\nInterval=200\n");
    std::ofstream(settingsPath() + ".lock").flush();
    const auto started = Clock::now();
    startApp();
    EXPECT_LT(Clock::now() - started, 3000ms);
    ASSERT_TRUE(captionIs("Dwellor - Enabled"));
    // Bounds for a loaded machine, far below the 30 s such a lock once cost.
    const auto toggled = Clock::now();
    clickAndLeave(kToggle);
    EXPECT_TRUE(waitFor([&] { return caption() == "Dwellor - Disabled"; }, 1500ms));
    EXPECT_LT(Clock::now() - toggled, 1500ms);
    EXPECT_TRUE(waitFor([&] { return readFile(settingsPath()).find("Enabled=False") != std::string::npos; }));
}

// Some launchers start programs with no standard streams at all.
TEST_F(E2eOddSettings, ClosedStandardStreamsAndAFifoForSettingsStillClickAndEndOnSigterm) {
    std::filesystem::create_directories(dir_ + "/home/Dwellor");
    ASSERT_EQ(mkfifo(settingsPath().c_str(), 0644), 0);
    app_ = std::make_unique<ChildProcess>();
    app_->spawn({"sh", "-c", "exec \"$0\" --hidden <&- >&- 2>&-", DWELLOR_BINARY}, appEnv());
    ASSERT_TRUE(waitFor([&] {
        main_ = tree_->mainWindow();
        return main_ && tree_->viewable(main_);
    })) << "the window did not appear";
    pointer_->warp(kRest.x, kRest.y);
    EXPECT_EQ(leftClicksAtRest(probe_->collect(2, kPatience)), 1);
    ASSERT_TRUE(app_->signal(SIGTERM));
    const auto st = app_->waitExit(kPatience);
    ASSERT_TRUE(st) << "SIGTERM did not end it";
    EXPECT_EQ(*st, (ExitStatus{0, 0}));
}

// ---- A person who can only dwell

using E2eDwelling = E2eTest;

TEST_F(E2eDwelling, ARestOnToggleSwitchesOffOnceAndTheNextRestThereSwitchesBackOn) {
    writeSettings("[Program]\nEnabled=True\nInterval=200\n");
    startApp();
    pointer_->warp(kToggle.x, kToggle.y);
    ASSERT_TRUE(captionIs("Dwellor - Disabled"));
    EXPECT_TRUE(holdsFor([&] { return caption() == "Dwellor - Disabled"; }, 600ms)) << "switched on again by itself";
    // Off and back to another spot of it (a move that comes back to the very
    // pixel between two ticks is a rest): asleep, not locked out.
    pointer_->warp(kText1.x, kText1.y);
    EXPECT_TRUE(holdsFor([&] { return caption() == "Dwellor - Disabled"; }, 300ms));
    pointer_->warp(kToggle.x + 2, kToggle.y + 1);
    ASSERT_TRUE(captionIs("Dwellor - Enabled"));
    EXPECT_TRUE(holdsFor([&] { return caption() == "Dwellor - Enabled"; }, 600ms)) << "switched off again by itself";
    // Nothing outside the window is clicked while off.
    pointer_->warp(kText1.x, kText1.y);
    EXPECT_TRUE(holdsFor([&] { return caption() == "Dwellor - Enabled"; }, 300ms));
    pointer_->warp(kToggle.x, kToggle.y);
    ASSERT_TRUE(captionIs("Dwellor - Disabled"));
    pointer_->warp(kRest.x, kRest.y);
    EXPECT_EQ(probe_->collect(1, 600ms), std::vector<ButtonEvent>{});
}

TEST_F(E2eDwelling, ARestOnTheDragOptionChangesItOnceHoweverLongTheRest) {
    writeSettings("[Program]\nEnabled=True\nInterval=200\n");
    startApp();
    pointer_->warp(kCheck2.x, kCheck2.y);
    const auto dragOn = [&] { return readFile(settingsPath()).find("Drag=1") != std::string::npos; };
    ASSERT_TRUE(waitFor(dragOn));
    EXPECT_TRUE(holdsFor(dragOn, 1000ms)) << "the option flipped back while the pointer rested";
}

// With dragging on, a rest on Dwellor's own window is a plain click: a
// press held there for the drag period, which a drift of the pointer
// cancelled, is no way to press a button.
TEST_F(E2eDwelling, WithDraggingOnARestOnToggleIsAPlainClick) {
    writeSettings("[Program]\nDrag=1\nEnabled=True\nInterval=400\n");
    startApp();
    pointer_->warp(kToggle.x, kToggle.y);
    bool held = false;
    EXPECT_TRUE(waitFor([&] {
        held = held || pointer_->query().buttonDown(1);
        return caption() == "Dwellor - Disabled";
    }));
    EXPECT_FALSE(held) << "a press was held on Toggle";
}

TEST_F(E2eDwelling, ARestOnExitAsksAndARestOnExitDwellorEnds) {
    writeSettings("[Program]\nEnabled=True\nInterval=200\n");
    startApp();
    pointer_->warp(kExit.x, kExit.y);
    XWindow prompt = 0;
    ASSERT_TRUE(waitFor([&] { return (prompt = tree_->promptWindow()) != 0; }))
        << "no question appeared; " << (app_->running() ? "still running" : "it ended");
    EXPECT_TRUE(app_->running());
    EXPECT_TRUE(tree_->keptAbove(prompt));
    // Beside the pointer, not under it.
    const Spot o = tree_->origin(prompt);
    EXPECT_TRUE(o.x > kExit.x || o.y > kExit.y) << o.x << "," << o.y;
    // "Exit Dwellor" is the left one of the two buttons.
    pointer_->warp(o.x + 12 + 75, o.y + 12 + 32);
    const auto st = app_->waitExit(kPatience);
    ASSERT_TRUE(st) << "a rest on Exit Dwellor did not end it";
    EXPECT_EQ(*st, (ExitStatus{0, 0}));
}

// ---- One instance per display, and commands to it

using E2eInstance = E2eTest;

TEST_F(E2eInstance, ASecondStartShowsTheFirstFromTheTrayAndAddsNoClicks) {
    startTrayer();
    writeSettings("[Program]\nEnabled=False\nInterval=200\n");
    startApp();
    clickAndLeave(kHide);
    ASSERT_TRUE(waitFor([&] { return tree_->trayIcons().size() == 1 && !tree_->viewable(main_); }));

    EXPECT_EQ(runToEnd({}), (ExitStatus{0, 0}));
    EXPECT_TRUE(waitFor([&] { return tree_->viewable(main_) && tree_->trayIcons().empty(); }))
        << "the running instance did not come back from the tray";
    EXPECT_TRUE(app_->running());

    // Switched on, a resting pointer gets one click per tick: a second
    // clicking process would double them.
    ASSERT_EQ(runToEnd({"--enable"}), (ExitStatus{0, 0}));
    expectClickingEvery(200);
}

TEST_F(E2eInstance, CommandsReachTheRunningInstanceAndNeedOne) {
    for (const char* c : {"--toggle", "--enable", "--disable", "--show", "--quit"}) {
        std::string out;
        EXPECT_EQ(runToEnd({c}, &out), (ExitStatus{1, 0})) << c;
        EXPECT_EQ(out, "dwellor: Dwellor is not running on display " + server_->display() + ".\n");
    }
    startApp();
    ASSERT_EQ(caption(), "Dwellor - Enabled");
    EXPECT_EQ(runToEnd({"--toggle"}), (ExitStatus{0, 0}));
    EXPECT_TRUE(captionIs("Dwellor - Disabled"));
    EXPECT_EQ(readFile(settingsPath()), "[Program]\nEnabled=False\n");

    // Already off: nothing is done, not even a write of the same file.
    const auto written = std::filesystem::last_write_time(settingsPath());
    EXPECT_EQ(runToEnd({"--disable"}), (ExitStatus{0, 0}));
    EXPECT_EQ(std::filesystem::last_write_time(settingsPath()), written);
    EXPECT_EQ(runToEnd({"--enable"}), (ExitStatus{0, 0}));
    EXPECT_TRUE(captionIs("Dwellor - Enabled"));
    EXPECT_EQ(readFile(settingsPath()), "[Program]\nDrag=0\nEnabled=True\nInterval=1000\n");

    // Killed outright, it leaves its lock and socket behind; the next start runs all the same.
    app_->signal(SIGKILL);
    ASSERT_TRUE(app_->waitExit(kPatience));
    ASSERT_TRUE(waitFor([&] { return tree_->mainWindow() == 0; }));
    startApp();
    EXPECT_EQ(runToEnd({"--quit"}), (ExitStatus{0, 0}));
    EXPECT_TRUE(app_->waitExit(kPatience)) << "--quit did not end it";
}

TEST_F(E2eInstance, HiddenStartGoesToTheTrayWhenThereIsOne) {
    startApp({"--hidden"});  // no tray: shown as usual
    clickAndLeave(kExit);
    ASSERT_TRUE(app_->waitExit(kPatience));

    startTrayer();
    startApp({"--hidden"}, false);
    ASSERT_TRUE(waitFor([&] { return tree_->trayIcons().size() == 1; })) << "no icon";
    main_ = tree_->mainWindow();
    EXPECT_TRUE(main_ == 0 || !tree_->viewable(main_));
    // A hidden start while it runs (a second login autostart) leaves it be.
    EXPECT_EQ(runToEnd({"--hidden"}), (ExitStatus{0, 0}));
    EXPECT_EQ(tree_->trayIcons().size(), 1u);
    EXPECT_EQ(runToEnd({"--show"}), (ExitStatus{0, 0}));
    EXPECT_TRUE(waitFor([&] {
        main_ = tree_->mainWindow();
        return main_ && tree_->viewable(main_) && tree_->trayIcons().empty();
    }));
}

TEST_F(E2eInstance, ALockRemovedUnderTheInstanceStillLeavesOneClicker) {
    writeSettings("[Program]\nEnabled=True\nInterval=200\n");
    startApp();
    // A /tmp cleaner takes the lock file and the socket.
    for (const auto& entry : std::filesystem::directory_iterator(dir_ + "/runtime"))
        std::filesystem::remove(entry.path());
    EXPECT_EQ(runToEnd({}), (ExitStatus{0, 0})) << "a second start did not find the first";
    // The same server spelled another way.
    EXPECT_EQ(runToEnd({}, nullptr, {"DISPLAY=:0" + server_->display().substr(1) + ".0"}), (ExitStatus{0, 0}));
    // Two clickers would give two clicks a period.
    expectClickingEvery(200);
    EXPECT_TRUE(app_->running());
}

enum class BadLock { Empty, Garbage, ReadOnlyFolder };

std::string nameOf(BadLock b) {
    switch (b) {
        case BadLock::Empty: return "Empty";
        case BadLock::Garbage: return "Garbage";
        case BadLock::ReadOnlyFolder: return "ReadOnlyFolder";
    }
    return "?";
}
void PrintTo(BadLock b, std::ostream* os) { *os << nameOf(b); }

// Starts in a way that once meant a 5 s wait and "does not answer".
class E2eOddGuard : public E2eTest {
protected:
    // It starts at once and is the instance all the same: a second start
    // finds it, and --quit ends it. Its log is one line with `said`, or empty.
    void expectStartsAtOnceAsTheInstance(const std::string& said) {
        const auto started = Clock::now();
        startApp();
        EXPECT_LT(Clock::now() - started, 3s);
        EXPECT_EQ(runToEnd({}), (ExitStatus{0, 0}));
        EXPECT_EQ(runToEnd({"--quit"}), (ExitStatus{0, 0}));
        ASSERT_TRUE(app_->waitExit(kPatience)) << "--quit did not end it";
        const std::string log = readFile(dir_ + "/dwellor.log");
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), said.empty() ? 0 : 1) << log;
        EXPECT_NE(log.find(said), std::string::npos) << log;
    }
};

class E2eUntakenLock : public E2eOddGuard, public ::testing::WithParamInterface<BadLock> {};

// Runs the program in a mount namespace of its own where `dir` is read-only;
// false when this machine allows no such namespace.
bool readOnlyLauncher(const std::string& dir, std::vector<std::string>& launcher) {
    launcher = {"unshare", "--mount"};
    if (geteuid() != 0) launcher.push_back("--map-root-user");
    launcher.insert(launcher.end(), {"sh", "-c", R"(mount -o bind,ro "$0" "$0" && exec "$@")", dir});
    std::vector<std::string> probe = launcher;
    probe.insert(probe.end(), {"sh", "-c", R"(! touch "$0/probe" 2>/dev/null)", dir});
    ChildProcess p;
    p.spawn(probe, {}, "/dev/null");
    const auto st = p.waitExit(10s);
    return st && *st == (ExitStatus{0, 0});
}

TEST_P(E2eUntakenLock, IsNoInstanceAndTheStartGoesOnAtOnce) {
    const std::string runtime = dir_ + "/runtime";
    std::ofstream lock(runtime + "/dwellor-" + server_->display().substr(1) + ".lock");
    if (GetParam() != BadLock::Empty) lock << "\x01\xff not a lock\n";
    lock.close();
    if (GetParam() == BadLock::ReadOnlyFolder && !readOnlyLauncher(runtime, launcher_))
        GTEST_SKIP() << "no mount namespaces here";

    expectStartsAtOnceAsTheInstance(GetParam() == BadLock::ReadOnlyFolder ? "dwellor: no instance lock: " : "");
}

INSTANTIATE_TEST_SUITE_P(Kinds, E2eUntakenLock,
                         ::testing::Values(BadLock::Empty, BadLock::Garbage, BadLock::ReadOnlyFolder),
                         [](const ::testing::TestParamInfo<BadLock>& i) { return nameOf(i.param); });

enum class Squat { Deaf, OtherUser };
void PrintTo(Squat q, std::ostream* os) { *os << (q == Squat::Deaf ? "Deaf" : "OtherUser"); }
class E2eSquattedName : public E2eOddGuard, public ::testing::WithParamInterface<Squat> {};

// Any local user may bind the instance name first: bound without listening,
// or listening as another user. That proves nothing, and the lock decides.
TEST_P(E2eSquattedName, StopsNoStartAndTheLockStillFindsTheInstance) {
    const bool other = GetParam() == Squat::OtherUser;
    if (other && geteuid() != 0) GTEST_SKIP() << "needs root to listen as another user";
    Squatter squatter("dwellor-" + std::to_string(geteuid()) + "-" + server_->display().substr(1), other,
                      other ? 65534 : geteuid());
    ASSERT_TRUE(squatter.holding());
    expectStartsAtOnceAsTheInstance("; the instance lock alone keeps a second Dwellor out.");
}

INSTANTIATE_TEST_SUITE_P(Squatters, E2eSquattedName, ::testing::Values(Squat::Deaf, Squat::OtherUser),
                         [](const ::testing::TestParamInfo<Squat>& i) {
                             return std::string(i.param == Squat::Deaf ? "Deaf" : "OtherUser");
                         });

TEST_F(E2eInstance, AConnectionFloodDoesNotStallClicking) {
    writeSettings("[Program]\nEnabled=True\nInterval=200\n");
    startApp();
    const std::string socket = dir_ + "/runtime/dwellor-" + server_->display().substr(1) + ".socket";
    ASSERT_TRUE(std::filesystem::exists(socket));
    pointer_->warp(kRest.x, kRest.y);
    ASSERT_EQ(probe_->collect(2, kPatience).size(), 2u) << "no clicks before the flood";

    // Short connections, each closed at once, as fast as the instance takes them.
    std::atomic<bool> flooding{true};
    std::atomic<int> made{0};
    std::thread flood([&] {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        socket.copy(addr.sun_path, sizeof addr.sun_path - 1);
        const auto end = Clock::now() + 3s;
        while (Clock::now() < end) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) ++made;
            close(fd);
        }
        flooding = false;
    });
    // Through the flood and the idle timeout of its last connections, each
    // period brings its click: no gap of two periods.
    std::optional<Clock::time_point> quiet;
    int gaps = 0;
    while (!quiet || Clock::now() < *quiet + 6s) {
        if (probe_->collect(1, 400ms).empty()) ++gaps;
        if (!quiet && !flooding) quiet = Clock::now();
    }
    flood.join();
    EXPECT_GT(made, 1000) << "the flood did not get through";
    EXPECT_EQ(gaps, 0);
}

// ---- Wayland sessions, where the X server cannot see the pointer

using E2eWayland = E2eTest;

const std::string kWaylandRefusal = "Dwellor cannot work in a Wayland session";

TEST_F(E2eWayland, AWaylandSessionIsRefusedUnlessAllowed) {
    std::string out;
    EXPECT_EQ(runToEnd({}, &out, {"WAYLAND_DISPLAY=wayland-0"}), (ExitStatus{1, 0}));
    EXPECT_TRUE(out.starts_with(kWaylandRefusal)) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_EQ(runToEnd({}, &out, {"XDG_SESSION_TYPE=wayland"}), (ExitStatus{1, 0}));
    EXPECT_EQ(tree_->mainWindow(), 0u) << "a window was opened before the refusal";

    startApp({"--allow-xwayland"}, true, {"WAYLAND_DISPLAY=wayland-0"});
    EXPECT_EQ(runToEnd({"--quit"}), (ExitStatus{0, 0}));
    EXPECT_TRUE(app_->waitExit(kPatience));
}

TEST_F(E2eWayland, ARealXWaylandServerIsRecognised) {
    // A headless Wayland compositor with XWayland, and nothing in the
    // environment that tells of Wayland: the server itself must.
    ChildProcess weston;
    weston.spawn({"weston", "--backend=headless-backend.so", "--xwayland", "--socket=dwellor-test", "--idle-time=0"},
                 {"XDG_RUNTIME_DIR=" + dir_ + "/runtime", "WAYLAND_DISPLAY", "DISPLAY"}, dir_ + "/weston.log");
    std::string display;
    ASSERT_TRUE(waitFor([&] {
        const std::string log = readFile(dir_ + "/weston.log");
        const auto at = log.find("xserver listening on display ");
        if (at == std::string::npos) return false;
        display = log.substr(at + 29, log.find('\n', at) - at - 29);
        return true;
    })) << readFile(dir_ + "/weston.log");

    std::string out;
    EXPECT_EQ(runToEnd({}, &out, {"DISPLAY=" + display}), (ExitStatus{1, 0})) << out;
    EXPECT_TRUE(out.starts_with(kWaylandRefusal)) << out;
}

// ---- One display for the window, the pointer and the clicks

using E2eDisplay = E2eTest;

TEST_F(E2eDisplay, ADisplayOptionAndAForeignPlatformStillGiveOneDisplay) {
    writeSettings("[Program]\nEnabled=True\nInterval=200\n");
    // The environment names a display that does not exist and a platform
    // with no window at all: the option wins, and the window is an X11 one.
    const std::vector<std::string> misleading{"DISPLAY=:4711", "QT_QPA_PLATFORM=offscreen"};
    startApp({"-display", server_->display()}, true, misleading);
    expectClickingEvery(200);
    EXPECT_EQ(runToEnd({"--quit", "--display", server_->display()}, nullptr, misleading), (ExitStatus{0, 0}));
    EXPECT_TRUE(app_->waitExit(kPatience));
}

// ---- The mode labels

using E2eWindow = E2eTest;

TEST_F(E2eWindow, SelectedModeLabelIsRed) {
    writeSettings("[Program]\nEnabled=False\n");
    startApp();
    Shot s;
    EXPECT_TRUE(waitFor([&] {
        s = screenshot();
        return isRed(s, kLeftLabel);
    })) << "L is not red";
    EXPECT_TRUE(isColourless(s, kDoubleLabel));
    EXPECT_TRUE(isColourless(s, kRightLabel));

    clickAndLeave(kLabel6);
    EXPECT_TRUE(waitFor([&] {
        s = screenshot();
        return isRed(s, kRightLabel) && isColourless(s, kLeftLabel);
    })) << "R did not take over from L";
    EXPECT_TRUE(isColourless(s, kDoubleLabel));
}

// ---- Dwelling on Dwellor's own window

TEST_F(E2eWindow, RestingOnAModeLabelSelectsItInRightMode) {
    writeSettings("[Program]\nEnabled=True\nInterval=200\n");
    startApp();
    clickAndLeave(kLabel6, kLabel4);  // Right, then rest on "L"
    EXPECT_TRUE(waitFor([&] {
        const Shot s = screenshot();
        return isRed(s, kLeftLabel) && isColourless(s, kRightLabel);
    })) << "a rest on L did not select Left";
    pointer_->warp(0, 0);
}

TEST_F(E2eWindow, RestingOnToggleInDoubleModeTogglesOnce) {
    writeSettings("[Program]\nEnabled=True\nInterval=200\n");
    startApp();
    clickAndLeave(kLabel7, kToggle);  // Double, then rest on Toggle
    ASSERT_TRUE(captionIs("Dwellor - Disabled"));
    // A double click would switch it straight back on; watch two periods.
    EXPECT_TRUE(holdsFor([&] { return caption() == "Dwellor - Disabled"; }, 400ms));
    EXPECT_EQ(readFile(settingsPath()), "[Program]\nEnabled=False\nInterval=200\n");
}

}  // namespace

namespace {

// ---- Steady rest: a tracker's pointer, moved as a device moves it (XTEST)

using E2eSteady = E2eTest;

// Moves along a straight line from `a` to `b` at about `pxPerSecond`, 60
// moves a second, calling `each` after every move.
void glide(ServerPointer& p, Spot a, Spot b, double pxPerSecond, const std::function<void()>& each = {}) {
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    const int steps = std::max(1, static_cast<int>(length / pxPerSecond * 60));
    for (int i = 1; i <= steps; ++i) {
        p.move(a.x + (b.x - a.x) * i / steps, a.y + (b.y - a.y) * i / steps);
        if (each) each();
        std::this_thread::sleep_for(16ms);
    }
}

// Stays within `amp` px of `at`, never still to the pixel, for `span`.
void tremble(ServerPointer& p, Spot at, int amp, milliseconds span, const std::function<void()>& each = {}) {
    const auto end = Clock::now() + span;
    for (int i = 0; Clock::now() < end; ++i) {
        p.move(at.x + (i % (2 * amp + 1)) - amp, at.y + ((i * 7) % (2 * amp + 1)) - amp);
        if (each) each();
        std::this_thread::sleep_for(16ms);
    }
}

TEST_F(E2eSteady, ATremblingRestGetsOneClickAPeriodAfterItSettledAndTravelNone) {
    writeSettings("[Program]\nEnabled=True\nInterval=600\nSteady=True\n");
    startApp();
    const Spot left{kProbeX + 20, kRest.y}, right{kProbeX + 380, kRest.y};
    pointer_->move(left.x, left.y);
    glide(*pointer_, left, right, 500);
    glide(*pointer_, right, left, 500);
    EXPECT_EQ(probe_->collect(), std::vector<ButtonEvent>{}) << "travel was clicked";

    glide(*pointer_, left, {kRest.x, kRest.y}, 500);
    const auto settled = Clock::now();
    std::vector<ButtonEvent> events;
    std::optional<Clock::duration> firstClick;
    tremble(*pointer_, {kRest.x, kRest.y}, 3, 2000ms, [&] {
        for (const ButtonEvent& e : probe_->collect()) {
            if (!firstClick) firstClick = Clock::now() - settled;
            events.push_back(e);
        }
    });
    for (const ButtonEvent& e : probe_->collect()) events.push_back(e);
    // One click where it rests, however long it trembles.
    ASSERT_EQ(events.size(), 2u);
    for (const ButtonEvent& e : events) {
        EXPECT_EQ(e.button, 1u);
        EXPECT_LE(std::abs(e.rootX - kRest.x) + std::abs(e.rootY - kRest.y), 6);
    }
    EXPECT_TRUE(events[0].press && !events[1].press);
    ASSERT_TRUE(firstClick);
    EXPECT_GE(*firstClick, 600ms - 20ms);
    EXPECT_LE(*firstClick, 600ms + 500ms);  // a loaded machine, the sanitizers
}

// The press at a rest, then a slow start, then the release at the next rest.
TEST_F(E2eSteady, ADragWaitsForTheSlowStartAndEndsWhereThePointerRests) {
    writeSettings("[Program]\nDrag=1\nEnabled=True\nInterval=600\nSteady=True\n");
    startApp();
    const Spot a{kProbeX + 60, kRest.y}, b{kProbeX + 260, kRest.y};
    pointer_->move(a.x + 40, a.y);
    glide(*pointer_, {a.x + 40, a.y}, a, 200);
    tremble(*pointer_, a, 2, 1500ms);
    glide(*pointer_, a, b, 60);
    tremble(*pointer_, b, 2, 1000ms);
    const std::vector<ButtonEvent> events = probe_->collect(2, kPatience);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[0].press);
    EXPECT_LE(std::abs(events[0].rootX - a.x), 6);
    EXPECT_FALSE(events[1].press);
    EXPECT_LE(std::abs(events[1].rootX - b.x), 6);
}

}  // namespace

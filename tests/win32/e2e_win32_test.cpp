// dwellor.exe as a user meets it, under Wine on the run's Xvfb: clicks land
// in a probe window of this program (SendInput reaches Wine windows only),
// the pointer is moved with SetCursorPos, Dwellor's buttons are pressed with
// posted BM_CLICKs, its settings are read from the registry.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

constexpr milliseconds kPatience{8000};
constexpr int kText2Id = 106;  // controls are numbered from 100 in the order they are made
const wchar_t* const kKey = L"Software\\VB and VBA Program Settings\\Dwellor\\Program";

bool waitFor(const std::function<bool()>& done, milliseconds timeout = kPatience) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (done()) return true;
        if (Clock::now() >= deadline) return false;
        Sleep(5);
    }
}

struct Event {
    UINT message;
    POINT at;  // on the screen
    Clock::time_point when;
};

// A window of our own that records the button messages it gets, on a thread
// of its own so that it answers while the test waits.
class Probe {
public:
    static constexpr RECT kRect{400, 300, 800, 600};
    Probe() {
        thread_ = std::thread([this] { run(); });
        std::unique_lock<std::mutex> lock(m_);
        ready_.wait(lock, [this] { return hwnd_ != nullptr; });
    }
    ~Probe() {
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    std::vector<Event> events() {
        std::lock_guard<std::mutex> lock(m_);
        return events_;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(m_);
        events_.clear();
    }
    // Waits until `n` events have come.
    std::vector<Event> await(std::size_t n, milliseconds timeout = kPatience) {
        waitFor([&] { return events().size() >= n; }, timeout);
        return events();
    }

private:
    static LRESULT CALLBACK proc(HWND h, UINT m, WPARAM w, LPARAM l) {
        auto* self = reinterpret_cast<Probe*>(GetWindowLongPtrW(h, GWLP_USERDATA));
        switch (m) {
            case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK:
            case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK: {
                POINT p{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
                ClientToScreen(h, &p);
                std::lock_guard<std::mutex> lock(self->m_);
                self->events_.push_back({m, p, Clock::now()});
                // A drag's release comes here wherever the pointer went.
                if (m == WM_LBUTTONDOWN) SetCapture(h);
                if (m == WM_LBUTTONUP) ReleaseCapture();
                return 0;
            }
            case WM_CLOSE: DestroyWindow(h); return 0;
            case WM_DESTROY: PostQuitMessage(0); return 0;
            default: return DefWindowProcW(h, m, w, l);
        }
    }
    void run() {
        WNDCLASSW wc{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = L"DwellorProbe";
        RegisterClassW(&wc);
        HWND h = CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE, wc.lpszClassName, L"probe", WS_POPUP | WS_VISIBLE,
                                 kRect.left, kRect.top, kRect.right - kRect.left, kRect.bottom - kRect.top, nullptr,
                                 nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        {
            std::lock_guard<std::mutex> lock(m_);
            hwnd_ = h;
        }
        ready_.notify_all();
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    }
    std::thread thread_;
    std::mutex m_;
    std::condition_variable ready_;
    HWND hwnd_ = nullptr;
    std::vector<Event> events_;
};

std::wstring exeBeside(const wchar_t* name) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir(self);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1) + name;
}

bool leftHeldAnywhere() { return GetAsyncKeyState(VK_LBUTTON) & 0x8000; }

// Lets go of a press the program under test left held, so the next test
// starts clean.
void releaseLeft() {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &in, sizeof in);
}

class E2eTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VB and VBA Program Settings\\Dwellor");
        SetCursorPos(1000, 100);  // away from everything
    }
    void TearDown() override {
        if (process_) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, 5000);
            CloseHandle(process_);
        }
        if (leftHeldAnywhere()) releaseLeft();
    }

    void store(const wchar_t* name, const wchar_t* text) {
        RegSetKeyValueW(HKEY_CURRENT_USER, kKey, name, REG_SZ, text,
                        static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    }
    std::wstring stored(const wchar_t* name) {
        wchar_t buf[64] = {};
        DWORD bytes = sizeof buf;
        if (RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_REG_SZ, nullptr, buf, &bytes) != ERROR_SUCCESS)
            return L"<none>";
        return buf;
    }

    // Starts dwellor.exe and waits for its window; returns the time it took.
    double start() {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        std::wstring cmd = L"\"" + exeBeside(L"dwellor.exe") + L"\"";
        const auto t0 = Clock::now();
        if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            ADD_FAILURE() << "cannot start dwellor.exe: " << GetLastError();
            return 0;
        }
        CloseHandle(pi.hThread);
        process_ = pi.hProcess;
        pid_ = pi.dwProcessId;
        EXPECT_TRUE(waitFor([&] { return (main_ = mainWindow()) && IsWindowVisible(main_); }));
        return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    }
    HWND mainWindow() {
        for (HWND h = nullptr; (h = FindWindowExW(nullptr, h, L"DwellorForm1", nullptr));) {
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (pid == pid_) return h;
        }
        return nullptr;
    }
    HWND control(const wchar_t* cls, const wchar_t* text) { return FindWindowExW(main_, nullptr, cls, text); }
    void press(const wchar_t* button) { PostMessageW(control(L"Button", button), BM_CLICK, 0, 0); }
    // A check box ignores BM_CLICK under Wine 8 (it presses at (0, 0)): a
    // left click inside it instead.
    void tick(const wchar_t* box) {
        HWND b = control(L"Button", box);
        PostMessageW(b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
        PostMessageW(b, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    }
    // A left click on a label, as the label hears it.
    void clickLabel(const wchar_t* text) {
        HWND l = control(L"Static", text);
        PostMessageW(l, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
        PostMessageW(l, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    }
    bool ended(milliseconds timeout = kPatience) { return WaitForSingleObject(process_, timeout.count()) == WAIT_OBJECT_0; }
    std::wstring caption() {
        wchar_t t[64] = {};
        GetWindowTextW(main_, t, 64);
        return t;
    }

    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    HWND main_ = nullptr;
    Probe probe_;
    const POINT rest_{600, 450};
};

// Presses and releases on the probe, as button numbers: one press and one
// release of the left button per click.
std::vector<UINT> messages(const std::vector<Event>& events) {
    std::vector<UINT> m;
    for (const Event& e : events) m.push_back(e.message);
    return m;
}

TEST_F(E2eTest, OneLeftClickPerTickAtTheRestingPointAfterTheFirst) {
    store(L"Interval", L"150");
    const double startMs = start();
    PROCESS_MEMORY_COUNTERS mem{};
    mem.cb = sizeof mem;
    K32GetProcessMemoryInfo(process_, &mem, sizeof mem);
    std::cout << "dwellor.exe: window shown " << startMs << " ms after the start; working set "
              << mem.WorkingSetSize / 1024 << " KiB\n";
    const auto restFrom = Clock::now();
    SetCursorPos(rest_.x, rest_.y);
    const std::vector<Event> e = probe_.await(6);
    ASSERT_GE(e.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        // Clicks at one spot quicker than the double-click time come
        // alternately as presses and double clicks: both are presses.
        const UINT m = e[i].message == WM_LBUTTONDBLCLK ? WM_LBUTTONDOWN : e[i].message;
        EXPECT_EQ(m, i % 2 ? static_cast<UINT>(WM_LBUTTONUP) : static_cast<UINT>(WM_LBUTTONDOWN)) << i;
        EXPECT_EQ(e[i].at.x, rest_.x);
        EXPECT_EQ(e[i].at.y, rest_.y);
    }
    // The first tick compares with where the pointer was before: no click yet.
    const double firstAfter = std::chrono::duration<double, std::milli>(e[0].when - restFrom).count();
    EXPECT_GE(firstAfter, 150 * 0.9);
    const double period = std::chrono::duration<double, std::milli>(e[4].when - e[0].when).count() / 2;
    EXPECT_GE(period, 150 * 0.7);  // a loaded machine delivers late and in bursts; two per tick would be 75
    EXPECT_LE(period, 150 * 2.0);
}

struct Mode {
    const wchar_t* label;
    std::vector<UINT> click;
};

class ModeTest : public E2eTest, public ::testing::WithParamInterface<Mode> {};

TEST_P(ModeTest, TheProbeSeesTheModesClick) {
    store(L"Interval", L"200");
    start();
    clickLabel(GetParam().label);
    SetCursorPos(rest_.x, rest_.y);
    const std::size_t n = GetParam().click.size();
    const std::vector<Event> e = probe_.await(n);
    ASSERT_GE(e.size(), n);
    EXPECT_EQ(messages({e.begin(), e.begin() + static_cast<long>(n)}), GetParam().click);
}

INSTANTIATE_TEST_SUITE_P(Modes, ModeTest,
                         ::testing::Values(Mode{L"R", {WM_RBUTTONDOWN, WM_RBUTTONUP}},
                                           // Four inputs in one call: the second press is a double click.
                                           Mode{L"Double", {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}}));

TEST_F(E2eTest, DragPressesOnOneRestAndReleasesOnTheNext) {
    store(L"Interval", L"200");
    store(L"Drag", L"1");
    start();
    SetCursorPos(rest_.x, rest_.y);
    std::vector<Event> e = probe_.await(1);
    ASSERT_EQ(messages(e), std::vector<UINT>{WM_LBUTTONDOWN});
    EXPECT_TRUE(leftHeldAnywhere());
    const POINT to{rest_.x + 80, rest_.y + 40};
    SetCursorPos(to.x, to.y);
    e = probe_.await(2);
    ASSERT_EQ(messages(e), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
    EXPECT_EQ(e[0].at.x, rest_.x);
    EXPECT_EQ(e[1].at.x, to.x);
    EXPECT_EQ(e[1].at.y, to.y);
    EXPECT_FALSE(leftHeldAnywhere());
}

struct Ending {
    const char* name;
    bool ends;  // the process ends (the session ending ends it from outside)
    std::function<void(HWND main, HWND exit)> end;
};

class EndingTest : public E2eTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(EndingTest, EndingWithAPressHeldLeavesNoButtonDown) {
    store(L"Interval", L"200");
    store(L"Drag", L"1");
    start();
    // The engine itself would let go only after a drag interval of 1000 ms.
    SendMessageW(GetDlgItem(main_, kText2Id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"1000"));
    SetCursorPos(rest_.x, rest_.y);
    ASSERT_EQ(messages(probe_.await(1)), std::vector<UINT>{WM_LBUTTONDOWN});
    ASSERT_TRUE(leftHeldAnywhere());
    GetParam().end(main_, control(L"Button", L"Exit"));
    const std::vector<Event> e = probe_.await(2, milliseconds(700));
    EXPECT_TRUE(waitFor([&] { return !leftHeldAnywhere(); }, milliseconds(200)));
    ASSERT_EQ(messages(e), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
    const double heldMs = std::chrono::duration<double, std::milli>(e[1].when - e[0].when).count();
    EXPECT_LT(heldMs, 900.0);
    if (GetParam().ends) {
        EXPECT_TRUE(ended());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Endings, EndingTest,
    ::testing::Values(Ending{"Exit", true, [](HWND, HWND exit) { PostMessageW(exit, BM_CLICK, 0, 0); }},
                      Ending{"Close", true, [](HWND main, HWND) { PostMessageW(main, WM_CLOSE, 0, 0); }},
                      Ending{"SessionEnd", false, [](HWND main, HWND) { SendMessageW(main, WM_QUERYENDSESSION, 0, 0); }}),
    [](const auto& info) { return std::string(info.param.name); });

// The icons docked in the tray host: Wine embeds each as a window of its
// own, somewhere below the host's window.
std::vector<HWND> trayIcons() {
    std::vector<HWND> icons;
    auto collect = [](HWND h, LPARAM to) -> BOOL {
        wchar_t cls[64] = {};
        GetClassNameW(h, cls, 64);
        if (std::wstring(cls) == L"__winex11_tray_icon" && IsWindowVisible(h))
            reinterpret_cast<std::vector<HWND>*>(to)->push_back(h);
        return TRUE;
    };
    for (HWND host = nullptr; (host = FindWindowExW(nullptr, host, L"__wine_x11_foreign_window", nullptr));)
        EnumChildWindows(host, collect, reinterpret_cast<LPARAM>(&icons));
    std::sort(icons.begin(), icons.end());
    icons.erase(std::unique(icons.begin(), icons.end()), icons.end());
    return icons;
}

TEST_F(E2eTest, HideToTheTrayAndBackWithALeftRelease) {
    store(L"Enabled", L"False");  // no dwell clicks on the icon
    start();
    const std::vector<HWND> before = trayIcons();
    press(L"Hide");
    ASSERT_TRUE(waitFor([&] { return !IsWindowVisible(main_) && trayIcons().size() == before.size() + 1; }));
    HWND icon = nullptr;
    for (HWND i : trayIcons())
        if (std::find(before.begin(), before.end(), i) == before.end()) icon = i;
    ASSERT_TRUE(icon);
    RECT r;
    GetWindowRect(icon, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    // A press alone does nothing; the release brings the window back.
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &in[0], sizeof(INPUT));
    const auto pressed = Clock::now();
    EXPECT_FALSE(waitFor([&] { return IsWindowVisible(main_); }, milliseconds(300)));
    (void)pressed;
    SendInput(1, &in[1], sizeof(INPUT));
    EXPECT_TRUE(waitFor([&] { return IsWindowVisible(main_); }));
    EXPECT_TRUE(waitFor([&] { return trayIcons().size() == before.size(); }));
}

TEST_F(E2eTest, SettingsSurviveARestart) {
    start();
    EXPECT_EQ(caption(), L"Dwellor - Enabled");
    tick(L"Enable Dragging");
    ASSERT_TRUE(waitFor([&] { return stored(L"Drag") == L"1"; }));
    press(L"Toggle");
    ASSERT_TRUE(waitFor([&] { return stored(L"Enabled") == L"False"; }));
    press(L"Exit");
    ASSERT_TRUE(ended());
    CloseHandle(process_);
    process_ = nullptr;

    start();
    EXPECT_EQ(caption(), L"Dwellor - Disabled");
    EXPECT_EQ(SendMessageW(control(L"Button", L"Enable Dragging"), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(main_, kText2Id)));
    EXPECT_EQ(stored(L"Interval"), L"<none>");  // written only when clicking is switched on
}

}  // namespace

namespace {

// A person who can only dwell, on Windows too: a rest on Toggle switches off
// once and, after a move, a rest there switches back on; a rest on Exit asks,
// and a rest on "Exit Dwellor" ends.
class E2eDwelling : public E2eTest {
protected:
    POINT centreOf(HWND h, int dx = 0) {
        RECT r;
        GetWindowRect(h, &r);
        return {(r.left + r.right) / 2 + dx, (r.top + r.bottom) / 2};
    }
    void restAt(POINT p) { SetCursorPos(p.x, p.y); }
    bool captionStays(const wchar_t* c, milliseconds span) {
        return !waitFor([&] { return caption() != c; }, span);
    }
};

TEST_F(E2eDwelling, ARestOnToggleSwitchesOffOnceAndTheNextRestThereSwitchesBackOn) {
    store(L"Interval", L"200");
    start();
    const HWND toggle = control(L"Button", L"Toggle");
    restAt(centreOf(toggle));
    ASSERT_TRUE(waitFor([&] { return caption() == L"Dwellor - Disabled"; }));
    EXPECT_TRUE(captionStays(L"Dwellor - Disabled", milliseconds(600))) << "switched on again by itself";
    restAt(centreOf(control(L"Edit", L"1000")));
    EXPECT_TRUE(captionStays(L"Dwellor - Disabled", milliseconds(400)));
    restAt(centreOf(toggle, 3));
    ASSERT_TRUE(waitFor([&] { return caption() == L"Dwellor - Enabled"; })) << "a rest on Toggle did not wake it";
    EXPECT_TRUE(captionStays(L"Dwellor - Enabled", milliseconds(600))) << "switched off again by itself";
    EXPECT_EQ(stored(L"Enabled"), L"True");
}

TEST_F(E2eDwelling, ARestOnExitAsksAndARestOnExitDwellorEnds) {
    store(L"Interval", L"200");
    start();
    restAt(centreOf(control(L"Button", L"Exit")));
    HWND yes = nullptr;
    ASSERT_TRUE(waitFor([&] {
        for (HWND h = nullptr; (h = FindWindowExW(nullptr, h, nullptr, L"Dwellor"));)
            if (IsWindowVisible(h) && (yes = FindWindowExW(h, nullptr, L"Button", L"Exit Dwellor"))) return true;
        return false;
    })) << "no question appeared";
    EXPECT_FALSE(ended(milliseconds(0)));
    restAt(centreOf(yes));
    ASSERT_TRUE(ended()) << "a rest on Exit Dwellor did not end it";
    DWORD code = 1;
    GetExitCodeProcess(process_, &code);
    EXPECT_EQ(code, 0u);
}

}  // namespace

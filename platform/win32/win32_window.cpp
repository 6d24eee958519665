#include "platform/win32/win32_window.h"

#include "platform/win32/win32_images.h"
#include "platform/win32/win32_text.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdlib>

namespace dwellor::win32 {

namespace {

constexpr int kFirstControlId = 100;  // clear of IDOK and IDCANCEL, which dialog keys send
constexpr UINT_PTR kFirstTimerId = 1;
// While the pointer is inside, whether it has left is looked at this often:
// a child control takes the mouse messages, so the window sees no leaving.
// Coming in is told at once (WM_SETCURSOR); a late leave only lets the wake
// watch look a moment longer, and it clicks nothing outside the window.
constexpr UINT_PTR kPointerWatchId = 0x7FFF;
constexpr UINT kPointerWatchMs = 500;

std::wstring windowText(HWND h) {
    std::wstring s(static_cast<std::size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
    s.resize(static_cast<std::size_t>(GetWindowTextW(h, s.data(), static_cast<int>(s.size()))));
    return s;
}

Win32Control* controlOf(HWND h) { return reinterpret_cast<Win32Control*>(GetPropW(h, L"Dwellor.Control")); }

}  // namespace

void Win32Button::command(WORD code) {
    if (code == BN_CLICKED && click_) click_();
}

bool Win32Button::contains(Point screen) const {
    if (!IsWindowVisible(hwnd_)) return false;
    RECT r;
    GetWindowRect(hwnd_, &r);
    return PtInRect(&r, POINT{screen.x, screen.y});
}

std::string Win32TextBox::text() const { return narrow(windowText(hwnd_)); }

void Win32TextBox::setText(const std::string& text) {
    const std::wstring w = widen(text);
    if (w == windowText(hwnd_)) return;
    SetWindowTextW(hwnd_, w.c_str());  // EN_CHANGE, and the handler, run inside
}

void Win32TextBox::command(WORD code) {
    if (code == EN_CHANGE && change_) change_();
}

std::int16_t Win32CheckBox::value() const {
    return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void Win32CheckBox::setValue(std::int16_t v) {
    if (v == value()) return;
    SendMessageW(hwnd_, BM_SETCHECK, v == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
    if (click_) click_();
}

void Win32CheckBox::command(WORD code) {
    if (code == BN_CLICKED && click_) click_();
}

void Win32Control::annotate(Annotations& a) {
    annotations_ = &a;
    a.setName(hwnd_, desc_.accessibleName);
    a.setDescription(hwnd_, desc_.accessibleDescription);
}

Win32Label::Win32Label(HWND hwnd, ControlDesc desc)
    : Win32Control(hwnd, std::move(desc)), colour_(static_cast<Colour>(GetSysColor(COLOR_BTNTEXT))) {
    description_ = desc_.accessibleDescription;
    SetWindowSubclass(hwnd_, subclass, 1, reinterpret_cast<DWORD_PTR>(this));
}

Win32Label::~Win32Label() { RemoveWindowSubclass(hwnd_, subclass, 1); }

std::string Win32Label::text() const { return narrow(windowText(hwnd_)); }

void Win32Label::setText(const std::string& text) { SetWindowTextW(hwnd_, widen(text).c_str()); }

void Win32Label::setAccessibleDescription(const std::string& text) {
    if (text == description_) return;
    description_ = text;
    if (!annotations_) return;
    annotations_->setDescription(hwnd_, text);
    // Screen readers learn of it only when told.
    NotifyWinEvent(EVENT_OBJECT_DESCRIPTIONCHANGE, hwnd_, OBJID_CLIENT, CHILDID_SELF);
}

void Win32Label::setForeColour(Colour c) {
    colour_ = c;
    InvalidateRect(hwnd_, nullptr, TRUE);
}

LRESULT CALLBACK Win32Label::subclass(HWND h, UINT m, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<Win32Label*>(data);
    switch (m) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:  // a quick second click is a press too
            self->pressed_ = true;
            SetCapture(h);
            return 0;
        case WM_LBUTTONUP: {
            const bool wasPressed = self->pressed_;
            self->pressed_ = false;
            if (GetCapture() == h) ReleaseCapture();
            RECT r;
            GetClientRect(h, &r);
            const POINT p{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
            if (wasPressed && PtInRect(&r, p) && self->click_) self->click_();
            return 0;
        }
        case WM_CAPTURECHANGED:
            self->pressed_ = false;
            break;
        default: break;
    }
    return DefSubclassProc(h, m, w, l);
}

Win32Window::Win32Window() : name_("Form1") {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    createWindow(kClassName, kExStyle, L"", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, 200, 200, nullptr, true);
    init();
}

// Owned, it has no button in the task bar and stays above its owner.
Win32Window::Win32Window(HWND owner, std::string name, const Annotations& ownerAnnotations)
    : owner_(owner), name_(std::move(name)), annotations_(Annotations::sharing(ownerAnnotations)) {
    createWindow(kSecondClassName, kExStyle, L"", kSecondStyle, CW_USEDEFAULT, CW_USEDEFAULT, 200, 200, owner, true);
    init();
}

void Win32Window::init() {
    dpi_ = GetDpiForWindow(hwnd_);
    if (dpi_ == 0) dpi_ = 96;
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    makeFonts();
}

Win32Window::~Win32Window() {
    marks_.clear();
    windows_.clear();
    annotations_.clear();  // destroyWindow lets go of the window first: no WM_DESTROY reaches handle()
    timers_.clear();
    prompts_.clear();
    controls_.clear();
    destroyWindow();  // before the fonts its controls draw with
    for (HFONT f : {font_, exactFont_, largeFont_})
        if (f) DeleteObject(f);
    for (auto& [h, f] : fittedFonts_) DeleteObject(f);
}

HWND Win32Window::create(const wchar_t* cls, DWORD style, const ControlDesc& desc) {
    if (desc.visible) style |= WS_VISIBLE;
    const int id = kFirstControlId + static_cast<int>(controls_.size());
    // Created in order, so that the tab order is the order of creation.
    HWND h = CreateWindowExW(0, cls, widen(desc.text).c_str(), WS_CHILD | style, 0, 0, 0, 0, hwnd_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (!desc.tooltip.empty() && tooltip_) {
        const std::wstring tip = widen(desc.tooltip);
        TTTOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        ti.hwnd = hwnd_;
        ti.uId = reinterpret_cast<UINT_PTR>(h);
        ti.lpszText = const_cast<wchar_t*>(tip.c_str());
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
    return h;
}

template <class C>
C& Win32Window::keep(std::unique_ptr<C> c) {
    C& ref = *c;
    SetPropW(c->hwnd(), L"Dwellor.Control", static_cast<Win32Control*>(c.get()));
    c->annotate(annotations_);
    controls_.push_back(std::move(c));
    place(ref);
    return ref;
}

IButton& Win32Window::addButton(const ControlDesc& desc) {
    return keep(std::make_unique<Win32Button>(create(WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, desc), desc));
}

ITextBox& Win32Window::addTextBox(const ControlDesc& desc) {
    HWND h = create(WC_EDITW, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, desc);
    return keep(std::make_unique<Win32TextBox>(h, desc));
}

ICheckBox& Win32Window::addCheckBox(const ControlDesc& desc) {
    return keep(std::make_unique<Win32CheckBox>(create(WC_BUTTONW, BS_AUTOCHECKBOX | WS_TABSTOP, desc), desc));
}

ILabel& Win32Window::addLabel(const ControlDesc& desc) {
    DWORD style = SS_NOTIFY;
    if (desc.align == Align::Centre) style |= SS_CENTER;
    else style |= desc.wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP;
    // A large text is one line, centred in its box's height too.
    if (desc.large) style |= SS_CENTERIMAGE;
    if (desc.border) style |= WS_BORDER;
    return keep(std::make_unique<Win32Label>(create(WC_STATICW, style, desc), desc));
}

IPictureBox& Win32Window::addPictureBox(const ControlDesc& desc) {
    ControlDesc hidden = desc;
    hidden.visible = false;
    HWND h = create(WC_STATICW, SS_ICON, hidden);
    keep(std::make_unique<Win32Control>(h, hidden));
    pictures_.push_back(std::make_unique<PictureBox>(static_cast<Handle>(reinterpret_cast<std::uintptr_t>(h))));
    return *pictures_.back();
}

ITickTimer& Win32Window::addTimer(const std::string&) {
    timers_.push_back(std::make_unique<Win32TickTimer>(hwnd_, kFirstTimerId + timers_.size()));
    return *timers_.back();
}

IPrompt& Win32Window::addPrompt() {
    prompts_.push_back(std::make_unique<Win32Prompt>(hwnd_));
    return *prompts_.back();
}

IWindow& Win32Window::addWindow(const std::string& name) {
    windows_.push_back(std::unique_ptr<Win32Window>(new Win32Window(hwnd_, name, annotations_)));
    return *windows_.back();
}

ICountdownMark& Win32Window::addCountdownMark() {
    marks_.push_back(std::make_unique<Win32CountdownMark>(hwnd_));
    return *marks_.back();
}

Win32Window* Win32Window::window(const std::string& name) const {
    for (const auto& w : windows_)
        if (w->name_ == name) return w.get();
    return nullptr;
}

bool Win32Window::isOwn(HWND topLevel) const {
    if (!topLevel) return false;
    if (topLevel == hwnd_) return true;
    for (const auto& p : prompts_)
        if (p->hwnd() == topLevel) return true;
    for (const auto& w : windows_)
        if (w->isOwn(topLevel)) return true;
    return false;
}

bool Win32Window::pointerInClientArea() const {
    POINT p;
    if (!GetCursorPos(&p) || !clientAreaContains({p.x, p.y})) return false;
    const HWND under = WindowFromPoint(p);
    return under && GetAncestor(under, GA_ROOT) == hwnd_;
}

void Win32Window::setPointerInside(bool inside) {
    if (inside == pointerIsInside_) return;
    pointerIsInside_ = inside;
    if (inside) SetTimer(hwnd_, kPointerWatchId, kPointerWatchMs, nullptr);
    else KillTimer(hwnd_, kPointerWatchId);
    if (pointerInside_) pointerInside_(inside);
}

HWND Win32Window::control(const std::string& name) const {
    for (const auto& c : controls_)
        if (c->desc().name == name) return c->hwnd();
    return nullptr;
}

void Win32Window::setClientSize(int width, int height) {
    clientW_ = width;
    clientH_ = height;
    layout();
}

void Win32Window::makeFonts() {
    for (HFONT f : {font_, exactFont_, largeFont_})
        if (f) DeleteObject(f);
    NONCLIENTMETRICSW m{};
    m.cbSize = sizeof m;
    if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0, dpi_)) {
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof m.lfMessageFont, &m.lfMessageFont);
    }
    font_ = CreateFontIndirectW(&m.lfMessageFont);
    // Smoothing would blend the text colour into the background.
    m.lfMessageFont.lfQuality = NONANTIALIASED_QUALITY;
    exactFont_ = CreateFontIndirectW(&m.lfMessageFont);
    // Read from afar: two and a half times the message font, bold.
    m.lfMessageFont.lfQuality = DEFAULT_QUALITY;
    m.lfMessageFont.lfHeight = m.lfMessageFont.lfHeight * 5 / 2;
    m.lfMessageFont.lfWeight = FW_BOLD;
    largeFont_ = CreateFontIndirectW(&m.lfMessageFont);
}

HFONT Win32Window::fontFor(const Win32Control& c) const {
    if (c.desc().exactColour) return exactFont_;
    if (c.desc().large) return largeFont_;
    auto it = fittedFonts_.find(c.hwnd());
    return it == fittedFonts_.end() ? font_ : it->second;
}

void Win32Window::layout() {
    if (clientW_ > 0) {
        // The frame as it is, not as AdjustWindowRectExForDpi has it: with
        // per-monitor v1 awareness (all Wine gives) the frame is not scaled.
        RECT w, c;
        GetWindowRect(hwnd_, &w);
        GetClientRect(hwnd_, &c);
        SetWindowPos(hwnd_, nullptr, 0, 0, scaled(clientW_) + (w.right - w.left) - c.right,
                     scaled(clientH_) + (w.bottom - w.top) - c.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    for (auto& [h, f] : fittedFonts_) DeleteObject(f);
    fittedFonts_.clear();
    for (const auto& c : controls_) place(*c);
    if (icon_) setIcon(icon_);
}

void Win32Window::place(const Win32Control& c) {
    const Rect& r = c.desc().rect;
    SetWindowPos(c.hwnd(), nullptr, scaled(r.left), scaled(r.top), scaled(r.width), scaled(r.height),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (c.desc().wordWrap) fitFont(c.hwnd());
    SendMessageW(c.hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(c)), TRUE);
}

void Win32Window::fitFont(HWND h) {
    // Shrink a wrapped text until all of it fits its fixed box.
    LOGFONTW lf;
    GetObjectW(font_, sizeof lf, &lf);
    HDC dc = GetDC(h);
    const std::wstring text = windowText(h);
    RECT box;
    GetClientRect(h, &box);
    HFONT f = CreateFontIndirectW(&lf);
    for (;;) {
        HGDIOBJ old = SelectObject(dc, f);
        RECT need = box;
        DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        SelectObject(dc, old);
        if (need.bottom <= box.bottom || std::abs(lf.lfHeight) <= scaled(7)) break;
        DeleteObject(f);
        lf.lfHeight += lf.lfHeight < 0 ? 1 : -1;
        f = CreateFontIndirectW(&lf);
    }
    ReleaseDC(h, dc);
    if (auto it = fittedFonts_.find(h); it != fittedFonts_.end()) DeleteObject(it->second);
    fittedFonts_[h] = f;
}

Handle Win32Window::loadImage(Image image) { return imageHandle(image); }

std::string Win32Window::caption() const { return second() ? narrow(caption_) : narrow(windowText(hwnd_)); }

void Win32Window::setCaption(const std::string& caption) {
    if (second()) {
        caption_ = widen(caption);
        showTitle(IsWindowVisible(hwnd_));
        return;
    }
    SetWindowTextW(hwnd_, widen(caption).c_str());
}

void Win32Window::showTitle(bool shown) {
    // Hidden, it is no window of Dwellor's to anything that lists them (the
    // program shows as one top-level window, as without it).
    SetWindowTextW(hwnd_, shown ? caption_.c_str() : L"");
}

Rect Win32Window::frame() const {
    RECT r;
    GetWindowRect(hwnd_, &r);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::vector<Rect> Win32Window::screens() const {
    std::vector<Rect> out;
    auto add = [](HMONITOR m, HDC, RECT*, LPARAM to) -> BOOL {
        MONITORINFO mi{};
        mi.cbSize = sizeof mi;
        if (GetMonitorInfoW(m, &mi)) {
            const RECT& a = mi.rcWork;
            reinterpret_cast<std::vector<Rect>*>(to)->push_back({a.left, a.top, a.right - a.left, a.bottom - a.top});
        }
        return TRUE;
    };
    EnumDisplayMonitors(nullptr, nullptr, add, reinterpret_cast<LPARAM>(&out));
    return out;
}

void Win32Window::moveTo(Point topLeft) {
    SetWindowPos(hwnd_, nullptr, topLeft.x, topLeft.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::setIcon(Handle icon) {
    icon_ = icon;
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(iconFor(icon, GetSystemMetricsForDpi(SM_CXSMICON, dpi_))));
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(iconFor(icon, GetSystemMetricsForDpi(SM_CXICON, dpi_))));
}

void Win32Window::setVisible(bool on) {
    if (on && (restoreOnShow_ || second())) {
        show();
        return;
    }
    if (second()) showTitle(false);
    ShowWindow(hwnd_, on ? SW_SHOW : SW_HIDE);
    // A hidden window hears no more of the pointer.
    if (!on) setPointerInside(false);
}

WindowState Win32Window::windowState() const {
    return IsIconic(hwnd_) && !restoreOnShow_ ? WindowState::Minimised : WindowState::Normal;
}

void Win32Window::setWindowState(WindowState s) {
    if (!IsWindowVisible(hwnd_)) {
        // ShowWindow would show it: the state waits for the window to be shown.
        const bool before = windowState() == WindowState::Minimised;
        restoreOnShow_ = s == WindowState::Normal && IsIconic(hwnd_);
        if (s == WindowState::Minimised && !IsIconic(hwnd_)) {
            // Nothing asks for this today; it stays hidden, minimised.
            ShowWindow(hwnd_, SW_SHOWMINNOACTIVE);
            ShowWindow(hwnd_, SW_HIDE);
            return;
        }
        if (before != (windowState() == WindowState::Minimised) && resize_) resize_();
        return;
    }
    if (s == WindowState::Minimised && !IsIconic(hwnd_)) ShowWindow(hwnd_, SW_MINIMIZE);
    if (s == WindowState::Normal && IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
}

void Win32Window::show() {
    if (second()) showTitle(true);
    const bool restore = IsIconic(hwnd_) || restoreOnShow_;
    restoreOnShow_ = false;
    ShowWindow(hwnd_, restore ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd_);
}

bool Win32Window::clientAreaContains(Point screen) const {
    return win32::clientAreaContains(hwnd_, POINT{screen.x, screen.y});
}

void Win32Window::unload() {
    if (second()) return setVisible(false);
    closeRequest_ = nullptr;
    pointerInside_ = nullptr;
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

int Win32Window::run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // The dialog keys of the window the message is for.
        const HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        const bool dialog = root && (root == hwnd_ || std::any_of(windows_.begin(), windows_.end(), [root](const auto& w) {
                                                        return w->hwnd() == root;
                                                    }));
        if (dialog && IsDialogMessageW(root, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

LRESULT Win32Window::handle(UINT m, WPARAM w, LPARAM l) {
    switch (m) {
        case WM_COMMAND:
            if (l) {
                if (Win32Control* c = controlOf(reinterpret_cast<HWND>(l))) c->command(HIWORD(w));
            } else if (LOWORD(w) == IDCANCEL && second()) {
                PostMessageW(hwnd_, WM_CLOSE, 0, 0);  // Escape closes it, as it does a dialog
            }
            return 0;
        case WM_CTLCOLORSTATIC: {
            Win32Control* c = controlOf(reinterpret_cast<HWND>(l));
            auto* label = dynamic_cast<Win32Label*>(c);
            if (!label) break;
            HDC dc = reinterpret_cast<HDC>(w);
            // Colour is 0x00BBGGRR, as COLORREF is.
            SetTextColor(dc, static_cast<COLORREF>(label->foreColour()));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_SETCURSOR:
            // Sent up from the child under the pointer too.
            if (LOWORD(l) != HTNOWHERE && !pointerIsInside_ && pointerInClientArea()) setPointerInside(true);
            break;
        case WM_TIMER:
            if (w == kPointerWatchId) {
                if (!pointerInClientArea()) setPointerInside(false);
                return 0;
            }
            for (const auto& t : timers_) {
                if (t->id() == w) {
                    t->tick();
                    break;
                }
            }
            return 0;
        case WM_MOVE:
            // A minimised window's place is not where it is.
            if (moved_ && !IsIconic(hwnd_)) moved_();
            return 0;
        case WM_SIZE:
            if (w == SIZE_MINIMIZED) setPointerInside(false);
            if (resize_) resize_();
            return 0;
        case WM_DPICHANGED: {
            dpi_ = HIWORD(w);
            makeFonts();
            const RECT* suggested = reinterpret_cast<const RECT*>(l);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            layout();
            return 0;
        }
        case WM_CLOSE:
            if (closeRequest_) {
                closeRequest_();  // it decides, and unloads if it will
                return 0;
            }
            if (second()) {
                setVisible(false);
                return 0;
            }
            if (ending_) ending_();
            DestroyWindow(hwnd_);
            return 0;
        case WM_QUERYENDSESSION:
            if (ending_) ending_();
            return TRUE;
        case WM_ENDSESSION:
            if (w && ending_) ending_();
            return 0;
        case WM_DESTROY:
            // Sent before the controls are destroyed.
            annotations_.clear();
            for (const auto& t : timers_) KillTimer(hwnd_, t->id());
            KillTimer(hwnd_, kPointerWatchId);
            if (!second()) PostQuitMessage(0);
            return 0;
        default: break;
    }
    return DefWindowProcW(hwnd_, m, w, l);
}

}  // namespace dwellor::win32

#pragma once
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/window.h"
#include "platform/win32/win32_annotations.h"
#include "platform/win32/win32_countdown_mark.h"
#include "platform/win32/win32_prompt.h"
#include "platform/win32/win32_timer.h"

#include "platform/win32/win32_api.h"
#include "platform/win32/win32_object_window.h"

namespace dwellor::win32 {

class Win32Window;

// A standard control (BUTTON, EDIT, STATIC) of the window.
class Win32Control {
public:
    Win32Control(HWND hwnd, ControlDesc desc) : hwnd_(hwnd), desc_(std::move(desc)) {}
    virtual ~Win32Control() = default;
    HWND hwnd() const { return hwnd_; }
    const ControlDesc& desc() const { return desc_; }
    // A WM_COMMAND notification from the control.
    virtual void command(WORD) {}
    // Gives it the accessible name and description of its desc, through the
    // window's annotations, which it keeps for later changes.
    void annotate(Annotations& a);

protected:
    HWND hwnd_;
    ControlDesc desc_;
    Annotations* annotations_ = nullptr;
};

class Win32Button final : public Win32Control, public IButton {
public:
    using Win32Control::Win32Control;
    void onClick(Handler h) override { click_ = std::move(h); }
    bool contains(Point screen) const override;
    void command(WORD code) override;

private:
    Handler click_;
};

// EN_CHANGE comes for the user's edits and for SetWindowText; a write of the
// text already there is skipped, so it raises nothing.
class Win32TextBox final : public Win32Control, public ITextBox {
public:
    using Win32Control::Win32Control;
    std::string text() const override;
    void setText(const std::string& text) override;
    bool visible() const override { return IsWindowVisible(hwnd_) || (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE); }
    void setVisible(bool on) override { ShowWindow(hwnd_, on ? SW_SHOW : SW_HIDE); }
    void onChange(Handler h) override { change_ = std::move(h); }
    void command(WORD code) override;

private:
    Handler change_;
};

// BM_SETCHECK tells nobody: a write of a different value raises the click
// here, as the user's click does through BN_CLICKED.
class Win32CheckBox final : public Win32Control, public ICheckBox {
public:
    using Win32Control::Win32Control;
    std::int16_t value() const override;
    void setValue(std::int16_t v) override;
    void onClick(Handler h) override { click_ = std::move(h); }
    void command(WORD code) override;

private:
    Handler click_;
};

// A STATIC with SS_NOTIFY (so that it gets the mouse), subclassed to raise
// its click on a left press and release on it. Its text colour is drawn
// through WM_CTLCOLORSTATIC, exactly.
class Win32Label final : public Win32Control, public ILabel {
public:
    Win32Label(HWND hwnd, ControlDesc desc);
    ~Win32Label() override;
    std::string text() const override;
    void setText(const std::string& text) override;
    Colour foreColour() const override { return colour_; }
    void setForeColour(Colour c) override;
    Handle mouseIcon() const override { return icon_; }
    void setMouseIcon(Handle icon) override { icon_ = icon; }
    void setAccessibleDescription(const std::string& text) override;
    void onClick(Handler h) override { click_ = std::move(h); }
    const std::string& accessibleDescription() const { return description_; }

private:
    static LRESULT CALLBACK subclass(HWND h, UINT m, WPARAM w, LPARAM l, UINT_PTR id, DWORD_PTR self);
    Colour colour_;
    Handle icon_ = 0;
    bool pressed_ = false;
    std::string description_;
    Handler click_;
};

// The top-level window: a fixed-size frame with a title, a system menu and
// a minimise box, the controls at their positions scaled with the monitor's
// DPI (laid out again when it changes), the system's message font, tooltips,
// the controls' accessible names and the tab order of creation. Closing it ends the message loop.
// Its second windows (addWindow) are made the same way, owned by it, with no
// minimise box; closing one only hides it.
class Win32Window final : public IWindow, public ObjectWindow {
public:
    Win32Window();
    ~Win32Window() override;

    IButton& addButton(const ControlDesc& desc) override;
    ITextBox& addTextBox(const ControlDesc& desc) override;
    ICheckBox& addCheckBox(const ControlDesc& desc) override;
    ILabel& addLabel(const ControlDesc& desc) override;
    IPictureBox& addPictureBox(const ControlDesc& desc) override;
    ITickTimer& addTimer(const std::string& name) override;
    IPrompt& addPrompt() override;
    IWindow& addWindow(const std::string& name) override;
    ICountdownMark& addCountdownMark() override;

    void setClientSize(int width, int height) override;
    Handle loadImage(Image image) override;
    std::string caption() const override;
    void setCaption(const std::string& caption) override;
    Handle icon() const override { return icon_; }
    void setIcon(Handle icon) override;
    bool visible() const override { return IsWindowVisible(hwnd_); }
    void setVisible(bool on) override;
    WindowState windowState() const override;
    void setWindowState(WindowState s) override;
    void show() override;
    bool clientAreaContains(Point screen) const override;
    Rect frame() const override;
    std::vector<Rect> screens() const override;
    void moveTo(Point topLeft) override;
    void onMoved(Handler h) override { moved_ = std::move(h); }
    void onResize(Handler h) override { resize_ = std::move(h); }
    void onPointerInside(std::function<void(bool inside)> h) override { pointerInside_ = std::move(h); }
    void onCloseRequest(Handler h) override { closeRequest_ = std::move(h); }
    void unload() override;

    // Raised when the session ends (WM_QUERYENDSESSION, WM_ENDSESSION), and
    // before the window goes when it is closed with no close-request handler.
    void onEnding(Handler h) { ending_ = std::move(h); }
    // Whether a top-level window is this one, one of its second windows, or
    // a prompt of either.
    bool isOwn(HWND topLevel) const;
    // Runs the message loop (with dialog keys: Tab, Space, in this window and
    // its second windows) until the window is gone; returns the exit code.
    int run();

    UINT dpi() const { return dpi_; }
    // A control's window by name; null when there is none.
    HWND control(const std::string& name) const;
    // A second window by name; null when there is none.
    Win32Window* window(const std::string& name) const;
    // A pixel length at 96 DPI, at the window's DPI.
    int scaled(int px) const { return MulDiv(px, static_cast<int>(dpi_), 96); }

    // The installer finds the running one by it, to start it again as it was.
    static constexpr const wchar_t* kClassName = L"DwellorForm1";
    static constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    // Second windows: a class of their own, so that nothing takes one for the
    // main window.
    static constexpr const wchar_t* kSecondClassName = L"DwellorWindow";
    static constexpr DWORD kSecondStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    // Kept above ordinary windows, so that no window can cover it for good.
    static constexpr DWORD kExStyle = WS_EX_TOPMOST;

private:
    // A second window, owned by `owner`, annotating through its service.
    Win32Window(HWND owner, std::string name, const Annotations& ownerAnnotations);
    void init();
    bool second() const { return owner_ != nullptr; }
    LRESULT handle(UINT m, WPARAM w, LPARAM l) override;
    HWND create(const wchar_t* cls, DWORD style, const ControlDesc& desc);
    template <class C>
    C& keep(std::unique_ptr<C> c);
    // Sizes, positions and fonts for the current DPI.
    void layout();
    void place(const Win32Control& c);
    void fitFont(HWND label);
    void makeFonts();
    HFONT fontFor(const Win32Control& c) const;
    // Whether the pointer is over the client area (a child included), with
    // nothing above it there.
    bool pointerInClientArea() const;
    void setPointerInside(bool inside);
    // A second window: its title while shown, none while hidden.
    void showTitle(bool shown);

    HWND owner_ = nullptr;
    std::string name_;
    // Made before the controls and the second windows, gone after them.
    Annotations annotations_;
    std::wstring caption_;  // a second window's, kept while hidden
    HWND tooltip_ = nullptr;
    UINT dpi_ = 96;
    int clientW_ = 0, clientH_ = 0;
    Handle icon_ = 0;
    // Asked for while hidden: the window comes back restored when shown.
    bool restoreOnShow_ = false;
    HFONT font_ = nullptr, exactFont_ = nullptr, largeFont_ = nullptr;
    std::map<HWND, HFONT> fittedFonts_;  // wrapped labels, shrunk until their text fits
    std::vector<std::unique_ptr<Win32Control>> controls_;
    std::vector<std::unique_ptr<Win32TickTimer>> timers_;
    std::vector<std::unique_ptr<PictureBox>> pictures_;
    std::vector<std::unique_ptr<Win32Prompt>> prompts_;
    std::vector<std::unique_ptr<Win32Window>> windows_;
    std::vector<std::unique_ptr<Win32CountdownMark>> marks_;
    bool pointerIsInside_ = false;
    Handler resize_, ending_, closeRequest_, moved_;
    std::function<void(bool)> pointerInside_;
};

}  // namespace dwellor::win32

#pragma once
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace dwellor::fake {

// Everything observable that the program does to the platform, in order:
// "Label6.ForeColour=0", "Tray.Show", "Window.Visible=0", ...
using Log = std::vector<std::string>;

class Timer;

// Virtual time for the fake timers: a timer that runs is due one period
// after it was (re)started, and ticks only when time is advanced past that.
class Clock {
public:
    std::int64_t now() const { return now_; }
    // Raises every tick due until `until` (ms), in time order; a timer
    // started by a tick counts from that tick's time.
    void advanceTo(std::int64_t until);
    void advance(std::int64_t ms) { advanceTo(now_ + ms); }
    void add(Timer* t) { timers_.push_back(t); }
    void remove(Timer* t) { std::erase(timers_, t); }

private:
    std::int64_t now_ = 0;
    std::vector<Timer*> timers_;
};

class Timer final : public ITickTimer {
public:
    Timer(Log& log, std::string name, Clock& clock) : log_(log), name_(std::move(name)), clock_(clock) {
        clock_.add(this);
    }
    ~Timer() override { clock_.remove(this); }
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool on) override;
    std::int32_t interval() const override { return interval_; }
    void setInterval(std::int32_t ms) override;
    void onTick(Handler h) override { tick_ = std::move(h); }
    void setQuiet(bool quiet) override;
    std::int32_t msUntilTick() const override {
        return running() ? static_cast<std::int32_t>(due_ - clock_.now()) : -1;
    }

    // Whether a tick would be raised now.
    bool running() const { return enabled_ && interval_ > 0 && !quiet_; }
    // Raises one tick if the timer is running; returns whether it did.
    bool step();
    // Raises up to n ticks, stopping early when the timer stops.
    int steps(int n);
    // When it is next due in virtual time; -1 when it does not run.
    std::int64_t due() const { return running() ? due_ : -1; }

private:
    void restart() { due_ = clock_.now() + interval_; }
    Log& log_;
    std::string name_;
    Clock& clock_;
    bool enabled_ = true;
    bool quiet_ = false;
    std::int32_t interval_ = 0;
    std::int64_t due_ = 0;
    Handler tick_;
};

class TextBox final : public ITextBox {
public:
    TextBox(Log& log, std::string name, std::string text, bool visible)
        : log_(log), name_(std::move(name)), text_(std::move(text)), visible_(visible) {}
    std::string text() const override { return text_; }
    void setText(const std::string& text) override;
    bool visible() const override { return visible_; }
    void setVisible(bool on) override;
    void onChange(Handler h) override { change_ = std::move(h); }

    // Types the text one character at a time, as a user would.
    void type(const std::string& chars);
    // Empties the box, as select-all and delete would.
    void clear() { setText(""); }

private:
    Log& log_;
    std::string name_, text_;
    bool visible_;
    Handler change_;
};

class CheckBox final : public ICheckBox {
public:
    CheckBox(Log& log, std::string name) : log_(log), name_(std::move(name)) {}
    std::int16_t value() const override { return value_; }
    void setValue(std::int16_t v) override;
    void onClick(Handler h) override { click_ = std::move(h); }
    void userClick() { setValue(value_ == 1 ? 0 : 1); }

private:
    Log& log_;
    std::string name_;
    std::int16_t value_ = 0;
    Handler click_;
};

class Label final : public ILabel {
public:
    Label(Log& log, std::string name, std::string text)
        : log_(log), name_(std::move(name)), text_(std::move(text)) {}
    std::string text() const override { return text_; }
    void setText(const std::string& text) override;
    Colour foreColour() const override { return colour_; }
    void setForeColour(Colour c) override;
    Handle mouseIcon() const override { return icon_; }
    void setMouseIcon(Handle icon) override { icon_ = icon; }
    // Kept, not logged: it follows the colours, which are logged.
    void setAccessibleDescription(const std::string& text) override { description_ = text; }
    std::string accessibleDescription() const { return description_; }
    void onClick(Handler h) override { click_ = std::move(h); }
    void userClick() { if (click_) click_(); }

    // A default text colour that is neither red nor black, so tests see it
    // apart from both.
    static constexpr Colour kDefaultColour = 0x00101010;

private:
    Log& log_;
    std::string name_, text_, description_;
    Colour colour_ = kDefaultColour;
    Handle icon_ = 0;
    Handler click_;
};

class Window;

class Button final : public IButton {
public:
    Button(const Window& window, Rect rect) : window_(window), rect_(rect) {}
    void onClick(Handler h) override { click_ = std::move(h); }
    bool contains(Point screen) const override;
    void userClick() { if (click_) click_(); }

private:
    const Window& window_;
    Rect rect_;
    Handler click_;
};

// The question window; it opens where it is told, at `screenRect`.
class Prompt final : public IPrompt {
public:
    explicit Prompt(Log& log) : log_(log) {}
    void open(const PromptDesc& desc) override;
    void close() override;
    bool isOpen() const override { return open_; }
    bool clientAreaContains(Point screen) const override;
    void onAnswer(std::function<void(bool)> h) override { answer_ = std::move(h); }

    // The user clicks one of the buttons.
    void answer(bool yes) { if (answer_) answer_(yes); }
    const PromptDesc& desc() const { return desc_; }
    Rect screenRect{300, 300, 200, 80};

private:
    Log& log_;
    PromptDesc desc_;
    bool open_ = false;
    std::function<void(bool)> answer_;
};

// The ring beside the pointer: what it last showed.
class CountdownMark final : public ICountdownMark {
public:
    void show(Point pointer, double f, bool h) override {
        shown_ = true;
        at = pointer;
        filled = f;
        held = h;
        ++shows;
    }
    void hide() override { shown_ = false; }
    bool shown() const override { return shown_; }
    bool canShow() const override { return showable; }
    bool showable = true;
    Point at;
    double filled = 0;
    bool held = false;
    int shows = 0;

private:
    bool shown_ = false;
};

class Window final : public IWindow {
public:
    // `name` begins what it logs; a second window (addWindow) starts hidden.
    Window(Log& log, Clock& clock, std::string name = "Window", bool visible = true)
        : log_(log), clock_(clock), name_(std::move(name)), visible_(visible) {}
    IButton& addButton(const ControlDesc& desc) override;
    ITextBox& addTextBox(const ControlDesc& desc) override;
    ICheckBox& addCheckBox(const ControlDesc& desc) override;
    ILabel& addLabel(const ControlDesc& desc) override;
    IPictureBox& addPictureBox(const ControlDesc& desc) override;
    ITickTimer& addTimer(const std::string& name) override;
    IPrompt& addPrompt() override;
    IWindow& addWindow(const std::string& name) override;
    ICountdownMark& addCountdownMark() override { return *(mark_ = std::make_unique<CountdownMark>()); }
    Rect frame() const override { return frameRect; }
    std::vector<Rect> screens() const override { return screenList; }
    void moveTo(Point p) override;
    void onMoved(Handler h) override { moved_ = std::move(h); }
    void setClientSize(int w, int h) override { clientW_ = w; clientH_ = h; }
    Handle loadImage(Image image) override { return 0x100 + static_cast<Handle>(image); }
    std::string caption() const override { return caption_; }
    void setCaption(const std::string& c) override;
    Handle icon() const override { return icon_; }
    void setIcon(Handle icon) override { icon_ = icon; }
    bool visible() const override { return visible_; }
    void setVisible(bool on) override;
    WindowState windowState() const override { return state_; }
    void setWindowState(WindowState s) override;
    void show() override;
    bool clientAreaContains(Point p) const override {
        return visible_ && state_ == WindowState::Normal && p.x >= screenRect.left && p.y >= screenRect.top &&
               p.x < screenRect.left + screenRect.width && p.y < screenRect.top + screenRect.height;
    }
    void onResize(Handler h) override { resize_ = std::move(h); }
    void onPointerInside(std::function<void(bool)> h) override { pointerInside_ = std::move(h); }
    void onCloseRequest(Handler h) override { closeRequest_ = std::move(h); }
    void unload() override;

    // The pointer comes into the client area or leaves it.
    void pointerMoves(bool inside);
    // The title bar's close button.
    void userClose() { if (closeRequest_) closeRequest_(); }
    Prompt& prompt() { return *prompt_; }
    Window& window(const std::string& name) { return *windows_.at(name); }
    CountdownMark& mark() { return *mark_; }
    // The user drags the window there.
    void userMoves(Point topLeft) {
        frameRect.left = topLeft.x;
        frameRect.top = topLeft.y;
        if (moved_) moved_();
    }
    Rect frameRect{100, 100, 196, 262};
    std::vector<Rect> screenList{{0, 0, 1920, 1080}};

    Rect screenRect{0, 0, 188, 193};  // where the client area is on the screen

    // The user minimises the window (the window system then raises resize).
    void userMinimise() { setWindowState(WindowState::Minimised); }

    // Controls by name, as created, and their descriptions in tab order.
    Button& button(const std::string& name) { return *buttons_.at(name); }
    TextBox& textBox(const std::string& name) { return *textBoxes_.at(name); }
    CheckBox& checkBox(const std::string& name) { return *checkBoxes_.at(name); }
    Label& label(const std::string& name) { return *labels_.at(name); }
    PictureBox& pictureBox(const std::string& name) { return *pictures_.at(name); }
    Timer& timer(const std::string& name) { return *timers_.at(name); }
    const std::vector<ControlDesc>& layout() const { return layout_; }
    int clientWidth() const { return clientW_; }
    int clientHeight() const { return clientH_; }
    bool unloaded() const { return unloaded_; }

private:
    Log& log_;
    std::vector<ControlDesc> layout_;
    std::map<std::string, std::unique_ptr<Button>> buttons_;
    std::map<std::string, std::unique_ptr<TextBox>> textBoxes_;
    std::map<std::string, std::unique_ptr<CheckBox>> checkBoxes_;
    std::map<std::string, std::unique_ptr<Label>> labels_;
    std::map<std::string, std::unique_ptr<PictureBox>> pictures_;
    Clock& clock_;
    std::string name_;
    std::map<std::string, std::unique_ptr<Timer>> timers_;
    std::map<std::string, std::unique_ptr<Window>> windows_;
    std::unique_ptr<CountdownMark> mark_;
    std::string caption_;
    Handle icon_ = 0;
    bool visible_;
    WindowState state_ = WindowState::Normal;
    Handler resize_;
    std::function<void(bool)> pointerInside_;
    Handler closeRequest_, moved_;
    bool inside_ = false;
    std::unique_ptr<Prompt> prompt_;
    int clientW_ = 0, clientH_ = 0;
    bool unloaded_ = false;
};

// The pointer: a position, and a queue of outcomes for the next readings
// (each true or false); when the queue is empty readings succeed.
class Pointer final : public IPointer, public IPointerMotion {
public:
    bool GetCursorPos(Point& pos) override;
    bool overOwnWindow() const override { return overOwn; }
    bool watchMotion(bool on) override {
        watching = on && canWatch;
        return watching;
    }
    void onMoved(Handler moved) override { moved_ = std::move(moved); }
    // The user moves the pointer: told at once while watched.
    void moveTo(Point p) {
        position = p;
        if (watching && moved_) moved_();
    }
    Point position;
    bool canWatch = true;
    bool watching = false;
    bool overOwn = false;  // the program's window is the top-level under the pointer
    std::deque<bool> outcomes;
    int readings = 0;

private:
    Handler moved_;
};

struct Injection {
    std::uint32_t flags;
    Point at;
    friend bool operator==(const Injection&, const Injection&) = default;
};

// Records every injection with the pointer position at that moment.
class Mouse final : public IMouseInput {
public:
    explicit Mouse(const Pointer& pointer, const Clock* clock = nullptr) : pointer_(pointer), clock_(clock) {}
    void mouse_event(std::uint32_t flags, std::int32_t, std::int32_t, std::int32_t,
                     std::uintptr_t) override {
        calls.push_back({flags, pointer_.position});
        times.push_back(clock_ ? clock_->now() : 0);
    }
    std::vector<std::uint32_t> flags() const;
    // Whether the injected events leave the left button down.
    bool leftHeld() const;
    std::vector<Injection> calls;
    std::vector<std::int64_t> times;  // of each call, in virtual time

private:
    const Pointer& pointer_;
    const Clock* clock_;
};

// A notification area with one icon. Every call is logged, accepted or not.
class Tray final : public ITray {
public:
    explicit Tray(Log& log) : log_(log) {}
    bool show(Handle image, const std::string& tip) override;
    bool setImage(Handle image) override;
    bool remove() override;
    void onEvent(std::function<void(TrayEvent)> h) override { event_ = std::move(h); }

    // The user releases a button on the icon (or a host activates it).
    void leftRelease() { raise(TrayEvent::LeftRelease); }
    void rightRelease() { raise(TrayEvent::RightRelease); }
    // The host ends: a shown icon is dropped and reported, as backends do.
    void hostEnds();

    bool available = true;  // a notification area exists
    bool shown = false;
    Handle image = 0;
    std::string tip;

private:
    void raise(TrayEvent e) {
        if (event_) event_(e);
    }
    Log& log_;
    std::function<void(TrayEvent)> event_;
};

// The login entry: on or off; `writable` false refuses every change.
class Autostart final : public IAutostart {
public:
    bool enabled() const override { return on; }
    bool setEnabled(bool v) override {
        if (!writable) return false;
        on = v;
        return true;
    }
    bool on = false;
    bool writable = true;
};

class Settings final : public ISettingsBackend {
public:
    explicit Settings(Log& log) : log_(log) {}
    std::string GetSetting(const std::string& app, const std::string& section,
                           const std::string& key, const std::string& def) override;
    void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& text) override;

    // "App/Section/Key" -> text
    std::map<std::string, std::string> values;
    std::vector<std::string> reads;

private:
    Log& log_;
};

// One of everything, wired together.
struct FakePlatform {
    Log log;
    Clock clock;
    Window window{log, clock};
    Pointer pointer;
    Mouse mouse{pointer, &clock};
    Tray tray{log};
    Settings settings{log};
    Autostart autostart;
    Platform platform() { return {window, pointer, pointer, mouse, tray, settings, autostart}; }
};

}  // namespace dwellor::fake

#include "platform/fake/fake_platform.h"

#include <algorithm>

namespace dwellor::fake {

void Timer::setEnabled(bool on) {
    if (on != enabled_) restart();
    enabled_ = on;
    log_.push_back(name_ + ".Enabled=" + (on ? "1" : "0"));
}

void Timer::setInterval(std::int32_t ms) {
    interval_ = ms;
    restart();
    log_.push_back(name_ + ".Interval=" + std::to_string(ms));
}

void Timer::setQuiet(bool quiet) {
    if (quiet == quiet_) return;
    quiet_ = quiet;
    restart();
    log_.push_back(name_ + ".Quiet=" + (quiet ? "1" : "0"));
}

bool Timer::step() {
    if (!running() || !tick_) return false;
    restart();
    tick_();
    return true;
}

void Clock::advanceTo(std::int64_t until) {
    for (;;) {
        Timer* next = nullptr;
        for (Timer* t : timers_)
            if (t->due() >= 0 && t->due() <= until && (!next || t->due() < next->due())) next = t;
        if (!next) break;
        now_ = std::max(now_, next->due());
        next->step();
    }
    now_ = std::max(now_, until);
}

int Timer::steps(int n) {
    int done = 0;
    while (done < n && step()) ++done;
    return done;
}

void TextBox::setText(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    log_.push_back(name_ + ".Text=" + text);
    if (change_) change_();
}

void TextBox::setVisible(bool on) {
    visible_ = on;
    log_.push_back(name_ + ".Visible=" + (on ? "1" : "0"));
}

void TextBox::type(const std::string& chars) {
    for (char c : chars) setText(text_ + c);
}

void CheckBox::setValue(std::int16_t v) {
    if (v == value_) return;
    value_ = v;
    log_.push_back(name_ + ".Value=" + std::to_string(v));
    if (click_) click_();
}

void Label::setText(const std::string& text) {
    text_ = text;
    log_.push_back(name_ + ".Caption=" + text);
}

void Label::setForeColour(Colour c) {
    colour_ = c;
    log_.push_back(name_ + ".ForeColour=" + std::to_string(c));
}

IButton& Window::addButton(const ControlDesc& desc) {
    layout_.push_back(desc);
    return *(buttons_[desc.name] = std::make_unique<Button>(*this, desc.rect));
}

ITextBox& Window::addTextBox(const ControlDesc& desc) {
    layout_.push_back(desc);
    return *(textBoxes_[desc.name] = std::make_unique<TextBox>(log_, desc.name, desc.text, desc.visible));
}

ICheckBox& Window::addCheckBox(const ControlDesc& desc) {
    layout_.push_back(desc);
    return *(checkBoxes_[desc.name] = std::make_unique<CheckBox>(log_, desc.name));
}

ILabel& Window::addLabel(const ControlDesc& desc) {
    layout_.push_back(desc);
    auto& label = labels_[desc.name] = std::make_unique<Label>(log_, desc.name, desc.text);
    label->setAccessibleDescription(desc.accessibleDescription);
    return *label;
}

IPictureBox& Window::addPictureBox(const ControlDesc& desc) {
    layout_.push_back(desc);
    return *(pictures_[desc.name] = std::make_unique<PictureBox>(0x5000 + static_cast<Handle>(pictures_.size())));
}

ITickTimer& Window::addTimer(const std::string& name) {
    return *(timers_[name] = std::make_unique<Timer>(log_, name, clock_));
}

void Window::setCaption(const std::string& c) {
    caption_ = c;
    log_.push_back(name_ + ".Caption=" + c);
}

void Window::setVisible(bool on) {
    visible_ = on;
    log_.push_back(name_ + ".Visible=" + (on ? "1" : "0"));
}

IWindow& Window::addWindow(const std::string& name) {
    return *(windows_[name] = std::make_unique<Window>(log_, clock_, name, false));
}

void Window::moveTo(Point p) {
    frameRect.left = p.x;
    frameRect.top = p.y;
    log_.push_back(name_ + ".MoveTo=" + std::to_string(p.x) + "," + std::to_string(p.y));
}

void Window::setWindowState(WindowState s) {
    const bool changed = s != state_;
    state_ = s;
    log_.push_back(name_ + ".WindowState=" + std::to_string(static_cast<int>(s)));
    if (changed && resize_) resize_();
}

void Window::show() {
    visible_ = true;
    log_.push_back(name_ + ".Show");
}

IPrompt& Window::addPrompt() {
    prompt_ = std::make_unique<Prompt>(log_);
    return *prompt_;
}

void Window::pointerMoves(bool inside) {
    if (inside_ != inside && pointerInside_) {
        inside_ = inside;
        pointerInside_(inside);
    }
    inside_ = inside;
}

bool Button::contains(Point p) const {
    if (!window_.clientAreaContains(p)) return false;
    const int x = p.x - window_.screenRect.left, y = p.y - window_.screenRect.top;
    return x >= rect_.left && y >= rect_.top && x < rect_.left + rect_.width && y < rect_.top + rect_.height;
}

void Prompt::open(const PromptDesc& desc) {
    desc_ = desc;
    open_ = true;
    log_.push_back("Prompt.Open=" + desc.yes + "|" + desc.no);
}

void Prompt::close() {
    if (!open_) return;
    open_ = false;
    log_.push_back("Prompt.Close");
}

bool Prompt::clientAreaContains(Point p) const {
    return open_ && p.x >= screenRect.left && p.y >= screenRect.top && p.x < screenRect.left + screenRect.width &&
           p.y < screenRect.top + screenRect.height;
}

void Window::unload() {
    // A second window only hides.
    if (name_ != "Window") return setVisible(false);
    unloaded_ = true;
    log_.push_back("Window.Unload");
}

bool Pointer::GetCursorPos(Point& pos) {
    ++readings;
    bool ok = true;
    if (!outcomes.empty()) {
        ok = outcomes.front();
        outcomes.pop_front();
    }
    if (ok) pos = position;
    return ok;
}

bool Mouse::leftHeld() const {
    bool held = false;
    for (const Injection& c : calls) {
        if (c.flags & MOUSEEVENTF_LEFTUP) held = false;
        else if (c.flags & MOUSEEVENTF_LEFTDOWN) held = true;
    }
    return held;
}

std::vector<std::uint32_t> Mouse::flags() const {
    std::vector<std::uint32_t> out;
    for (const auto& c : calls) out.push_back(c.flags);
    return out;
}

bool Tray::show(Handle img, const std::string& text) {
    log_.push_back("Tray.Show");
    if (!available || shown) return false;
    shown = true;
    image = img;
    tip = text;
    return true;
}

bool Tray::setImage(Handle img) {
    log_.push_back("Tray.SetImage");
    if (!shown) return false;
    image = img;
    return true;
}

bool Tray::remove() {
    log_.push_back("Tray.Remove");
    if (!shown) return false;
    shown = false;
    return true;
}

void Tray::hostEnds() {
    available = false;
    if (!shown) return;
    shown = false;
    raise(TrayEvent::HostGone);
}

std::string Settings::GetSetting(const std::string& app, const std::string& section,
                                 const std::string& key, const std::string& def) {
    reads.push_back(key);
    auto it = values.find(app + "/" + section + "/" + key);
    return it == values.end() ? def : it->second;
}

void Settings::SaveSetting(const std::string& app, const std::string& section,
                           const std::string& key, const std::string& text) {
    values[app + "/" + section + "/" + key] = text;
    log_.push_back("SaveSetting " + key + "=" + text);
}

}  // namespace dwellor::fake

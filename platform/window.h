#pragma once
#include <functional>
#include <string>
#include <vector>

#include "platform/button.h"
#include "platform/check_box.h"
#include "platform/countdown_mark.h"
#include "platform/label.h"
#include "platform/picture_box.h"
#include "platform/prompt.h"
#include "platform/text_box.h"
#include "platform/tick_timer.h"
#include "platform/types.h"

namespace dwellor {

enum class Align { Left, Centre };

// How a control looks when it is created; the window lays it out at a fixed
// position and adds it to the tab order in creation order.
struct ControlDesc {
    std::string name;
    std::string text;
    std::string tooltip;
    Rect rect;
    Align align = Align::Left;
    bool border = false;    // single-line border (labels)
    bool wordWrap = false;  // labels that span lines
    bool exactColour = false;  // text drawn unsmoothed, so it shows exactly its colour
    bool visible = true;
    // What a screen reader says for the control; when empty it reads the
    // visible text and the tooltip.
    std::string accessibleName;
    std::string accessibleDescription;
    bool status = false;  // a status line: its changes are announced as status (labels)
    bool large = false;   // text drawn large, to be read from afar
};

// The images the program ships.
enum class Image { WindowIcon, Green, Red, Yellow };

enum class WindowState { Normal = 0, Minimised = 1 };

// The top-level window and the factory of its controls. Controls are owned by
// the window and live as long as it does.
class IWindow {
public:
    virtual ~IWindow() = default;

    virtual IButton& addButton(const ControlDesc& desc) = 0;
    virtual ITextBox& addTextBox(const ControlDesc& desc) = 0;
    virtual ICheckBox& addCheckBox(const ControlDesc& desc) = 0;
    virtual ILabel& addLabel(const ControlDesc& desc) = 0;
    virtual IPictureBox& addPictureBox(const ControlDesc& desc) = 0;
    virtual ITickTimer& addTimer(const std::string& name) = 0;
    // A window of its own for a question (see IPrompt), owned by this one.
    virtual IPrompt& addPrompt() = 0;
    // A second window, owned by this one and made the same way: hidden until
    // shown, a title and a close button (no minimise box, no place in the
    // task bar), kept above ordinary windows while shown. Its unload() only
    // hides it.
    virtual IWindow& addWindow(const std::string& name) = 0;
    // The ring shown beside the pointer while a click comes, owned by this
    // window.
    virtual ICountdownMark& addCountdownMark() = 0;

    virtual void setClientSize(int width, int height) = 0;
    virtual Handle loadImage(Image image) = 0;

    virtual std::string caption() const = 0;
    virtual void setCaption(const std::string& caption) = 0;
    virtual Handle icon() const = 0;
    virtual void setIcon(Handle icon) = 0;
    virtual bool visible() const = 0;
    virtual void setVisible(bool on) = 0;
    virtual WindowState windowState() const = 0;
    virtual void setWindowState(WindowState s) = 0;
    // Shows the window (not modal) and raises it, where it was when it was
    // last hidden. While shown it is kept above ordinary windows.
    virtual void show() = 0;
    // Whether a point on the screen lies in the window's client area while
    // the window is on screen (shown, not minimised).
    virtual bool clientAreaContains(Point screen) const = 0;
    // The frame (the window with its title bar) in screen pixels, and the
    // places of the screens' work areas.
    virtual Rect frame() const = 0;
    virtual std::vector<Rect> screens() const = 0;
    // Moves the frame's top-left corner there (the window system may still
    // keep it from where it cannot go).
    virtual void moveTo(Point topLeft) = 0;
    // Raised after the window has been moved (by the user or the system).
    virtual void onMoved(Handler h) = 0;
    // Raised after every change of size or window state.
    virtual void onResize(Handler h) = 0;
    // Raised with true when the pointer comes into the client area and with
    // false when it leaves it (or the window goes off screen).
    virtual void onPointerInside(std::function<void(bool inside)> h) = 0;
    // Raised instead of closing when the window system asks the window to
    // close (its close button, a window-menu item); the handler decides.
    virtual void onCloseRequest(Handler h) = 0;
    // Closes the window and ends the program's event loop.
    virtual void unload() = 0;
};

}  // namespace dwellor

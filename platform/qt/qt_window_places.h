#pragma once
#include <optional>

#include <QPoint>
#include <QRect>

class QWidget;

namespace dwellor::qt {

// Where the window system, not the client, knows and decides where windows
// are (a Wayland compositor): Dwellor's windows ask it for their places and
// to be moved, in the compositor's pixels. Unset on X11.
class WindowPlaces {
public:
    virtual ~WindowPlaces() = default;
    // The frame and the client area of a shown window; nothing while not
    // known.
    virtual std::optional<QRect> frame(const QWidget* w) const = 0;
    virtual std::optional<QRect> client(const QWidget* w) const = 0;
    // Puts the frame's top-left corner there: at once when the window is
    // shown, else when it is next shown. A window shown again without a
    // move comes back where it was hidden.
    virtual void moveTo(const QWidget* w, QPoint topLeft) = 0;
};

// The one in use, or null.
WindowPlaces* windowPlaces();
void setWindowPlaces(WindowPlaces* places);

}  // namespace dwellor::qt

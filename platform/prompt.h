#pragma once
#include <functional>
#include <string>

#include "platform/types.h"

namespace dwellor {

// A question with two large buttons in a small window of its own, kept above
// other windows and opened beside a point of the screen (not on it).
struct PromptDesc {
    std::string caption;
    std::string yes;  // the button that answers yes
    std::string no;
    Point near;  // where the pointer is
};

class IPrompt {
public:
    virtual ~IPrompt() = default;
    // Opens the window, or moves an open one beside the new point.
    virtual void open(const PromptDesc& desc) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Whether a point on the screen lies in the open window's client area.
    virtual bool clientAreaContains(Point screen) const = 0;
    // Raised from the event loop with true for the yes button, false for the
    // no button or the window being closed; the window stays open until
    // closed.
    virtual void onAnswer(std::function<void(bool yes)> h) = 0;
};

}  // namespace dwellor

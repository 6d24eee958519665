#pragma once
#include <string>

#include "platform/types.h"

namespace dwellor {

// A static text that can be clicked. It can also carry one icon image as
// storage (the pointer shape over it never changes).
class ILabel {
public:
    virtual ~ILabel() = default;
    virtual std::string text() const = 0;
    virtual void setText(const std::string& text) = 0;
    virtual Colour foreColour() const = 0;
    virtual void setForeColour(Colour c) = 0;
    virtual Handle mouseIcon() const = 0;
    virtual void setMouseIcon(Handle icon) = 0;
    // What a screen reader says about the label after its name.
    virtual void setAccessibleDescription(const std::string& text) = 0;
    virtual void onClick(Handler h) = 0;
};

}  // namespace dwellor

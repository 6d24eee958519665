#pragma once
#include <string>

#include "platform/types.h"

namespace dwellor {

// A single-line text box. The change handler runs synchronously inside every
// write that changes the text (so a handler writing its own box re-enters);
// writing the text it already holds raises nothing.
class ITextBox {
public:
    virtual ~ITextBox() = default;
    virtual std::string text() const = 0;
    virtual void setText(const std::string& text) = 0;
    virtual bool visible() const = 0;
    virtual void setVisible(bool on) = 0;
    virtual void onChange(Handler h) = 0;
};

}  // namespace dwellor

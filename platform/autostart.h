#pragma once

namespace dwellor {

// Whether Dwellor starts, hidden, when the user logs in: the desktop's own
// login entry for it.
class IAutostart {
public:
    virtual ~IAutostart() = default;
    virtual bool enabled() const = 0;
    // False, with nothing changed, when it could not be written.
    virtual bool setEnabled(bool on) = 0;
};

}  // namespace dwellor

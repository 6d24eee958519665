#pragma once
#include <memory>
#include <string>

#include "platform/types.h"

namespace dwellor::wlroots {

// Where Hyprland says the pointer is, asked on its request socket
// ($XDG_RUNTIME_DIR/hypr/<instance>/.socket.sock, under /tmp/hypr before
// version 0.40): one request a connection, answered at once.
class HyprlandCursor {
public:
    // Null outside Hyprland (no HYPRLAND_INSTANCE_SIGNATURE, or no socket).
    static std::unique_ptr<HyprlandCursor> open(const char* signature, const char* runtimeDir);
    explicit HyprlandCursor(std::string socketPath) : path_(std::move(socketPath)) {}

    // False, leaving `pos` as it is, when Hyprland does not answer sensibly.
    bool read(Point& pos) const;
    // A reply to "cursorpos": "X, Y".
    static bool parse(const std::string& reply, Point& pos);

private:
    std::string path_;
};

}  // namespace dwellor::wlroots

#pragma once
// The tests' own StatusNotifier watcher and host (fake_sni_host.py beside
// this file), driven over a socket.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/xvfb.h"

namespace dwellor::testsupport {

class FakeStatusNotifierHost {
public:
    // Starts it on the bus at `busAddress` and returns once it owns the
    // watcher's name; throws std::runtime_error, with its output, otherwise.
    // `command` is what runs it (another user's session: a copy, as that user).
    FakeStatusNotifierHost(const std::string& busAddress, const std::string& outputFile,
                           milliseconds timeout = std::chrono::seconds(10),
                           const std::vector<std::string>& command = {"/usr/bin/python3", FAKE_SNI_HOST});
    ~FakeStatusNotifierHost();
    FakeStatusNotifierHost(const FakeStatusNotifierHost&) = delete;
    FakeStatusNotifierHost& operator=(const FakeStatusNotifierHost&) = delete;

    struct Items {
        int live = 0;        // registered and still on the bus
        int registered = 0;  // registrations since it started
    };
    Items items();

    // The one live item's properties; none when there is not exactly one.
    struct Item {
        std::string tip;    // the tool tip's title
        std::string menu;   // the menu's object path
        std::string sizes;  // "16x16,32x32"
        std::string fill;   // most frequent opaque colour that is not a grey, "rrggbb" or "none"
    };
    std::optional<Item> item();

    // The host activates the live item, or asks for its context menu, as a
    // click on it would. False when there is no live item.
    bool activate();
    bool contextMenu();

    // Ends the host (SIGTERM), so that the watcher's name leaves the bus.
    void end();

private:
    std::string ask(const std::string& command);

    ChildProcess process_;
    int control_ = -1;
};

}  // namespace dwellor::testsupport

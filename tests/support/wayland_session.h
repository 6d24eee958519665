#pragma once
// A headless Wayland compositor of the tests' own, with its session bus,
// run (with every client under test) as an unprivileged user when the tests
// run as root, since compositors refuse root; the program is installed into
// that user's private home. A probe window logs the clicks it gets.

#include <string>
#include <vector>

#include "tests/support/xvfb.h"

namespace dwellor::testsupport {

struct ProbeClick {
    bool press;
    int button, x, y;
    friend bool operator==(const ProbeClick&, const ProbeClick&) = default;
};
std::ostream& operator<<(std::ostream& os, const ProbeClick& c);

class WaylandSession {
public:
    enum class Compositor { KWin, Sway };
    friend void PrintTo(Compositor c, std::ostream* os) { *os << (c == Compositor::KWin ? "KWin" : "sway"); }
    // Installs the program into the private home (its desktop entry with
    // it) and starts the compositor and its session bus there. Throws
    // std::runtime_error, with the compositor's output, when it does not
    // come up.
    explicit WaylandSession(Compositor compositor);
    ~WaylandSession();
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    // A program of the tests, copied where the user may run it; with
    // `granted`, KWin lets it use fake input (a desktop entry naming it).
    std::string addProgram(const std::string& path, bool granted);
    // argv run as the user (for a ChildProcess of the caller's own).
    std::vector<std::string> asUser(const std::vector<std::string>& argv) const;
    const std::string& busAddress() const { return busAddress_; }
    // argv as the user, in the session's environment plus `env`.
    void spawn(ChildProcess& child, const std::vector<std::string>& argv, const std::string& outputFile,
               const std::vector<std::string>& env = {});
    // Runs argv to its end (within the patience); its output.
    std::string run(const std::vector<std::string>& argv, ExitStatus& status);

    const std::string& dir() const { return dir_; }
    // The installed program, and its settings file (made before it starts).
    std::string dwellor() const { return dir_ + "/home/.local/bin/dwellor"; }
    void writeSettings(const std::string& text);

    // The probe: a full-screen window; returns once it is shown.
    void startProbe();
    std::vector<ProbeClick> clicks() const;

    // The driver: moves the pointer (and stays, so the seat keeps its
    // pointer); each order returns once the compositor has it.
    void order(const std::string& line);
    void moveTo(int x, int y) { order("move " + std::to_string(x) + " " + std::to_string(y)); }

private:
    std::vector<std::string> environment(const std::vector<std::string>& extra) const;
    void giveToUser(const std::string& path) const;

    std::string dir_;
    unsigned uid_ = 0, gid_ = 0;
    bool switchUser_ = false;
    std::string busAddress_;
    std::string socket_;
    std::string desktop_;
    ChildProcess bus_, compositor_, probe_, driver_;
    int driverIn_ = -1;
    int orders_ = 0;
};

}  // namespace dwellor::testsupport

#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/mouse_input.h"
#include "platform/pointer.h"
#include "platform/pointer_motion.h"

namespace dwellor::x11 {

// One connection to the X server for reading the pointer and injecting button
// events through XTEST. Opened once; closed when destroyed.
class X11Input final : public IPointer, public IPointerMotion, public IMouseInput {
public:
    // Returns null and sets `error` when there is no display or it lacks XTEST.
    static std::unique_ptr<X11Input> open(const char* displayName, std::string& error);
    ~X11Input() override;
    X11Input(const X11Input&) = delete;
    X11Input& operator=(const X11Input&) = delete;

    // Whether the server is XWayland (it advertises the XWAYLAND extension).
    bool isXWayland() const;

    // The program's own windows, asked for on a rest: X window ids, each
    // with whether the frame a window manager puts around it counts too (a
    // tray icon is embedded in the tray's window instead: only its own
    // rectangle counts).
    struct OwnWindow {
        unsigned long id;
        bool withFrame;
    };
    void setOwnWindows(std::function<std::vector<OwnWindow>()> list);

    // Fails when the pointer is not on the display's default screen.
    bool GetCursorPos(Point& pos) override;
    bool overOwnWindow() const override;
    // Watches the server's raw pointer motion (XInput 2.1 or later; false
    // without it). Moves made with XWarpPointer are not raw motion: the
    // server sends none for them.
    bool watchMotion(bool on) override;
    void onMoved(Handler moved) override;
    // This connection's descriptor: readable when events arrive.
    int connectionFd() const;
    // Reads every event that has arrived and tells `moved` once if any of it
    // was pointer motion while watching. Call it when connectionFd() is
    // readable, and before each wait of the event loop: the replies waited
    // for here (pointer readings, clicks) read events off the socket into
    // Xlib's queue, where the descriptor no longer shows them. Does nothing
    // once the server has closed the connection.
    void pumpEvents();
    // Each flag becomes one button event (left = 1, right = 3), in flag order,
    // where the pointer is; flushed before returning, and a release of a held
    // left press is waited for until the server has it.
    void mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::int32_t data,
                     std::uintptr_t extraInfo) override;

    // Keeps a left press injected here from outliving the process: exit()
    // (Qt calls it when its own X connection breaks) releases it through this
    // connection, and a guardian process, forked now, releases it when the
    // process dies in a way no code survives (a crash, SIGKILL). Call once,
    // before any thread starts.
    void guardHeldPress();
    // The guardian's end of their socket, readable once it has ended; -1
    // without one.
    int guardianFd() const;
    // Whether the guardian has ended (it is then reaped and forgotten).
    bool guardianGone();
    // Releases a left press injected here and still held, unless the
    // connection is gone.
    void releaseHeldLeft();
    // Whether the server still holds this connection open; never blocks.
    bool connectionAlive() const;
    // The same for the connection guardHeldPress was last called on; false
    // when there is none (any more).
    static bool guardedConnectionAlive();

private:
    struct Impl;
    explicit X11Input(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace dwellor::x11

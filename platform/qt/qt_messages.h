#pragma once

namespace dwellor::qt {

// When Qt's X connection breaks, Qt ends the program saying the X server may
// have died. Usually the server is fine and the connection was killed on
// purpose (xkill, a window manager closing the window's client): when
// `serverAlive` says so, that is what is written instead. Other messages pass
// through unchanged. Install once, before the QApplication.
void explainBrokenConnection(bool (*serverAlive)());

// On Wayland, Qt loads OpenGL (with Mesa and LLVM: 50 MB) to draw windows
// that never use it: this has them drawn in shared memory as on X11, and
// keeps Qt's two warnings about it quiet. Before the QApplication.
void drawWithoutOpenGL();

}  // namespace dwellor::qt

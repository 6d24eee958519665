#include "platform/qt/qt_messages.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>

namespace dwellor::qt {

namespace {

// Plain pointers: a message may come while static objects are destroyed.
bool (*serverAlive)() = nullptr;
bool quietBuffers = false;
QtMessageHandler previous = nullptr;

void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (quietBuffers && type == QtWarningMsg && context.category &&
        qstrcmp(context.category, "qt.qpa.wayland") == 0 && message.contains(QLatin1String("client buffer integration")))
        return;
    if (type == QtWarningMsg && serverAlive && message.startsWith(QLatin1String("The X11 connection broke")) && serverAlive()) {
        std::fputs("Dwellor's X connection was killed (xkill or the window manager); the X server is still running\n",
                   stderr);
        return;
    }
    previous(type, context, message);
}

}  // namespace

void explainBrokenConnection(bool (*alive)()) {
    serverAlive = alive;
    // Qt hands back its default handler when none was installed.
    if (!previous) previous = qInstallMessageHandler(handle);
}

void drawWithoutOpenGL() {
    // No such integration: Qt says so and draws in shared memory.
    if (qEnvironmentVariableIsEmpty("QT_WAYLAND_CLIENT_BUFFER_INTEGRATION"))
        qputenv("QT_WAYLAND_CLIENT_BUFFER_INTEGRATION", "none");
    quietBuffers = true;
    if (!previous) previous = qInstallMessageHandler(handle);
}

}  // namespace dwellor::qt

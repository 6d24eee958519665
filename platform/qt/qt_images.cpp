#include "platform/qt/qt_images.h"

#include <QPixmap>

#include "assets/mode_green.xpm"
#include "assets/mode_red.xpm"
#include "assets/mode_yellow.xpm"
#include "assets/window16.xpm"
#include "assets/window32.xpm"

namespace dwellor::qt {

namespace {
constexpr Handle kFirstHandle = 0x10;
}

Handle imageHandle(Image image) { return kFirstHandle + static_cast<Handle>(image); }

QIcon iconFor(Handle handle) {
    if (handle < kFirstHandle || handle > imageHandle(Image::Yellow)) return {};
    switch (static_cast<Image>(handle - kFirstHandle)) {
        case Image::WindowIcon: {
            QIcon icon;
            icon.addPixmap(QPixmap(window16_xpm));
            icon.addPixmap(QPixmap(window32_xpm));
            return icon;
        }
        case Image::Green: return QIcon(QPixmap(mode_green_xpm));
        case Image::Red: return QIcon(QPixmap(mode_red_xpm));
        case Image::Yellow: return QIcon(QPixmap(mode_yellow_xpm));
    }
    return {};
}

}  // namespace dwellor::qt

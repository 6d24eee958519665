#include "platform/win32/win32_images.h"

#include "platform/win32/resource_ids.h"

#include <map>
#include <utility>

namespace dwellor::win32 {

namespace {
constexpr Handle kFirstHandle = 0x10;
}

Handle imageHandle(Image image) { return kFirstHandle + static_cast<Handle>(image); }

HICON iconFor(Handle handle, int size) {
    if (handle < kFirstHandle || handle > imageHandle(Image::Yellow)) return nullptr;
    static std::map<std::pair<Handle, int>, HICON> loaded;
    HICON& icon = loaded[{handle, size}];
    if (!icon) {
        static constexpr int ids[] = {IDI_WINDOW, IDI_GREEN, IDI_RED, IDI_YELLOW};
        // The drawing nearest in size, scaled to `size`.
        icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(ids[handle - kFirstHandle]),
                                             IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    }
    return icon;
}

}  // namespace dwellor::win32

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

std::wstring widen(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string narrow(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

}  // namespace dwellor::win32

#pragma once
#include <cstdint>

namespace dwellor {

// Button flags of an injection; several may be combined in one call and are
// carried out in this order.
inline constexpr std::uint32_t MOUSEEVENTF_LEFTDOWN = 0x0002;
inline constexpr std::uint32_t MOUSEEVENTF_LEFTUP = 0x0004;
inline constexpr std::uint32_t MOUSEEVENTF_RIGHTDOWN = 0x0008;
inline constexpr std::uint32_t MOUSEEVENTF_RIGHTUP = 0x0010;

// Injects button events where the pointer is, without moving it.
class IMouseInput {
public:
    virtual ~IMouseInput() = default;
    virtual void mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy,
                             std::int32_t data, std::uintptr_t extraInfo) = 0;
};

}  // namespace dwellor

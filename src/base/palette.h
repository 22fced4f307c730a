#pragma once
// The colours of the windows, as 0xRRGGBB, so that the Qt-free layers can name
// them too (the settings' tints).
#include <cstdint>

namespace qv::palette {

inline constexpr std::uint32_t kWhite = 0xFFFFFF;
inline constexpr std::uint32_t kLightGrey = 0xF0F0F0;  // 240,240,240: second columns, window ground
inline constexpr std::uint32_t kVideoTint = 0xFFC4FF;  // 255,196,255
inline constexpr std::uint32_t kAudioTint = 0xC4FFFF;  // 196,255,255
inline constexpr std::uint32_t kOptionsTint = 0xFFFF80;   // 255,255,128
inline constexpr std::uint32_t kControlText = 0x464646;   // 70,70,70: text of the edit controls
inline constexpr std::uint32_t kDisabledText = 0xA0A0A0;  // 160,160,160
inline constexpr std::uint32_t kMidGrey = 0x808080;       // 128,128,128: shadows, sunken edges

}  // namespace qv::palette

#pragma once
// What the main window's controls hold at the moment of use. Fields carry the
// names of their controls; catalogue fields are row indices, -1 for none.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/catalogues.h"

namespace qv {

struct ConversionSettings {
    int C1_02 = -1;         // destination mode: 0 source folder, 1 the folder C1_03
    std::string C1_03;      // destination folder
    int C2_00 = -1;         // preset list
    int C2_01 = -1, C2_02 = -1, C2_03 = -1, C2_04 = -1, C2_05 = -1, C2_06 = -1;
    int C2_07_1 = 0, C2_07_2 = 0, C2_07_3 = 0, C2_07_4 = 0;  // crop top, bottom, left, right
    int C3_01 = -1, C3_02 = -1, C3_03 = -1, C3_04 = -1, C3_05 = -1, C3_06 = -1;
    bool CheckBox1 = false;  // two-pass
    bool CheckBox2 = false;  // multi-threaded
    bool CheckBox3 = false;  // no picture
    bool CheckBox4 = false;  // no sound
    bool CheckBox5 = false;  // time range on
    int C4_01_1 = 0, C4_01_2 = 0, C4_01_3 = 0;  // range start h, m, s
    int C4_01_4 = 0, C4_01_5 = 0, C4_01_6 = 0;  // range length h, m, s
};

// Colours as 0xRRGGBB.
inline constexpr std::uint32_t kVideoTint = 0xFFC4FF;    // 255,196,255
inline constexpr std::uint32_t kAudioTint = 0xC4FFFF;    // 196,255,255
inline constexpr std::uint32_t kOptionsTint = 0xFFFF80;  // 255,255,128
inline constexpr std::uint32_t kWhite = 0xFFFFFF;

enum class Panel { Video, Audio, Options };

// Background of a catalogue control with the given row index.
std::uint32_t tintForIndex(Panel panel, int itemIndex);
// Background of a spin edit with the given value.
std::uint32_t tintForValue(Panel panel, int value);

// The destination folder with every trailing separator removed. A root folder
// ("/" here, "D:\" on Windows) stays usable as a destination.
std::string stripTrailingSeparators(std::string_view path);

// The separator used when a folder and a name are joined.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// folder + separator + name; a folder that already ends in the separator (a root
// folder) gets no second one. An empty folder gives separator + name.
std::string joinPath(std::string_view folder, std::string_view name);

// Column `column` of row `index` of a catalogue; empty when no such row (index -1
// included) or the row has fewer columns.
std::string selectedColumn(CatalogueId id, int index, int column = 0);

// True when the catalogue index counts as a choice of its own (anything but the
// keep-source row 0; -1 counts too).
inline bool isSet(int itemIndex) { return itemIndex != 0; }

// Whether the folder edit C1_03 and its label L0_03 are enabled for a C1_02 index.
inline bool destinationFolderEnabled(int c1_02Index) { return c1_02Index == 1; }

// The controls that follow CheckBox5's state, in the order they are switched.
inline constexpr std::array<std::string_view, 12> kRangeControls{
    "C4_01_1", "L4_04_1", "C4_01_2", "L4_04_2", "C4_01_3", "L4_04_3",
    "C4_01_4", "L4_04_4", "C4_01_5", "L4_04_5", "C4_01_6", "L4_04_6",
};

}  // namespace qv

#pragma once
// What the main window's controls hold at the moment of use. Fields carry the
// names of their controls; catalogue fields are row indices, -1 for none.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/catalogues.h"

namespace qv {

struct ConversionSettings {
    int C1_02 = -1;     // destination mode: 0 source folder, 1 the folder C1_03
    std::string C1_03;  // destination folder
    int C2_00 = -1;     // preset list
    int C2_01 = -1, C2_02 = -1, C2_03 = -1, C2_04 = -1, C2_05 = -1, C2_06 = -1;
    int C2_07_1 = 0, C2_07_2 = 0, C2_07_3 = 0, C2_07_4 = 0;  // crop top, bottom, left, right
    int C3_01 = -1, C3_02 = -1, C3_03 = -1, C3_04 = -1, C3_05 = -1, C3_06 = -1;
    bool CheckBox1 = false;                     // two-pass
    bool CheckBox2 = false;                     // multi-threaded
    bool CheckBox3 = false;                     // no picture
    bool CheckBox4 = false;                     // no sound
    bool CheckBox5 = false;                     // time range on
    int C4_01_1 = 0, C4_01_2 = 0, C4_01_3 = 0;  // range start h, m, s
    int C4_01_4 = 0, C4_01_5 = 0, C4_01_6 = 0;  // range length h, m, s

    friend bool operator==(const ConversionSettings&, const ConversionSettings&) = default;
};

enum class Panel { Video, Audio, Options };

// Background of a catalogue control with the given row index.
std::uint32_t tintForIndex(Panel panel, int itemIndex);
// Background of a spin edit with the given value.
std::uint32_t tintForValue(Panel panel, int value);

// Column `column` of row `index` of a catalogue; empty when no such row (index -1
// included) or the row has fewer columns.
std::string selectedColumn(CatalogueId id, int index, int column = 0);

// True when the catalogue index counts as a choice of its own (anything but the
// keep-source row 0; -1 counts too).
inline bool isSet(int itemIndex) { return itemIndex != 0; }

// How a setting control holds its value.
enum class ControlKind { Index, Value, Check, Folder };

// What else a control does when its value changes.
enum class ControlRole {
    Plain,
    DestinationMode,    // enables the destination folder for one of its rows
    DestinationFolder,  // keeps its text free of trailing separators
    PresetList,         // a user's choice applies the preset to the preset-driven controls
    RangeSwitch,        // enables the range group
};

// One setting control of the main window. Every list of controls (the settings
// record, the settings file, preset application, the range group) is this table.
struct ControlEntry {
    std::string_view name;  // the control's member and object name
    ControlKind kind;
    std::string_view section, key;         // its place in the settings file
    std::optional<Panel> tint;             // background tint for a value other than the default
    std::optional<CatalogueId> catalogue;  // the rows it offers
    int presetColumn = 0;                  // column of a preset row that drives it; 0 none
    bool inRange = false;                  // follows the range switch
    std::string_view rangeLabel;           // the label beside it that follows too
    ControlRole role = ControlRole::Plain;
    int ConversionSettings::*number = nullptr;        // Index and Value
    bool ConversionSettings::*flag = nullptr;         // Check
    std::string ConversionSettings::*text = nullptr;  // Folder
};

namespace control_rows {
using S = ConversionSettings;
using K = ControlKind;
using R = ControlRole;
using C = CatalogueId;
constexpr auto V = Panel::Video;
constexpr auto A = Panel::Audio;
constexpr auto O = Panel::Options;
constexpr std::nullopt_t none = std::nullopt;

constexpr ControlEntry index(std::string_view name, std::string_view section,
                             std::optional<Panel> tint, std::optional<CatalogueId> rows,
                             int presetColumn, int S::*field, ControlRole role = R::Plain) {
    return {name,  K::Index, section, name,  tint,    rows,   presetColumn,
            false, {},       role,    field, nullptr, nullptr};
}
constexpr ControlEntry value(std::string_view name, std::string_view section, Panel tint,
                             int S::*field, std::string_view rangeLabel = {}) {
    return {name,       K::Value, section, name,    tint,   none, 0, !rangeLabel.empty(),
            rangeLabel, R::Plain, field,   nullptr, nullptr};
}
constexpr ControlEntry check(std::string_view name, std::string_view key, bool S::*field,
                             ControlRole role = R::Plain) {
    return {name, K::Check, "SET4", key, none, none, 0, false, {}, role, nullptr, field, nullptr};
}
constexpr ControlEntry folder(std::string_view name, std::string_view section,
                              std::string S::*field) {
    return {name,    K::Folder, section, name, none, none, 0, false, {}, R::DestinationFolder,
            nullptr, nullptr,   field};
}

// In the order the settings file is read and written; the preset column says
// which column of a preset row drives the control.
// clang-format off
inline constexpr ControlEntry kControls[] = {
    //     name         section  tint  rows       preset  field
    folder("C1_03",     "SET1",                            &S::C1_03),
    index ("C1_02",     "SET1",  none, C::C1_02,  0,       &S::C1_02, R::DestinationMode),
    index ("C2_00",     "SET2",  none, none,      0,       &S::C2_00, R::PresetList),
    index ("C2_01",     "SET2",  V,    C::C2_01,  1,       &S::C2_01),
    index ("C2_02",     "SET2",  V,    C::C2_02,  2,       &S::C2_02),
    index ("C2_03",     "SET2",  V,    C::C2_03,  0,       &S::C2_03),
    index ("C2_04",     "SET2",  V,    C::C2_04,  3,       &S::C2_04),
    index ("C2_05",     "SET2",  V,    C::C2_05,  5,       &S::C2_05),
    index ("C2_06",     "SET2",  V,    C::C2_06,  4,       &S::C2_06),
    value ("C2_07_1",   "SET2",  V,                        &S::C2_07_1),
    value ("C2_07_2",   "SET2",  V,                        &S::C2_07_2),
    value ("C2_07_3",   "SET2",  V,                        &S::C2_07_3),
    value ("C2_07_4",   "SET2",  V,                        &S::C2_07_4),
    index ("C3_01",     "SET3",  A,    C::C3_01,  7,       &S::C3_01),
    index ("C3_02",     "SET3",  A,    C::C3_02,  9,       &S::C3_02),
    index ("C3_03",     "SET3",  A,    C::C3_03,  8,       &S::C3_03),
    index ("C3_04",     "SET3",  A,    C::C3_04,  6,       &S::C3_04),
    index ("C3_05",     "SET3",  A,    C::C3_05,  0,       &S::C3_05),
    index ("C3_06",     "SET3",  A,    C::C3_06,  0,       &S::C3_06),
    check ("CheckBox1", "C4_C1",                           &S::CheckBox1),
    check ("CheckBox2", "C4_C2",                           &S::CheckBox2),
    check ("CheckBox3", "C4_C3",                           &S::CheckBox3),
    check ("CheckBox4", "C4_C4",                           &S::CheckBox4),
    check ("CheckBox5", "C4_C5",                           &S::CheckBox5, R::RangeSwitch),
    //     name         section  tint                      field          range label
    value ("C4_01_1",   "SET4",  O,                        &S::C4_01_1,   "L4_04_1"),
    value ("C4_01_2",   "SET4",  O,                        &S::C4_01_2,   "L4_04_2"),
    value ("C4_01_3",   "SET4",  O,                        &S::C4_01_3,   "L4_04_3"),
    value ("C4_01_4",   "SET4",  O,                        &S::C4_01_4,   "L4_04_4"),
    value ("C4_01_5",   "SET4",  O,                        &S::C4_01_5,   "L4_04_5"),
    value ("C4_01_6",   "SET4",  O,                        &S::C4_01_6,   "L4_04_6"),
};
// clang-format on
}  // namespace control_rows
using control_rows::kControls;

// The preset-driven controls in the order of their preset columns (1, 2, ...).
std::vector<const ControlEntry*> presetDrivenControls();

// Whether the folder edit C1_03 and its label L0_03 are enabled for a C1_02 index.
inline bool destinationFolderEnabled(int c1_02Index) { return c1_02Index == 1; }

}  // namespace qv

#pragma once
// The settings file's conversion settings and the presets, read without a window: the
// main window and the command-line tool take them through these, so both convert alike.
#include <string>
#include <string_view>
#include <vector>

#include "settings/conversion_settings.h"
#include "settings/profile_file.h"

namespace qv {

inline constexpr std::string_view kSettingsFileName = "Quorvane_R.ini";

// The settings file of the program in programFolder: "Quorvane_R.ini" in
// settingsFolder(programFolder).
std::string settingsFilePath(const std::string& programFolder);

// The highest value a spin-edit setting takes (the lowest is 0).
int settingValueMax(const ControlEntry& entry);

// The settings after reading the file over `start`, as the controls hold them: a missing
// key keeps the start value, a row index outside the catalogue reads as no row (-1), a
// value is held within its range, an empty destination folder is the program folder, and
// the folder keeps no trailing separator. presetRows: rows of the preset list, the manual
// row included.
ConversionSettings settingsFromFile(const ProfileFile& ini, ConversionSettings start,
                                    const std::string& programFolder, int presetRows);

// The settings a window shows before any file is read: no row chosen, values 0, boxes off,
// the folder as given.
ConversionSettings startSettings(const std::string& destinationFolder);

// Applies the preset row (its whole text, UTF-8) to the preset-driven settings as picking it
// does: each goes to its keep-source row, then to the row its column names, if any.
void applyPreset(ConversionSettings& s, std::string_view presetRow);

// The index in `lines` (the preset file's lines as bytes) of the first preset named `name`
// (UTF-8, column 0 of the row); -1 when none is.
int findPreset(const std::vector<std::string>& lines, std::string_view name);

}  // namespace qv

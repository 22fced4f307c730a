#include "settings/settings_file.h"

#include <algorithm>

#include "base/file_places.h"
#include "base/path.h"
#include "settings/catalogues.h"
#include "settings/column_split.h"
#include "settings/preset_file.h"
#include "settings/preset_match.h"

namespace qv {

std::string settingsFilePath(const std::string& programFolder) {
    return joinPath(settingsFolder(programFolder), kSettingsFileName);
}

int settingValueMax(const ControlEntry& entry) {
    if (entry.name.starts_with("C2_07_")) return 99999;                 // crop, in pixels
    if (entry.name == "C4_01_1" || entry.name == "C4_01_4") return 99;  // hours
    return 59;                                                          // minutes and seconds
}

ConversionSettings settingsFromFile(const ProfileFile& ini, ConversionSettings start,
                                    const std::string& programFolder, int presetRows) {
    ConversionSettings s = std::move(start);
    for (const ControlEntry& entry : kControls) {
        switch (entry.kind) {
            case ControlKind::Folder: {
                std::string folder = ini.readString(entry.section, entry.key, s.*entry.text);
                if (folder.empty()) folder = programFolder;
                s.*entry.text = stripTrailingSeparators(folder);
                break;
            }
            case ControlKind::Index: {
                const int rows = entry.catalogue
                                     ? static_cast<int>(catalogue(*entry.catalogue).size())
                                     : presetRows;
                const int index = ini.readInt(entry.section, entry.key, s.*entry.number);
                s.*entry.number = index >= 0 && index < rows ? index : -1;
                break;
            }
            case ControlKind::Value:
                s.*entry.number = std::clamp(ini.readInt(entry.section, entry.key, s.*entry.number),
                                             0, settingValueMax(entry));
                break;
            case ControlKind::Check:
                s.*entry.flag = ini.readInt(entry.section, entry.key, s.*entry.flag ? 1 : 0) != 0;
                break;
        }
    }
    return s;
}

ConversionSettings startSettings(const std::string& destinationFolder) {
    ConversionSettings s;
    s.C1_03 = destinationFolder;
    return s;
}

void applyPreset(ConversionSettings& s, std::string_view presetRow) {
    for (const ControlEntry* entry : presetDrivenControls()) {
        s.*entry->number = 0;
        const int match =
            presetRowFor(catalogue(*entry->catalogue), columnOf(presetRow, entry->presetColumn));
        if (match >= 0) s.*entry->number = match;
    }
}

int findPreset(const std::vector<std::string>& lines, std::string_view name) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (columnOf(presetRowText(lines[i]), 0) == name) return static_cast<int>(i);
    return -1;
}

}  // namespace qv

#pragma once
// The fixed rows of every drop-down list of the main window. Stored indices refer
// to these rows, so their order is part of the settings file's format.
#include <span>
#include <string_view>

namespace qv {

enum class CatalogueId {
    C1_02,  // destination mode
    C2_01,  // container
    C2_02,  // frame size
    C2_03,  // aspect ratio
    C2_04,  // video codec
    C2_05,  // video bitrate
    C2_06,  // frame rate
    C3_01,  // audio codec
    C3_02,  // audio bitrate
    C3_03,  // sample rate
    C3_04,  // channels
    C3_05,  // volume
    C3_06,  // audio sync correction
};

// Rows of one catalogue, UTF-8, in index order.
std::span<const std::string_view> catalogue(CatalogueId id);

// The built-in first row of the preset list C2_00.
extern const std::string_view kManualPresetRow;

}  // namespace qv

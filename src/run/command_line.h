#pragma once
// The encoder's arguments for one pass and for the thumbnail call.
#include <string>
#include <vector>

#include "settings/conversion_settings.h"

namespace qv {

struct EncoderCommand {
    std::vector<std::string> args;  // what the process is started with, one element each
    std::string text;               // the same arguments as one text, byte for byte
};

EncoderCommand buildConversionCommand(const ConversionSettings& s, const std::string& sourcePath,
                                      const std::string& destPath, int pass, bool previewMode);

EncoderCommand buildThumbnailCommand(const std::string& sourcePath,
                                     const std::string& programFolder);

// programFolder + separator + "_thumb.jpg"
std::string thumbnailPath(const std::string& programFolder);

}  // namespace qv

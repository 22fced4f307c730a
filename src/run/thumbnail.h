#pragma once
// Decoding of the thumbnail picture the encoder writes for the progress window.
#include <cstddef>
#include <string>
#include <vector>

#include "base/file_io.h"

namespace qv {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;  // width * height * 3 bytes, rows top to bottom, R G B
};

// Decodes a whole JPEG picture. A file that cannot be read, or that is corrupt or cut
// short, gives a failure with its reason; `out` is then left empty.
FileResult decodeJpegFile(const std::string& path, RgbImage& out);
FileResult decodeJpeg(const unsigned char* data, std::size_t size, RgbImage& out);

}  // namespace qv

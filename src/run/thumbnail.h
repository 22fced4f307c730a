#pragma once
// Decoding of the thumbnail picture the encoder writes for the progress window.
#include <cstddef>
#include <string>
#include <vector>

namespace qv {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;  // width * height * 3 bytes, rows top to bottom, R G B
};

// Decodes a whole JPEG picture. A file that cannot be read, or that is corrupt or cut
// short, gives false and a message; `out` is then left empty.
bool decodeJpegFile(const std::string& path, RgbImage& out, std::string* error = nullptr);
bool decodeJpeg(const unsigned char* data, std::size_t size, RgbImage& out,
                std::string* error = nullptr);

}  // namespace qv

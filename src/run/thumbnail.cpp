#include "run/thumbnail.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace qv {
namespace {

// Far above any thumbnail; keeps a forged header from asking for gigabytes.
constexpr unsigned long kMaxPixels = 64ul * 1024 * 1024;
constexpr std::size_t kMaxFileBytes = 64u * 1024 * 1024;

// Everything the decoder touches lives here, outside the jumping function's frame,
// so nothing has to be volatile and nothing with a destructor is skipped by longjmp.
struct DecodeState {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    unsigned char* pixels;  // malloc'ed; owned by the caller once decodeRaw returns 1
    unsigned width;
    unsigned height;
};

[[noreturn]] void onFatal(j_common_ptr cinfo) {
    auto* state = reinterpret_cast<DecodeState*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, state->message);
    std::longjmp(state->jump, 1);
}

// Warnings are raised for data cut short or damaged; the library would go on and
// invent the missing part, so a picture with any of them is refused.
void onMessage(j_common_ptr cinfo, int level) {
    if (level < 0) onFatal(cinfo);
}

// Plain C-style: only trivially destructible locals between setjmp and longjmp.
int decodeRaw(const unsigned char* data, unsigned long size, DecodeState* state) {
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&state->pub);
    state->pub.error_exit = onFatal;
    state->pub.emit_message = onMessage;
    state->pixels = nullptr;
    state->message[0] = '\0';
    if (setjmp(state->jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::free(state->pixels);
        state->pixels = nullptr;
        return 0;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const unsigned long pixels =
        static_cast<unsigned long>(cinfo.output_width) * cinfo.output_height;
    if (cinfo.output_components != 3 || pixels == 0 || pixels > kMaxPixels) {
        std::snprintf(state->message, sizeof state->message, "unsupported picture size %ux%u",
                      cinfo.output_width, cinfo.output_height);
        jpeg_destroy_decompress(&cinfo);
        return 0;
    }
    const std::size_t stride = static_cast<std::size_t>(cinfo.output_width) * 3;
    state->pixels = static_cast<unsigned char*>(std::malloc(stride * cinfo.output_height));
    if (!state->pixels) {
        std::snprintf(state->message, sizeof state->message, "out of memory");
        jpeg_destroy_decompress(&cinfo);
        return 0;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = state->pixels + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    state->width = cinfo.output_width;
    state->height = cinfo.output_height;
    jpeg_destroy_decompress(&cinfo);
    return 1;
}

}  // namespace

FileResult decodeJpeg(const unsigned char* data, std::size_t size, RgbImage& out) {
    out = RgbImage{};
    if (size == 0) {
        return FileResult::failure("empty file");
    }
    if (size > kMaxFileBytes) {
        return FileResult::failure("file too large for a picture");
    }
    DecodeState state;
    if (!decodeRaw(data, static_cast<unsigned long>(size), &state)) {
        return FileResult::failure(state.message);
    }
    const std::size_t bytes = static_cast<std::size_t>(state.width) * state.height * 3;
    out.width = static_cast<int>(state.width);
    out.height = static_cast<int>(state.height);
    out.pixels.assign(state.pixels, state.pixels + bytes);
    std::free(state.pixels);
    return FileResult::success();
}

FileResult decodeJpegFile(const std::string& path, RgbImage& out) {
    out = RgbImage{};
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return FileResult::failure("cannot open " + path);
    }
    std::vector<unsigned char> bytes;
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    in.seekg(0, std::ios::beg);
    if (length < 0 || !in) {
        return FileResult::failure("cannot read " + path);
    }
    if (static_cast<unsigned long long>(length) > kMaxFileBytes) {
        return FileResult::failure("file too large for a picture: " + path);
    }
    bytes.resize(static_cast<std::size_t>(length));
    if (length > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), length)) {
        return FileResult::failure("cannot read " + path);
    }
    return decodeJpeg(bytes.data(), bytes.size(), out);
}

}  // namespace qv

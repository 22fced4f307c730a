#include "run/thumbnail.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// An 80x60 picture: red rising to the right, green rising downwards, blue fixed.
std::vector<unsigned char> encodeTestPicture(int width, int height, bool gray, bool progressive) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = gray ? 1 : 3;
    cinfo.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * cinfo.input_components);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            if (gray) {
                row[x] = 200;
            } else {
                row[x * 3] = static_cast<unsigned char>(x * 255 / (width - 1));
                row[x * 3 + 1] = static_cast<unsigned char>(y * 255 / (height - 1));
                row[x * 3 + 2] = 64;
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<unsigned char> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

class ThumbnailDecode : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("qv_thumb_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write(const std::string& name, const std::vector<unsigned char>& bytes) {
        const fs::path p = dir_ / name;
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }

    fs::path dir_;
};

int channel(const qv::RgbImage& img, int x, int y, int c) {
    return img.pixels[(static_cast<std::size_t>(y) * img.width + x) * 3 + c];
}

TEST_F(ThumbnailDecode, ValidPictureGivesItsSizeAndColours) {
    const std::string path = write("_thumb.jpg", encodeTestPicture(80, 60, false, false));
    qv::RgbImage img;
    const qv::FileResult decoded = qv::decodeJpegFile(path, img);
    ASSERT_TRUE(decoded) << decoded.message;
    EXPECT_EQ(img.width, 80);
    EXPECT_EQ(img.height, 60);
    ASSERT_EQ(img.pixels.size(), 80u * 60u * 3u);
    // Lossy, so only roughly: the corners carry the gradient's ends.
    EXPECT_LT(channel(img, 0, 0, 0), 40);
    EXPECT_GT(channel(img, 79, 0, 0), 215);
    EXPECT_LT(channel(img, 0, 0, 1), 40);
    EXPECT_GT(channel(img, 0, 59, 1), 215);
    EXPECT_NEAR(channel(img, 40, 30, 2), 64, 20);
}

TEST_F(ThumbnailDecode, GrayAndProgressivePicturesComeOutAsRgb) {
    qv::RgbImage gray;
    ASSERT_TRUE(qv::decodeJpegFile(write("g.jpg", encodeTestPicture(17, 9, true, false)), gray));
    EXPECT_EQ(gray.width, 17);
    EXPECT_EQ(gray.height, 9);
    EXPECT_NEAR(channel(gray, 8, 4, 0), 200, 3);
    EXPECT_EQ(channel(gray, 8, 4, 0), channel(gray, 8, 4, 2));

    qv::RgbImage prog;
    ASSERT_TRUE(qv::decodeJpegFile(write("p.jpg", encodeTestPicture(80, 60, false, true)), prog));
    EXPECT_EQ(prog.width, 80);
    EXPECT_EQ(prog.pixels.size(), 80u * 60u * 3u);
}

struct BadInput {
    const char* name;
    std::vector<unsigned char> (*make)();
};

std::vector<unsigned char> truncatedHalf() {
    auto bytes = encodeTestPicture(80, 60, false, false);
    bytes.resize(bytes.size() / 2);
    return bytes;
}
std::vector<unsigned char> truncatedBeforeEnd() {
    auto bytes = encodeTestPicture(80, 60, false, false);
    bytes.resize(bytes.size() - 2);  // only the end marker missing
    return bytes;
}
std::vector<unsigned char> headerOnly() {
    auto bytes = encodeTestPicture(80, 60, false, false);
    bytes.resize(20);
    return bytes;
}
std::vector<unsigned char> randomBytes() {
    std::mt19937 gen(7);
    std::vector<unsigned char> bytes(4096);
    for (auto& b : bytes) b = static_cast<unsigned char>(gen());
    return bytes;
}
std::vector<unsigned char> randomAfterMarker() {
    auto bytes = randomBytes();
    bytes[0] = 0xFF;
    bytes[1] = 0xD8;
    return bytes;
}
std::vector<unsigned char> damagedScan() {
    auto bytes = encodeTestPicture(80, 60, false, false);
    for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 40; ++i) bytes[i] = 0xFF;
    return bytes;
}
std::vector<unsigned char> empty() { return {}; }
std::vector<unsigned char> pngSignature() {
    return {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
}

class ThumbnailBadInput : public ThumbnailDecode, public ::testing::WithParamInterface<BadInput> {};

TEST_P(ThumbnailBadInput, IsAnErrorNotACrash) {
    const std::string path = write("_thumb.jpg", GetParam().make());
    qv::RgbImage img;
    img.width = 5;
    const qv::FileResult decoded = qv::decodeJpegFile(path, img);
    EXPECT_FALSE(decoded);
    EXPECT_FALSE(decoded.message.empty());
    EXPECT_EQ(img.width, 0);
    EXPECT_TRUE(img.pixels.empty());
}

INSTANTIATE_TEST_SUITE_P(Files, ThumbnailBadInput,
                         ::testing::Values(BadInput{"TruncatedHalf", truncatedHalf},
                                           BadInput{"NoEndMarker", truncatedBeforeEnd},
                                           BadInput{"HeaderOnly", headerOnly},
                                           BadInput{"RandomBytes", randomBytes},
                                           BadInput{"RandomAfterStartMarker", randomAfterMarker},
                                           BadInput{"DamagedScan", damagedScan},
                                           BadInput{"Empty", empty},
                                           BadInput{"OtherFormat", pngSignature}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(ThumbnailDecode, MissingFileAndFolderAreErrors) {
    qv::RgbImage img;
    const qv::FileResult missing = qv::decodeJpegFile((dir_ / "none.jpg").string(), img);
    EXPECT_FALSE(missing);
    EXPECT_FALSE(missing.message.empty());
    EXPECT_FALSE(qv::decodeJpegFile(dir_.string(), img));
}

TEST_F(ThumbnailDecode, DecoderIsReusableAfterAFailure) {
    // A failed decode must leave nothing behind that spoils the next one.
    const auto good = encodeTestPicture(80, 60, false, false);
    const auto bad = truncatedHalf();
    qv::RgbImage img;
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(qv::decodeJpeg(bad.data(), bad.size(), img));
        ASSERT_TRUE(qv::decodeJpeg(good.data(), good.size(), img));
        EXPECT_EQ(img.height, 60);
    }
}

}  // namespace

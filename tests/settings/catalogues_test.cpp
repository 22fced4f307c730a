#include "settings/catalogues.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/cp932.h"
#include "settings/column_split.h"
#include "settings/conversion_settings.h"

namespace {

using qv::CatalogueId;

std::string row(CatalogueId id, std::size_t i) { return std::string(qv::catalogue(id)[i]); }

struct CountCase {
    CatalogueId id;
    std::size_t rows;
};

class CatalogueRowCount : public ::testing::TestWithParam<CountCase> {};

TEST_P(CatalogueRowCount, HasItsRows) {
    EXPECT_EQ(qv::catalogue(GetParam().id).size(), GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    All, CatalogueRowCount,
    ::testing::Values(CountCase{CatalogueId::C1_02, 2}, CountCase{CatalogueId::C2_01, 15},
                      CountCase{CatalogueId::C2_02, 43}, CountCase{CatalogueId::C2_03, 8},
                      CountCase{CatalogueId::C2_04, 37}, CountCase{CatalogueId::C2_05, 35},
                      CountCase{CatalogueId::C2_06, 16}, CountCase{CatalogueId::C3_01, 53},
                      CountCase{CatalogueId::C3_02, 19}, CountCase{CatalogueId::C3_03, 10},
                      CountCase{CatalogueId::C3_04, 3}, CountCase{CatalogueId::C3_05, 8},
                      CountCase{CatalogueId::C3_06, 15}));

const CatalogueId kEncoderCatalogues[] = {
    CatalogueId::C2_01, CatalogueId::C2_02, CatalogueId::C2_03, CatalogueId::C2_04,
    CatalogueId::C2_05, CatalogueId::C2_06, CatalogueId::C3_01, CatalogueId::C3_02,
    CatalogueId::C3_03, CatalogueId::C3_04, CatalogueId::C3_05, CatalogueId::C3_06};

// The controls of the control table offer the encoder catalogues, each its own, in order.
TEST(Catalogues, EncoderCataloguesInFillOrder) {
    std::vector<CatalogueId> filled;
    for (const qv::ControlEntry& c : qv::kControls)
        if (c.catalogue && c.role != qv::ControlRole::DestinationMode)
            filled.push_back(*c.catalogue);
    ASSERT_EQ(filled.size(), std::size(kEncoderCatalogues));
    for (std::size_t i = 0; i < filled.size(); ++i)
        EXPECT_EQ(filled[i], kEncoderCatalogues[i]) << i;
}

TEST(Catalogues, KeepSourceRows) {
    for (CatalogueId id : kEncoderCatalogues) {
        auto cols = qv::splitColumns(qv::catalogue(id)[0]);
        ASSERT_EQ(cols.size(), 2u) << row(id, 0);
        EXPECT_EQ(cols[0], "自動");
        EXPECT_TRUE(cols[1].starts_with("元の")) << cols[1];
        EXPECT_TRUE(cols[1].ends_with("を維持")) << cols[1];
    }
}

TEST(Catalogues, RowsHaveOneOrTwoColumnsAndEncodeAsCp932) {
    const CatalogueId all[] = {CatalogueId::C1_02, CatalogueId::C2_01, CatalogueId::C2_02,
                               CatalogueId::C2_03, CatalogueId::C2_04, CatalogueId::C2_05,
                               CatalogueId::C2_06, CatalogueId::C3_01, CatalogueId::C3_02,
                               CatalogueId::C3_03, CatalogueId::C3_04, CatalogueId::C3_05,
                               CatalogueId::C3_06};
    for (CatalogueId id : all) {
        for (std::string_view r : qv::catalogue(id)) {
            EXPECT_EQ(r.find_first_of(" \""), std::string_view::npos) << r;
            auto n = qv::splitColumns(r).size();
            EXPECT_TRUE(n == 1 || n == 2) << r;
            auto bytes = qv::encodeCp932(r);
            ASSERT_TRUE(bytes.has_value()) << r;
            EXPECT_EQ(qv::decodeCp932(*bytes).utf8, r);
        }
    }
}

TEST(Catalogues, SpotChecks) {
    EXPECT_EQ(row(CatalogueId::C2_02, 16), "852x480,WVGA");
    EXPECT_EQ(row(CatalogueId::C2_02, 27), "852x480,HD480");
    EXPECT_EQ(qv::columnOf(row(CatalogueId::C2_02, 16), 0), "852x480");
    EXPECT_EQ(qv::columnOf(row(CatalogueId::C2_02, 27), 0), "852x480");
    EXPECT_EQ(row(CatalogueId::C2_02, 42), "512x384,<ﾆｺﾆｺ動画>");
    EXPECT_EQ(qv::columnOf(row(CatalogueId::C2_02, 41), 0), "368x208");
    EXPECT_EQ(row(CatalogueId::C2_04, 17), "MPEG4");
    EXPECT_EQ(row(CatalogueId::C2_05, 11), "768kbps,CBR");
    EXPECT_EQ(row(CatalogueId::C2_05, 19), "1,VBR(最高品質)");
    EXPECT_EQ(row(CatalogueId::C3_01, 27), "LIBMP3LAME,MP3(MPEG-AudioLayer3)");
    EXPECT_EQ(row(CatalogueId::C3_03, 8), "44100Hz,CD音質");
    EXPECT_EQ(row(CatalogueId::C3_06, 14), "1000,1秒間隔");
    EXPECT_EQ(row(CatalogueId::C1_02, 1), "ﾌｫﾙﾀﾞ指定,ﾌｧｲﾙ名が同じ場合は上書き保存");
}

// Rows of today's formats stand after every older row, so stored indices and the
// presets written before them keep selecting what they selected.
struct AppendedCase {
    CatalogueId id;
    std::size_t index;
    const char* text;
};

class CatalogueRowAt : public ::testing::TestWithParam<AppendedCase> {};

TEST_P(CatalogueRowAt, HoldsItsText) {
    EXPECT_EQ(row(GetParam().id, GetParam().index), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    OldLastAndAppended, CatalogueRowAt,
    ::testing::Values(AppendedCase{CatalogueId::C2_01, 12, "SWF,Flash"},
                      AppendedCase{CatalogueId::C2_01, 13, "MKV,Matroska"},
                      AppendedCase{CatalogueId::C2_01, 14, "WEBM,WebM"},
                      AppendedCase{CatalogueId::C2_04, 33, "ZMBV"},
                      AppendedCase{CatalogueId::C2_04, 34, "LIBX265,H.265(HEVC)"},
                      AppendedCase{CatalogueId::C2_04, 35, "LIBVPX-VP9,VP9"},
                      AppendedCase{CatalogueId::C2_04, 36, "LIBSVTAV1,AV1"},
                      AppendedCase{CatalogueId::C3_01, 51, "WMAV2,WindowsMediaAudio2"},
                      AppendedCase{CatalogueId::C3_01, 52, "LIBOPUS,Opus"}));

TEST(Catalogues, ManualPresetRowHasTenColumns) {
    auto cols = qv::splitColumns(qv::kManualPresetRow);
    ASSERT_EQ(cols.size(), 10u);
    EXPECT_EQ(cols[0], "手動");
    EXPECT_EQ(cols[1], "[形式]");
    EXPECT_EQ(cols[9], "[ﾋﾞｯﾄﾚｰﾄ]");
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "base/text.h"
#include "codecs.h"
#include "rules.h"
#include "settings/catalogues.h"

namespace {

using namespace qv::adapter;
using Args = std::vector<std::string>;

// The list value of a catalogue row in the program's line: column 0 in lower case.
std::string dialectOf(std::string_view row) {
    return qv::lowerAscii(std::string(row.substr(0, row.find(','))));
}

struct CatalogueCase {
    qv::CatalogueId id;
    CodecKind kind;
};

class CodecTable : public ::testing::TestWithParam<CatalogueCase> {};

// Every codec row the user can pick has its row, of its own kind: a row without one would
// be refused as a codec no container holds, or judged by another kind's facts.
TEST_P(CodecTable, EveryCatalogueRowHasARow) {
    const auto rows = qv::catalogue(GetParam().id);
    for (size_t i = 1; i < rows.size(); ++i) {
        const std::string dialect = dialectOf(rows[i]);
        const CodecRow* r = codecForDialect(dialect);
        ASSERT_NE(r, nullptr) << "row " << i << " " << rows[i];
        EXPECT_EQ(r->kind, GetParam().kind) << dialect;
        EXPECT_FALSE(r->encoder.empty()) << dialect;
        EXPECT_EQ(codecForEncoder(r->encoder), r) << dialect;
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, CodecTable,
                         ::testing::Values(CatalogueCase{qv::CatalogueId::C2_04, CodecKind::Video},
                                           CatalogueCase{qv::CatalogueId::C3_01, CodecKind::Audio}),
                         [](const auto& test) {
                             return std::string(test.param.kind == CodecKind::Video ? "Video"
                                                                                    : "Audio");
                         });

// The containers named anywhere in the table are rows of the container list, so a reason
// that names one names something the user can pick.
TEST(CodecTableRows, ContainersAreRowsOfTheContainerList) {
    std::set<std::string> listed;
    const auto rows = qv::catalogue(qv::CatalogueId::C2_01);
    for (size_t i = 1; i < rows.size(); ++i) listed.insert(dialectOf(rows[i]));
    for (const ContainerRow& c : containerTable()) {
        EXPECT_TRUE(listed.count(std::string(c.ext))) << c.ext;
        // What a stream becomes in a container must go in it.
        if (const CodecRow* v = codecForDialect(c.video)) {
            EXPECT_TRUE(containerHolds(c.ext, CodecKind::Video, v->codec)) << c.ext;
        }
        if (const CodecRow* a = codecForDialect(c.audio)) {
            EXPECT_TRUE(containerHolds(c.ext, CodecKind::Audio, a->codec)) << c.ext;
        }
    }
    for (const CodecRow& r : codecTable())
        for (std::string_view ext : r.containers) EXPECT_NE(containerRow(ext), nullptr) << ext;
    EXPECT_EQ(listed.size(), std::size(containerTable()));
}

// Two rows that make the same codec (MPEG4 and LIBXVID) must agree on where it plays:
// a copy of that codec is judged by the first.
TEST(CodecTableRows, RowsOfOneCodecAgreeOnItsContainers) {
    for (const CodecRow& r : codecTable()) {
        const CodecRow* first = codecNamed(r.codec, r.kind);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(std::set<std::string_view>(r.containers.begin(), r.containers.end()),
                  std::set<std::string_view>(first->containers.begin(), first->containers.end()))
            << r.dialect;
    }
}

struct HoldsCase {
    const char* codec;
    CodecKind kind;
    std::vector<std::string> containers;  // in the order a reason would offer them
};

TEST(CodecTableRows, WhichContainersHoldACodec) {
    const HoldsCase cases[] = {
        {"amr_nb", CodecKind::Audio, {"3gp", "mkv"}},
        {"ac3", CodecKind::Audio, {"avi", "mpg", "m2p", "mp4", "wmv", "asf", "mov", "rm", "mkv"}},
        {"hevc", CodecKind::Video, {"mp4", "mkv"}},
        {"av1", CodecKind::Video, {"mkv", "mp4", "webm"}},
        {"vp8", CodecKind::Video, {"webm", "avi", "ogm", "mkv"}},
        // Measured broken: FLAC from AVI does not decode, MP4 and MOV refuse it, G.726 from AVI
        // runs to hours, ADPCM_SWF from AVI has the wrong length.
        {"flac", CodecKind::Audio, {"ogm", "mkv"}},
        {"adpcm_g726", CodecKind::Audio, {"mov", "mkv"}},
        {"adpcm_swf", CodecKind::Audio, {"flv", "mkv"}},
        // Plays nowhere, or no encoder here: no container to offer.
        {"h261", CodecKind::Video, {}},
        {"pcm_u16be", CodecKind::Audio, {}},
        {"dts", CodecKind::Audio, {}},
    };
    for (const HoldsCase& c : cases)
        EXPECT_EQ(containersHolding(c.codec, c.kind), c.containers) << c.codec;
    EXPECT_TRUE(containerHolds("mkv", CodecKind::Audio, "dts"));
    EXPECT_FALSE(containerHolds("mp4", CodecKind::Audio, "dts"));
    EXPECT_FALSE(containerHolds("avi", CodecKind::Video, "hevc"));
    EXPECT_TRUE(containerHolds("3gp", CodecKind::Audio, "amr_nb"));
}

// ZLIB's rows are padded to four bytes: its frame size must be a multiple of four.
TEST(CodecTableRows, ZlibFramesAMultipleOfFour) {
    const Args in = {"-i", "/v/a", "-y", "-vcodec", "zlib", "-acodec", "mp2", "/o/a.avi"};
    const Plan plan = planCall(parseCall(in), {}, {});
    EXPECT_EQ(plan.videoFilter, "scale=trunc(iw/4)*4:trunc(ih/4)*4");
}

// The text the support table reads: one line per codec and per container, each with all
// its columns.
TEST(CodecTableRows, TextHasALineForEveryRow) {
    const std::string text = codecTableText();
    const auto lines = qv::splitLines(text);
    ASSERT_EQ(lines.size(), std::size(codecTable()) + std::size(containerTable()) + 2);
    size_t columns = 0;
    for (const auto& l : lines) {
        const size_t tabs = static_cast<size_t>(std::count(l.text.begin(), l.text.end(), '\t'));
        // Each part's header line sets the count of its lines' columns.
        if (l.text.starts_with("kind\t") || l.text.starts_with("container\text\t")) columns = tabs;
        EXPECT_EQ(tabs, columns) << l.text;
    }
    EXPECT_NE(text.find("audio\tlibfaac\taac\taac\tmp4,avi,3gp,wmv,asf,mov,flv,mkv\t"),
              std::string::npos);
}

}  // namespace

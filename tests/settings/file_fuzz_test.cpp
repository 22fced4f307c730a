// Random and hostile content for the two file readers: nothing may crash or
// hang, and writing after such a read keeps every byte that was not changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "settings/preset_file.h"
#include "settings/profile_file.h"

namespace {

// Bytes that mean something to the readers, mixed with anything at all.
std::string randomBytes(std::mt19937& rng, std::size_t size) {
    static constexpr std::array<char, 24> kSpecial{
        '[', ']', '=', ';', '#', '\r', '\n', ' ', '\t', '"',    '\'',   '\0',
        'S', 's', 'E', 'T', 'K', 'k',  '1',  '-', 'x',  '\x81', '\x9f', '\xff'};
    std::uniform_int_distribution<int> pick(0, 3);
    std::uniform_int_distribution<int> special(0, static_cast<int>(kSpecial.size()) - 1);
    std::uniform_int_distribution<int> any(0, 255);
    std::string out(size, '\0');
    for (char& c : out)
        c = pick(rng) == 0 ? static_cast<char>(any(rng))
                           : kSpecial[static_cast<std::size_t>(special(rng))];
    return out;
}

// Every line break as CR LF, as the preset file is written back.
std::string normalised(const std::string& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            out += "\r\n";
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else {
            out += bytes[i];
        }
    }
    return out;
}

const std::vector<std::pair<std::string, std::string>> kKeys{
    {"SET", "K"},      {"set", "k1"},         {"S", "T"},
    {"SET2", "C2_01"}, {"\xef\xbf\xbd", "x"}, {"SET", "TE"}};

// Writes one key and checks that only it changed: the bytes that differ lie
// within one line, and every other key reads as before.
void checkWrite(const std::string& original, const std::string& section, const std::string& key,
                const std::string& value) {
    qv::ProfileFile f(original);
    ASSERT_EQ(f.bytes(), original) << "a read alone changes nothing";
    std::vector<std::optional<std::string>> before;
    for (const auto& [s, k] : kKeys) before.push_back(f.readString(s, k));
    for (const auto& [s, k] : kKeys) (void)f.readInt(s, k, 0);

    f.writeString(section, key, value);
    const std::string after = f.bytes();
    std::size_t prefix = 0;
    while (prefix < original.size() && prefix < after.size() && original[prefix] == after[prefix])
        ++prefix;
    std::size_t suffix = 0;
    while (suffix < original.size() - prefix && suffix < after.size() - prefix &&
           original[original.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    const std::string removed = original.substr(prefix, original.size() - prefix - suffix);
    EXPECT_EQ(removed.find_first_of("\r\n"), std::string::npos)
        << "bytes of another line were lost";

    const qv::ProfileFile g(after);
    EXPECT_EQ(g.readString(section, key), value);
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        if (kKeys[i].first == section && kKeys[i].second == key) continue;
        EXPECT_EQ(g.readString(kKeys[i].first, kKeys[i].second), before[i])
            << kKeys[i].first << "/" << kKeys[i].second;
    }
}

void checkPresetFile(const std::string& bytes) {
    const qv::PresetFile f = qv::parsePresetFile(bytes);
    for (const std::string& line : f.lines) {
        ASSERT_EQ(line.find_first_of("\r\n"), std::string::npos);
        (void)qv::presetRowText(line);
    }
    EXPECT_EQ(qv::presetFileBytes(f.lines, f.endsWithBreak), normalised(bytes));
    std::vector<std::string> grown = f.lines;
    grown.push_back("new");
    const std::string expected = f.lines.empty()   ? std::string("new")
                                 : f.endsWithBreak ? normalised(bytes) + "new\r\n"
                                                   : normalised(bytes) + "\r\nnew";
    EXPECT_EQ(qv::presetFileBytes(grown, f.endsWithBreak), expected);
}

class FileFuzz : public testing::TestWithParam<unsigned> {};

TEST_P(FileFuzz, RandomBytes) {
    std::mt19937 rng(GetParam());
    std::uniform_int_distribution<std::size_t> size(0, 3000);
    for (int round = 0; round < 40; ++round) {
        const std::string bytes = randomBytes(rng, size(rng));
        const auto& [s, k] = kKeys[static_cast<std::size_t>(round) % kKeys.size()];
        checkWrite(bytes, s, k, round % 3 == 0 ? std::string("v ") + std::to_string(round) : "テ");
        checkPresetFile(bytes);
        if (HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, FileFuzz, testing::Range(1u, 9u));

TEST(FileFuzzShapes, NulBytesAndBrokenDoubleByteCharacters) {
    const std::vector<std::string> samples{
        std::string("[SET]\r\nK=\0\0\r\n", 13),
        std::string("[SE\0T]\r\nK=1\r\n", 13),
        "[SET\x81]\r\nK=1\r\n",
        "[SET]\r\nK=\x81",
        "[SET]\r\nK=\x81\r\n\x9f",
        "[\x81]]\r\nK=1\r\n",
        "[SET]\r\n\x81=\x81\x0d\x0a",
        "[",
        "]",
        "=",
        "\r",
        "\n\r",
        "[SET]\r\n\"",
        "[SET]\r\nK='",
    };
    for (const std::string& s : samples) {
        checkWrite(s, "SET", "K", "new");
        checkWrite(s, "SET", "Other", "x");
        checkWrite(s, "New", "K", "1");
        checkPresetFile(s);
    }
}

TEST(FileFuzzShapes, VeryLongLines) {
    std::mt19937 rng(7);
    const std::string longValue(300000, '\x82');  // all lead bytes, never a whole character
    const std::string file = "[SET]\r\nK=" + longValue + "\r\n" + std::string(200000, 'a') +
                             "\r\n[" + std::string(100000, ']') +
                             "\r\nZ=" + randomBytes(rng, 100000);
    const qv::ProfileFile f(file);
    const auto v = f.readString("SET", "K");
    ASSERT_TRUE(v.has_value());
    checkWrite(file, "SET", "K", "short");
    checkWrite(file, "SET", "New", "1");
    checkPresetFile(file);
    const qv::PresetFile p = qv::parsePresetFile(file);
    ASSERT_GE(p.lines.size(), 2u);
    EXPECT_EQ(p.lines[1].size(), longValue.size() + 2) << "the line is kept whole for writing";
}

TEST(FileFuzzShapes, TenMegabytes) {
    std::mt19937 rng(11);
    std::string file = "[SET]\r\nM_LEFT=5\r\n" + randomBytes(rng, 10u << 20);
    checkWrite(file, "SET", "M_LEFT", "-2000");
    checkWrite(file, "SET4", "C4_01_6", "0");
    checkPresetFile(file);
}

}  // namespace

#include "run/command_line.h"

#include <string_view>

#include "base/path.h"
#include "base/text.h"
#include "settings/catalogues.h"

namespace qv {

namespace {

// Collects the arguments one element at a time. Each element keeps the piece of
// text it stands for, blanks and quotes included, so the text is the pieces joined
// and the process still gets every path as one untouched element.
class ArgumentBuilder {
  public:
    // An option such as " -vn ": the element is the option without blanks.
    void option(std::string_view piece) {
        std::string_view arg = piece;
        while (!arg.empty() && arg.front() == ' ') arg.remove_prefix(1);
        while (!arg.empty() && arg.back() == ' ') arg.remove_suffix(1);
        add(std::string(arg), piece);
    }
    // A value written as it is (may be empty: it is then an empty element).
    void value(std::string v) {
        std::string piece = v;
        add(std::move(v), piece);
    }
    // A path written between double quotes, after `lead` (a blank or nothing).
    void path(std::string_view lead, const std::string& p, bool positional) {
        std::string piece(lead);
        piece += '"';
        piece += p;
        piece += '"';
        // A result path given without an option in front must not be read as one.
        add(positional && !p.empty() && p.front() == '-' ? "./" + p : p, piece);
    }

    EncoderCommand finish() { return std::move(command_); }

  private:
    void add(std::string arg, std::string_view piece) {
        command_.args.push_back(std::move(arg));
        command_.text += piece;
    }
    EncoderCommand command_;
};

std::string twoDigits(int n) {
    std::string s = std::to_string(n);
    return n >= 0 && n <= 9 ? "0" + s : s;
}

// The text before the first `suffix`; empty when it does not occur.
std::string textBefore(const std::string& s, std::string_view suffix) {
    const auto at = s.find(suffix);
    return at == std::string::npos ? std::string() : s.substr(0, at);
}

std::string value(CatalogueId id, int index) { return selectedColumn(id, index, 0); }

std::string timeOf(int h, int m, int s) {
    return twoDigits(h) + ":" + twoDigits(m) + ":" + twoDigits(s);
}

}  // namespace

EncoderCommand buildConversionCommand(const ConversionSettings& s, const std::string& sourcePath,
                                      const std::string& destPath, int pass, bool previewMode) {
    ArgumentBuilder b;
    b.option("-i ");
    b.path("", sourcePath, false);
    b.option(" -y");
    if (s.CheckBox1) {
        b.option(" -pass ");
        b.value(std::to_string(pass));
        if (pass == 1) b.option(" -an");
    }
    if (s.CheckBox2) {
        b.option(" -threads ");
        b.value("2");
    }
    if (s.CheckBox5 && !(s.CheckBox1 && pass == 2)) {
        b.option(" -ss ");
        b.value(timeOf(s.C4_01_1, s.C4_01_2, s.C4_01_3));
        b.option(" -t ");
        b.value(timeOf(s.C4_01_4, s.C4_01_5, s.C4_01_6));
    }
    b.option(" -flags ");
    b.value("bitexact");
    if (isSet(s.C2_02)) {
        b.option(" -s ");
        b.value(value(CatalogueId::C2_02, s.C2_02));
    }
    if (isSet(s.C2_03)) {
        b.option(" -aspect ");
        b.value(value(CatalogueId::C2_03, s.C2_03));
    }
    b.option(" -vcodec ");
    b.value(isSet(s.C2_04) ? lowerAscii(value(CatalogueId::C2_04, s.C2_04)) : "copy");
    if (isSet(s.C2_05)) {
        const std::string kind = selectedColumn(CatalogueId::C2_05, s.C2_05, 1).substr(0, 3);
        if (kind == "CBR") {
            b.option(" -b ");
            b.value(textBefore(value(CatalogueId::C2_05, s.C2_05), "kbps") + "k");
        } else if (kind == "VBR") {
            b.option(" -qscale ");
            b.value(value(CatalogueId::C2_05, s.C2_05));
        }
    }
    if (isSet(s.C2_06)) {
        b.option(" -r ");
        b.value(textBefore(value(CatalogueId::C2_06, s.C2_06), "fps"));
    }
    if (!isSet(s.C2_05) || !isSet(s.C2_06)) b.option(" -sameq");
    const struct {
        int value;
        std::string_view option;
    } crops[] = {{s.C2_07_1, " -croptop "},
                 {s.C2_07_2, " -cropbottom "},
                 {s.C2_07_3, " -cropleft "},
                 {s.C2_07_4, " -cropright "}};
    for (const auto& crop : crops) {
        if (crop.value > 0) {
            b.option(crop.option);
            b.value(std::to_string(crop.value));
        }
    }
    b.option(" -acodec ");
    b.value(isSet(s.C3_01) ? lowerAscii(value(CatalogueId::C3_01, s.C3_01)) : "copy");
    if (isSet(s.C3_02)) {
        b.option(" -ab ");
        b.value(textBefore(value(CatalogueId::C3_02, s.C3_02), "kbps") + "k");
    }
    if (isSet(s.C3_03)) {
        b.option(" -ar ");
        b.value(textBefore(value(CatalogueId::C3_03, s.C3_03), "Hz"));
    }
    if (isSet(s.C3_04)) {
        b.option(" -ac ");
        b.value(value(CatalogueId::C3_04, s.C3_04));
    }
    if (isSet(s.C3_05)) {
        b.option(" -vol ");
        b.value(value(CatalogueId::C3_05, s.C3_05));
    }
    if (isSet(s.C3_06)) {
        b.option(" -async ");
        b.value(value(CatalogueId::C3_06, s.C3_06));
    }
    if (s.CheckBox3) b.option(" -vn ");
    if (s.CheckBox4) b.option(" -an ");
    if (previewMode) {
        b.option(" -t ");
        b.value("00:00:30");
    }
    b.path(" ", destPath, true);
    return b.finish();
}

EncoderCommand buildThumbnailCommand(const std::string& sourcePath,
                                     const std::string& programFolder) {
    ArgumentBuilder b;
    b.option("-i ");
    b.path("", sourcePath, false);
    b.option(" -f ");
    b.value("image2");
    b.option(" -ss ");
    b.value("5");
    b.option(" -vframes ");
    b.value("1");
    b.option(" -s ");
    b.value("80x60");
    b.option(" -an ");
    b.path("", thumbnailPath(programFolder), true);
    return b.finish();
}

std::string thumbnailPath(const std::string& programFolder) {
    return joinPath(programFolder, "_thumb.jpg");
}

}  // namespace qv

#pragma once
// What a source gives a conversion to work on, found before anything is written: whether
// it holds a picture and sound at all, whether any of them decodes, and how long each is.
#include <string>
#include <vector>

namespace qv::adapter {

struct SourceContents {
    bool known = false;    // the source opened and its streams were read
    bool picture = false;  // a picture stream that is not a cover picture
    bool sound = false;
    // A picture or sound stream gave a frame, or could not be tried; false only when every
    // one of them was read to its end without giving anything.
    bool convertible = true;
    double pictureSeconds = 0, soundSeconds = 0;  // 0 when unknown or only estimated
    std::string pictureCodec, soundCodec;         // as a probe names them ("h264", "aac")
};

// Reads path with the installed libraries, or recalls what an earlier call found out about
// the unchanged file from notesFolder (when not empty). A source that will not open is
// not known: the encoder then says what is wrong with it.
SourceContents readContents(const std::string& path, const std::string& notesFolder);

// One line of text and back, for the notes kept between calls.
std::string contentsToText(const SourceContents& c);
bool contentsFromText(const std::string& text, SourceContents& c);

// What a conversion line asks of its result, from the line handed to the encoder.
struct Asked {
    bool picture = true, sound = true;  // not disabled by -vn / -an
    double start = 0;                   // -ss, seconds
    double length = -1;                 // -t, seconds; -1 when the line has none
    int pass = 0;                       // 1 or 2 of a two-pass job
};

// args is the translated line (the result path last).
Asked askedOf(const std::vector<std::string>& args);

// Why the call has nothing to convert, in the interface's language; empty when it has.
std::string nothingToConvert(const Asked& asked, const SourceContents& source);

}  // namespace qv::adapter

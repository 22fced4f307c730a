#include "probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "libav.h"

namespace qv::adapter {

namespace {

std::string noteKey(const struct stat& st) {
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
           std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec);
}

std::string noteFile(const std::string& folder, const struct stat& st) {
    return folder + "/qv-source-" + std::to_string(::getuid()) + "-" + std::to_string(st.st_dev) +
           "-" + std::to_string(st.st_ino);
}

std::string readSmall(const std::string& path) {
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return text;
    char buf[1024];
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) text.assign(buf, static_cast<size_t>(n));
    ::close(fd);
    return text;
}

void writeAtomically(const std::string& path, const std::string& text) {
    const std::string tmp = path + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) ::unlink(tmp.c_str());
}

}  // namespace

std::string sourceToText(const Source& s) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%d %d %s %d %d %ld %d %s %d %d %.3f", s.known, s.hasVideo,
                  s.videoCodec.empty() ? "-" : s.videoCodec.c_str(), s.width, s.height,
                  s.videoBitRate, s.hasAudio, s.audioCodec.empty() ? "-" : s.audioCodec.c_str(),
                  s.sampleRate, s.channels, s.duration);
    return buf;
}

bool sourceFromText(const std::string& text, Source& s) {
    int known = 0, hasVideo = 0, hasAudio = 0;
    char video[64] = "", audio[64] = "";
    Source r;
    if (std::sscanf(text.c_str(), "%d %d %63s %d %d %ld %d %63s %d %d %lf", &known, &hasVideo,
                    video, &r.width, &r.height, &r.videoBitRate, &hasAudio, audio, &r.sampleRate,
                    &r.channels, &r.duration) != 11)
        return false;
    r.known = known != 0;
    r.hasVideo = hasVideo != 0;
    r.hasAudio = hasAudio != 0;
    r.videoCodec = std::string(video) == "-" ? "" : video;
    r.audioCodec = std::string(audio) == "-" ? "" : audio;
    s = r;
    return true;
}

Source probeSource(const std::string& path, const std::string& notesFolder, std::string* error) {
    Source s;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        if (error) *error = "元のファイルを読めません: " + path;
        return s;
    }
    const std::string notes = notesFolder.empty() ? std::string() : noteFile(notesFolder, st);
    const std::string key = noteKey(st);
    if (!notes.empty()) {
        const std::string text = readSmall(notes);
        const size_t nl = text.find('\n');
        if (nl != std::string::npos && text.compare(0, nl, key) == 0 &&
            sourceFromText(text.substr(nl + 1), s))
            return s;
    }

    const Libav& lib = libavForReading();
    if (!lib.reads) {
        if (error) *error = "libavformat を読み込めないため元のファイルを調べられません";
        return s;
    }
    AVFormatContext* fmt = openSource(lib, path);
    if (!fmt) {
        if (error) *error = "元のファイルの形式がわかりません: " + path;
        return s;
    }
    s = describeSource(lib, fmt);
    lib.closeInput(&fmt);
    if (!notes.empty()) writeAtomically(notes, key + "\n" + sourceToText(s) + "\n");
    return s;
}

void keepSourceNotes(const std::string& path, const std::string& notesFolder, const Source& s) {
    struct stat st {};
    if (notesFolder.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    writeAtomically(noteFile(notesFolder, st), noteKey(st) + "\n" + sourceToText(s) + "\n");
}

}  // namespace qv::adapter

#include "probe.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "libav.h"

namespace qv::adapter {

namespace {

std::string noteKey(const struct stat& st) {
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
           std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec);
}

std::string noteFile(const std::string& folder, const struct stat& st, const std::string& kind) {
    return folder + "/qv-" + kind + "-" + std::to_string(::getuid()) + "-" +
           std::to_string(st.st_dev) + "-" + std::to_string(st.st_ino);
}

// A note is small; anything larger is not one of ours.
constexpr size_t kLargestNote = 1 << 20;

std::string readNote(const std::string& path) {
    std::string text;
    if (!qv::readWholeFile(path, text, kLargestNote)) text.clear();
    return text;
}

// Notes of files long gone or long unused go, looked for at most once a day.
constexpr time_t kNoteLifetime = 30 * 24 * 3600;
constexpr time_t kPruneInterval = 24 * 3600;

void pruneOldNotes(const std::string& folder) {
    const time_t now = ::time(nullptr);
    const std::string stamp = folder + "/.pruned";
    struct stat st {};
    if (::stat(stamp.c_str(), &st) == 0 && now - st.st_mtime < kPruneInterval) return;
    const int fd = ::open(stamp.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return;
    ::futimens(fd, nullptr);
    ::close(fd);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* e = ::readdir(dir)) {
        // The notes, and the temporary file of one whose writer was killed.
        if (std::strncmp(e->d_name, "qv-", 3) != 0 && std::strncmp(e->d_name, ".qv-", 4) != 0)
            continue;
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && now - st.st_mtime > kNoteLifetime)
            ::unlinkat(::dirfd(dir), e->d_name, 0);
    }
    ::closedir(dir);
}

}  // namespace

std::string sourceToText(const Source& s) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%d %d %s %d %d %ld %d %s %d %d %.3f %d %d %.63s %d", s.known,
                  s.hasVideo, s.videoCodec.empty() ? "-" : s.videoCodec.c_str(), s.width, s.height,
                  s.videoBitRate, s.hasAudio, s.audioCodec.empty() ? "-" : s.audioCodec.c_str(),
                  s.sampleRate, s.channels, s.duration, s.hasCover, s.rotation,
                  s.creationTime.empty() ? "-" : s.creationTime.c_str(), s.packedSound);
    return buf;
}

bool sourceFromText(const std::string& text, Source& s) {
    int known = 0, hasVideo = 0, hasAudio = 0, hasCover = 0, packed = 0;
    char video[64] = "", audio[64] = "", created[64] = "";
    Source r;
    // Notes of an older adapter lack the last fields: the source is read again.
    if (std::sscanf(text.c_str(), "%d %d %63s %d %d %ld %d %63s %d %d %lf %d %d %63s %d", &known,
                    &hasVideo, video, &r.width, &r.height, &r.videoBitRate, &hasAudio, audio,
                    &r.sampleRate, &r.channels, &r.duration, &hasCover, &r.rotation, created,
                    &packed) != 15)
        return false;
    r.packedSound = packed != 0;
    r.hasCover = hasCover != 0;
    r.creationTime = std::string(created) == "-" ? "" : created;
    r.known = known != 0;
    r.hasVideo = hasVideo != 0;
    r.hasAudio = hasAudio != 0;
    r.videoCodec = std::string(video) == "-" ? "" : video;
    r.audioCodec = std::string(audio) == "-" ? "" : audio;
    s = r;
    return true;
}

bool replaceQuickly(const std::string& path, const std::string& bytes, mode_t mode) {
    return qv::replaceFileAtomically(path, bytes,
                                     {.flush = false, .followLink = false, .newFileMode = mode})
        .ok();
}

std::optional<std::string> recallNote(const std::string& path, const std::string& folder,
                                      const std::string& kind, const std::string& detail) {
    struct stat st {};
    if (folder.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    const std::string text = readNote(noteFile(folder, st, kind));
    const std::string header = detail.empty() ? noteKey(st) : noteKey(st) + " " + detail;
    const size_t nl = text.find('\n');
    if (nl == std::string::npos || text.compare(0, nl, header) != 0) return std::nullopt;
    return text.substr(nl + 1);
}

void keepNote(const std::string& path, const std::string& folder, const std::string& kind,
              const std::string& detail, const std::string& bytes) {
    struct stat st {};
    if (folder.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    const std::string header = detail.empty() ? noteKey(st) : noteKey(st) + " " + detail;
    replaceQuickly(noteFile(folder, st, kind), header + "\n" + bytes, 0600);
    pruneOldNotes(folder);
}

Source probeSource(const std::string& path, const std::string& notesFolder, std::string* error) {
    Source s;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        if (error) *error = "元のファイルを読めません: " + path;
        return s;
    }
    if (const auto kept = recallNote(path, notesFolder, "source", "");
        kept && sourceFromText(*kept, s))
        return s;

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
    keepSourceNotes(path, notesFolder, s);
    return s;
}

bool resultReadsBack(const std::string& path, bool picture, bool sound) {
    const Libav& lib = libavForReading();
    if (!lib.reads) return true;
    AVFormatContext* fmt = openSource(lib, path);
    if (!fmt) return false;
    const Source result = describeSource(lib, fmt);
    lib.closeInput(&fmt);
    return (result.hasVideo || !picture) && (result.hasAudio || !sound);
}

void keepSourceNotes(const std::string& path, const std::string& notesFolder, const Source& s) {
    keepNote(path, notesFolder, "source", "", sourceToText(s) + "\n");
}

}  // namespace qv::adapter

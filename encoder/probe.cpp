#include "probe.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace qv::adapter {

namespace {

// The few entry points used, looked up once the library is loaded.
struct Library {
    int (*open)(AVFormatContext**, const char*, const AVInputFormat*, AVDictionary**) = nullptr;
    int (*findInfo)(AVFormatContext*, AVDictionary**) = nullptr;
    void (*close)(AVFormatContext**) = nullptr;
    const char* (*codecName)(enum AVCodecID) = nullptr;
    void (*setLogLevel)(int) = nullptr;
    bool ok = false;
};

const Library& library() {
    static Library lib = [] {
        Library l;
        const std::string soname = "libavformat.so." + std::to_string(LIBAVFORMAT_VERSION_MAJOR);
        void* h = ::dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h) return l;
        l.open = reinterpret_cast<decltype(l.open)>(::dlsym(h, "avformat_open_input"));
        l.findInfo = reinterpret_cast<decltype(l.findInfo)>(::dlsym(h, "avformat_find_stream_info"));
        l.close = reinterpret_cast<decltype(l.close)>(::dlsym(h, "avformat_close_input"));
        l.codecName = reinterpret_cast<decltype(l.codecName)>(::dlsym(h, "avcodec_get_name"));
        l.setLogLevel = reinterpret_cast<decltype(l.setLogLevel)>(::dlsym(h, "av_log_set_level"));
        l.ok = l.open && l.findInfo && l.close && l.codecName && l.setLogLevel;
        return l;
    }();
    return lib;
}

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

    const Library& lib = library();
    if (!lib.ok) {
        if (error) *error = "libavformat を読み込めないため元のファイルを調べられません";
        return s;
    }
    lib.setLogLevel(AV_LOG_QUIET);
    AVFormatContext* fmt = nullptr;
    const std::string url = path.find(':') != std::string::npos && path[0] != '/' ? "file:" + path : path;
    if (lib.open(&fmt, url.c_str(), nullptr, nullptr) < 0) {
        if (error) *error = "元のファイルの形式がわかりません: " + path;
        return s;
    }
    lib.findInfo(fmt, nullptr);
    s.known = true;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVCodecParameters* par = fmt->streams[i]->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && !s.hasVideo &&
            !(fmt->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            s.hasVideo = true;
            s.videoCodec = lib.codecName(par->codec_id);
            s.width = par->width;
            s.height = par->height;
            s.videoBitRate = static_cast<long>(par->bit_rate);
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO && !s.hasAudio) {
            s.hasAudio = true;
            s.audioCodec = lib.codecName(par->codec_id);
            s.sampleRate = par->sample_rate;
            s.channels = par->ch_layout.nb_channels;
        }
    }
    if (fmt->duration > 0) s.duration = static_cast<double>(fmt->duration) / AV_TIME_BASE;
    // Without a rate of its own (Matroska, WebM), the picture gets what the file averages.
    if (s.hasVideo && s.videoBitRate <= 0 && fmt->bit_rate > 0) s.videoBitRate = static_cast<long>(fmt->bit_rate);
    lib.close(&fmt);
    if (!notes.empty()) writeAtomically(notes, key + "\n" + sourceToText(s) + "\n");
    return s;
}

}  // namespace qv::adapter

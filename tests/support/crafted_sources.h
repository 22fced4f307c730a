#pragma once
// Sources of the shapes users bring that trip the encoder up, made by the tests themselves:
// damaged and cut-off files, files with nothing in them, an odd frame size, sound alone in
// a video container, a podcast with cover art and chapters, a phone clip.
#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "support/program_folder.h"

namespace qvtest {

// The names makeCraftedSources makes, in a stable order.
inline QStringList craftedSourceNames() {
    return {QStringLiteral("odd_322x242.avi"),
            QStringLiteral("no_samples.wav"),
            QStringLiteral("no_frames_1x1.wmv"),
            QStringLiteral("tiny_cut.avi"),
            QStringLiteral("damaged_header_mkv.mkv"),
            QStringLiteral("cut_mkv.mkv"),
            QStringLiteral("damaged_header_mp4.mp4"),
            QStringLiteral("cut_mp4.mp4"),
            QStringLiteral("ac3_only.mp4"),
            QStringLiteral("podcast.m4a"),
            QStringLiteral("phone.3gp")};
}

namespace crafted {

inline QString text(const char* s) { return QString::fromUtf8(s); }
inline QString text(const QString& s) { return s; }
// An argument list of texts and literals alike.
template <typename... T>
QStringList argList(const T&... a) {
    return {text(a)...};
}

inline QString encode(const QString& path, const QStringList& args) {
    QStringList all = argList("-hide_banner", "-loglevel", "error", "-y");
    all << args << path;
    int rc = 0;
    const QString out = run(QStringLiteral("/usr/bin/ffmpeg"), all, &rc);
    return rc == 0 ? QString() : path + QStringLiteral(": ") + out;
}

// AMR-NB the installed encoder cannot make: 12.2 kbit/s frames of noise after the file
// magic, 50 a second.
inline QByteArray amrNoise(int seconds) {
    QByteArray amr("#!AMR\n");
    std::uint32_t x = 12345;
    for (int frame = 0; frame < seconds * 50; ++frame) {
        amr.append(static_cast<char>(0x3C));
        for (int i = 0; i < 31; ++i) {
            x = x * 1664525u + 1013904223u;
            amr.append(static_cast<char>(x >> 24));
        }
    }
    return amr;
}

}  // namespace crafted

// Makes every source of craftedSourceNames() in folder (and helpers beside them, named
// with a leading underscore). Empty on success, else what went wrong.
inline QString makeCraftedSources(const QString& folder) {
    using crafted::encode;
    const QDir d(folder);
    auto at = [&d](const char* name) { return d.filePath(QString::fromLatin1(name)); };
    const QString picture = QStringLiteral("testsrc=size=160x120:rate=25:duration=3");
    const QString sound = QStringLiteral("sine=sample_rate=44100:duration=3");
    const QString lavfi = QStringLiteral("lavfi");
    QString why;
    auto step = [&why](const QString& failed) {
        if (why.isEmpty()) why = failed;
    };

    step(encode(at("odd_322x242.avi"),
                crafted::argList("-f", lavfi, "-i", "testsrc=size=322x242:rate=25:duration=3", "-f",
                                 lavfi, "-i", sound, "-c:v", "mpeg4", "-c:a", "mp2", "-shortest")));
    step(encode(at("no_samples.wav"), crafted::argList("-f", lavfi, "-i", sound, "-t", "0")));
    step(encode(at("no_frames_1x1.wmv"),
                crafted::argList("-f", lavfi, "-i", "color=size=16x16", "-vf", "scale=1:1",
                                 "-frames:v", "0", "-c:v", "mjpeg", "-f", "asf")));
    step(encode(at("_whole.avi"),
                crafted::argList("-f", lavfi, "-i", picture, "-f", lavfi, "-i", sound, "-c:v",
                                 "mpeg4", "-c:a", "mp2", "-shortest")));
    writeFile(at("tiny_cut.avi"), readFile(at("_whole.avi")).left(5000));

    step(encode(at("_whole.mkv"),
                crafted::argList("-f", lavfi, "-i", picture, "-f", lavfi, "-i", sound, "-c:v",
                                 "ffv1", "-c:a", "flac", "-shortest")));
    QByteArray mkv = readFile(at("_whole.mkv"));
    writeFile(at("cut_mkv.mkv"), mkv.left(mkv.size() / 2));
    for (int i = 4; i < 64 && i < mkv.size(); ++i) mkv[i] = '\xff';
    writeFile(at("damaged_header_mkv.mkv"), mkv);

    step(encode(at("_whole.mp4"),
                crafted::argList("-f", lavfi, "-i", picture, "-f", lavfi, "-i", sound, "-c:v",
                                 "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest")));
    QByteArray mp4 = readFile(at("_whole.mp4"));
    writeFile(at("cut_mp4.mp4"), mp4.left(mp4.size() / 2));
    const int moov = mp4.indexOf("moov");
    if (moov >= 4) mp4.replace(moov - 4, 44, QByteArray(44, '\xff'));
    writeFile(at("damaged_header_mp4.mp4"), mp4);

    step(encode(
        at("ac3_only.mp4"),
        crafted::argList("-f", lavfi, "-i", "sine=sample_rate=48000:duration=3", "-c:a", "ac3")));

    // A podcast: the talk, a JPEG cover and two chapters, the last running on past the talk.
    step(encode(at("_cover.jpg"),
                crafted::argList("-f", lavfi, "-i", "color=c=red:size=300x300", "-frames:v", "1")));
    writeFile(at("_chapters.txt"),
              ";FFMETADATA1\ntitle=Episode\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=2000\n"
              "title=One\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=2000\nEND=6000\ntitle=Two\n");
    step(encode(at("podcast.m4a"),
                crafted::argList("-f", lavfi, "-i", "sine=sample_rate=44100:duration=4", "-i",
                                 at("_cover.jpg"), "-i", at("_chapters.txt"), "-map", "0:a", "-map",
                                 "1:v", "-map_metadata", "2", "-map_chapters", "2", "-c:a", "aac",
                                 "-c:v", "copy", "-disposition:v", "attached_pic")));

    // A phone clip: H.263 and AMR-NB in 3GP.
    writeFile(at("_noise.amr"), crafted::amrNoise(3));
    step(encode(at("phone.3gp"),
                crafted::argList("-f", lavfi, "-i", "testsrc=size=176x144:rate=15:duration=3", "-i",
                                 at("_noise.amr"), "-c:v", "h263", "-c:a", "copy", "-shortest")));
    return why;
}

}  // namespace qvtest

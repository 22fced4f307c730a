#pragma once
// A program folder of a test's own, and the file and process helpers around it that the
// GUI tests, the end-to-end tests and the benchmarks share.
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <fstream>
#include <string>

namespace qvtest {

// Writes bytes to path, making its folder first.
inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The file's bytes; empty when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Modification time to the nanosecond; {-1, -1} when there is no such file.
inline timespec mtimeOf(const QString& path) {
    struct stat st {};
    if (::stat(path.toLocal8Bit().constData(), &st) != 0) return {-1, -1};
    return st.st_mtim;
}

// A child that has ended but has not been collected yet.
inline bool isZombie(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

// A temporary folder standing in for the program folder; removed with the object.
class ProgramFolder {
  public:
    enum class Presets {
        Empty,    // an empty profile.txt
        Shipped,  // the shipped profile.txt from QV_SOURCE_DIR (empty when it is not found)
        Missing,  // no profile.txt at all
    };

    explicit ProgramFolder(Presets presets = Presets::Empty) {
        if (!dir_.isValid()) return;
        const QString profile = filePath(QStringLiteral("profile.txt"));
        switch (presets) {
            case Presets::Empty:
                valid_ = writeFile(profile, {});
                break;
            case Presets::Shipped:
                valid_ = QFile::copy(qEnvironmentVariable("QV_SOURCE_DIR") +
                                         QStringLiteral("/dist/profile.txt"),
                                     profile) ||
                         writeFile(profile, {});
                break;
            case Presets::Missing:
                valid_ = true;
                break;
        }
    }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    bool isValid() const { return valid_; }
    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }

    // The built encoder adapter, linked in as this folder's `ffmpeg`.
    bool linkEncoder(const QString& adapter) const {
        return QFile::link(adapter, filePath(QStringLiteral("ffmpeg")));
    }
    // A script standing in for the encoder as this folder's `ffmpeg`.
    bool writeStandIn(const QByteArray& script) const {
        const QString exe = filePath(QStringLiteral("ffmpeg"));
        return writeFile(exe, script) &&
               QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

  private:
    QTemporaryDir dir_;
    bool valid_ = false;
};

// Runs program (stdin from the null device) and gives what it wrote on both channels.
// exitCode: -1 when it crashed, or was stopped after two minutes without an end.
inline QString run(const QString& program, const QStringList& args, int* exitCode = nullptr) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    const bool ended = p.waitForFinished(120000);
    if (!ended) {
        p.kill();
        p.waitForFinished();
    }
    if (exitCode) *exitCode = ended && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAll());
}

// A clip at path made by the installed encoder from lavfi sources, cut to the shortest.
// False, and the encoder's words in output, when it fails.
inline bool makeClip(const QString& path, const QStringList& sources, const QStringList& codecs,
                     QString* output = nullptr) {
    QStringList args = {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                        QStringLiteral("error"), QStringLiteral("-y")};
    for (const QString& s : sources)
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << s;
    args << codecs << QStringLiteral("-shortest") << path;
    int rc = 0;
    const QString out = run(QStringLiteral("/usr/bin/ffmpeg"), args, &rc);
    if (output) *output = out;
    return rc == 0;
}

// What ffprobe sees in a file.
struct Probe {
    int exitCode = -1;
    QString output;  // ffprobe's own words, for a failure message
    QString format;
    double duration = 0;
    QJsonObject video, audio;  // empty when there is no such stream
};

inline Probe probe(const QString& path) {
    Probe p;
    p.output = run(QStringLiteral("ffprobe"),
                   {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-of"),
                    QStringLiteral("json"), QStringLiteral("-show_format"),
                    QStringLiteral("-show_streams"), path},
                   &p.exitCode);
    const QJsonObject root = QJsonDocument::fromJson(p.output.toUtf8()).object();
    p.format = root[u"format"].toObject()[u"format_name"].toString();
    p.duration = root[u"format"].toObject()[u"duration"].toString().toDouble();
    for (const auto& s : root[u"streams"].toArray()) {
        const QJsonObject o = s.toObject();
        if (o[u"codec_type"] == QStringLiteral("video")) p.video = o;
        if (o[u"codec_type"] == QStringLiteral("audio")) p.audio = o;
    }
    return p;
}

}  // namespace qvtest

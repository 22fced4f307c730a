// The program folder's encoder on sources that trip conversions up: every call that says it
// is done leaves a result that decodes whole and lasts as long as asked, and every other
// call leaves nothing behind and says why in Japanese.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>

#include "support/crafted_sources.h"
#include "support/encoder_call.h"
#include "support/program_folder.h"

using qvtest::crafted::argList;

namespace {

// A line of the program's own dialect, after the source and " -y".
struct Line {
    const char* name;
    const char* ext;  // nullptr: the source's own (every setting automatic)
    QStringList args;
};

QList<Line> lines() {
    return {
        {"copy into AVI", "avi", argList("-vcodec", "copy", "-sameq", "-acodec", "copy")},
        {"copy into MP4", "mp4", argList("-vcodec", "copy", "-sameq", "-acodec", "copy")},
        {"copy into MKV", "mkv", argList("-vcodec", "copy", "-sameq", "-acodec", "copy")},
        {"copy into its own container", nullptr,
         argList("-vcodec", "copy", "-sameq", "-acodec", "copy")},
        {"mobile H.264", "mp4",
         argList("-s", "320x240", "-vcodec", "libx264", "-b", "384k", "-r", "15", "-acodec",
                 "libfaac", "-ab", "64k", "-ar", "22050", "-ac", "1")},
        {"DVD", "m2p",
         argList("-s", "720x480", "-vcodec", "mpeg2video", "-b", "5000k", "-r", "29.97", "-acodec",
                 "ac3", "-ab", "224k", "-ar", "48000", "-ac", "2")},
        {"AVI MPEG-4 VBR", "avi",
         argList("-s", "640x480", "-vcodec", "mpeg4", "-qscale", "5", "-acodec", "libmp3lame",
                 "-ab", "128k", "-ar", "44100", "-ac", "2")},
        {"FLV", "flv",
         argList("-s", "480x360", "-vcodec", "flv", "-b", "768k", "-r", "25", "-acodec",
                 "libmp3lame", "-ab", "128k", "-ar", "44100", "-ac", "2")},
        {"old phone 3GP", "3gp",
         argList("-s", "176x144", "-vcodec", "h263", "-b", "128k", "-r", "15", "-acodec", "libfaac",
                 "-ab", "32k", "-ar", "22050", "-ac", "1")},
        {"sound first, 1 fps", "mp4",
         argList("-s", "128x96", "-vcodec", "libx264", "-b", "48k", "-r", "1", "-acodec",
                 "libmp3lame", "-ab", "192k", "-ar", "44100", "-ac", "2")},
        {"WebM VP9", "webm",
         argList("-s", "640x360", "-vcodec", "libvpx-vp9", "-b", "1024k", "-acodec", "libopus",
                 "-ab", "128k", "-ar", "48000", "-ac", "2")},
        {"ZLIB into AVI", "avi", argList("-vcodec", "zlib", "-sameq", "-acodec", "mp2")},
        {"ZLIB into MOV", "mov", argList("-vcodec", "zlib", "-sameq", "-acodec", "libfaac")},
        {"ADPCM_SWF into AVI", "avi", argList("-vn", "-acodec", "adpcm_swf")},
        {"FLAC into AVI", "avi", argList("-vn", "-acodec", "flac")},
    };
}

// What ffprobe and a full decode say about a file.
struct Looked {
    bool decodes = false;
    QString errors;
    double seconds = 0;  // its longest picture or sound stream (chapters may run on)
    double frame = 0;    // one frame of its picture; 0 without one
};

Looked look(const QString& path) {
    Looked l;
    int rc = 0;
    l.errors = qvtest::run(QStringLiteral("/usr/bin/ffmpeg"),
                           argList("-v", "error", "-nostdin", "-i", path, "-f", "null", "-"), &rc)
                   .trimmed();
    l.decodes = rc == 0 && l.errors.isEmpty();
    const QJsonObject root =
        QJsonDocument::fromJson(
            qvtest::run(QStringLiteral("ffprobe"), argList("-v", "error", "-of", "json",
                                                           "-show_format", "-show_streams", path))
                .toUtf8())
            .object();
    bool untold = false;
    for (const auto& value : root[QStringLiteral("streams")].toArray()) {
        const QJsonObject st = value.toObject();
        const QString type = st[QStringLiteral("codec_type")].toString();
        const bool cover =
            st[QStringLiteral("disposition")].toObject()[QStringLiteral("attached_pic")].toInt();
        if ((type != QStringLiteral("video") && type != QStringLiteral("audio")) || cover) continue;
        const QJsonValue d = st[QStringLiteral("duration")];
        if (d.isUndefined())
            untold = true;
        else
            l.seconds = std::max(l.seconds, d.toString().toDouble());
        const QStringList rate = st[QStringLiteral("avg_frame_rate")].toString().split(u'/');
        if (type == QStringLiteral("video") && l.frame == 0 && rate.size() == 2 &&
            rate[0].toDouble() > 0 && rate[1].toDouble() > 0)
            l.frame = rate[1].toDouble() / rate[0].toDouble();
    }
    // Matroska gives its streams no length of their own.
    if (untold)
        l.seconds = std::max(l.seconds, root[QStringLiteral("format")]
                                            .toObject()[QStringLiteral("duration")]
                                            .toString()
                                            .toDouble());
    return l;
}

// The current row's name, fit for a file name.
QString tagName() {
    QString name = QString::fromUtf8(QTest::currentDataTag());
    for (QChar& c : name)
        if (!c.isLetterOrNumber() && c != u'.') c = u'_';
    return name;
}

// A sentence of English words: three in a row.
bool hasEnglishSentence(const QString& s) {
    static const QRegularExpression words(
        QStringLiteral("[A-Za-z]{2,}[ ,:]+[A-Za-z]{2,}[ ,:]+[A-Za-z]{2,}"));
    return words.match(s).hasMatch();
}

bool isJapanese(const QString& s) {
    return std::any_of(s.begin(), s.end(), [](QChar c) { return c.unicode() >= 0x3000; });
}

}  // namespace

class ResultCheckE2ETest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString adapter_;

    QString path(const QString& name) const { return dir_.filePath(name); }

    // Runs the adapter as the batch run does; its status, and its report line in *report.
    // encoderFirst: a folder searched before the installed encoder's.
    int runAdapter(const QStringList& args, QString* report, const QString& encoderFirst = {}) {
        const QString reportFile = path(QStringLiteral("report.txt"));
        QFile::remove(reportFile);
        QMap<QString, QString> env{
            {QStringLiteral("QUORVANE_REPORT"), reportFile},
            {QStringLiteral("QUORVANE_LOG"), path(QStringLiteral("log.txt"))}};
        if (!encoderFirst.isEmpty())
            env.insert(QStringLiteral("PATH"), encoderFirst + u':' + qEnvironmentVariable("PATH"));
        const int rc = qvtest::runEncoderCall(adapter_, args, env);
        *report = QString::fromUtf8(qvtest::readFile(reportFile)).trimmed();
        return rc;
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        const QString programDir = qEnvironmentVariable("QV_PROGRAM_DIR");
        QVERIFY2(!programDir.isEmpty(), "QV_PROGRAM_DIR is not set");
        adapter_ = QDir(programDir).filePath(QStringLiteral("ffmpeg"));
        qputenv("XDG_CACHE_HOME", path(QStringLiteral("cache")).toLocal8Bit());
        QVERIFY(QDir().mkpath(path(QStringLiteral("sources"))));
        QVERIFY(QDir().mkpath(path(QStringLiteral("out"))));
        const QString failed = qvtest::makeCraftedSources(path(QStringLiteral("sources")));
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
    }

    void playsOrSaysWhy_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QStringList>("args");
        for (const QString& source : qvtest::craftedSourceNames())
            for (const Line& l : lines()) {
                const QString ext = l.ext ? QString::fromLatin1(l.ext) : QFileInfo(source).suffix();
                QTest::addRow("%s, %s", qPrintable(source), l.name) << source << ext << l.args;
            }
    }
    void playsOrSaysWhy() {
        QFETCH(QString, source);
        QFETCH(QString, ext);
        QFETCH(QStringList, args);
        const QString src = path(QStringLiteral("sources/") + source);
        const QString dest = path(QStringLiteral("out/") + tagName() + u'.' + ext);
        QString report;
        const int rc = runAdapter(
            argList("-i", src, "-y", "-flags", "bitexact") + args + QStringList{dest}, &report);
        QVERIFY2(rc >= 0, "the adapter did not end");
        if (rc == 0) {
            const Looked made = look(dest);
            QVERIFY2(made.decodes, qPrintable(made.errors));
            const Looked from = look(src);
            const double want = from.seconds;
            const double slack = std::max({want * 0.05, 0.5, made.frame});
            QVERIFY2(
                qAbs(made.seconds - want) <= slack,
                qPrintable(QStringLiteral("%1 s instead of %2 s").arg(made.seconds).arg(want)));
            return;
        }
        QVERIFY2(!QFileInfo::exists(dest), qPrintable(report));
        QVERIFY2(isJapanese(report), qPrintable(report));
        QVERIFY2(!hasEnglishSentence(report), qPrintable(report));
    }

    // Results that play are not refused by the look at them: copies that keep a cover and
    // chapters running on past the sound, odd sizes, sound alone, a phone's clip.
    void goodResultsPass_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QStringList>("args");
        const QStringList copy = argList("-vcodec", "copy", "-sameq", "-acodec", "copy");
        QTest::newRow("podcast copied into M4A")
            << QStringLiteral("podcast.m4a") << QStringLiteral("m4a") << copy;
        QTest::newRow("podcast copied into Matroska")
            << QStringLiteral("podcast.m4a") << QStringLiteral("mkv") << copy;
        QTest::newRow("odd size copied into MP4")
            << QStringLiteral("odd_322x242.avi") << QStringLiteral("mp4") << copy;
        QTest::newRow("odd size to MPEG-4 and MP3 in AVI")
            << QStringLiteral("odd_322x242.avi") << "avi"
            << argList("-vcodec", "mpeg4", "-qscale", "5", "-acodec", "libmp3lame");
        QTest::newRow("AC-3 copied into Matroska")
            << QStringLiteral("ac3_only.mp4") << QStringLiteral("mkv") << copy;
        QTest::newRow("phone clip copied into 3GP")
            << QStringLiteral("phone.3gp") << QStringLiteral("3gp") << copy;
        QTest::newRow("a range of the phone clip")
            << QStringLiteral("phone.3gp") << "avi"
            << argList("-ss", "00:00:01", "-t", "00:00:01", "-vcodec", "mpeg4", "-acodec", "mp2");
    }
    void goodResultsPass() {
        QFETCH(QString, source);
        QFETCH(QString, ext);
        QFETCH(QStringList, args);
        const QString dest = path(QStringLiteral("out/good_") + tagName() + u'.' + ext);
        QString report;
        QCOMPARE(runAdapter(argList("-i", path(QStringLiteral("sources/") + source), "-y") + args +
                                QStringList{dest},
                            &report),
                 0);
        QVERIFY2(look(dest).decodes, qPrintable(dest));
    }

    // A result that does not play is gone, and the report says what was wrong with it. The
    // encoder here says it succeeded but leaves half a file: nothing but the look at the
    // result can tell.
    void brokenResultGoes() {
        const QString fakes = path(QStringLiteral("half_writer"));
        QVERIFY(QDir().mkpath(fakes));
        const QString source = path(QStringLiteral("sources/odd_322x242.avi"));
        const QString half = QString::number(QFileInfo(source).size() / 2);
        QVERIFY(qvtest::writeFile(fakes + QStringLiteral("/ffmpeg"),
                                  "#!/bin/sh\nfor last; do :; done\nhead -c " + half.toUtf8() +
                                      " '" + source.toUtf8() + "' > \"$last\"\nexit 0\n"));
        QVERIFY(QFile::setPermissions(fakes + QStringLiteral("/ffmpeg"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString dest = path(QStringLiteral("out/half.avi"));
        QString report;
        const int rc =
            runAdapter(argList("-i", source, "-y", "-vcodec", "mpeg4", "-acodec", "mp2", dest),
                       &report, fakes);
        QVERIFY(rc > 0);
        QVERIFY(!QFileInfo::exists(dest));
        QVERIFY2(!report.isEmpty() &&
                     report.contains(QRegularExpression(QStringLiteral("[ぁ-んァ-ン一-龯]"))),
                 qPrintable(report));
    }

    // Nothing to convert: refused before the encoder starts, so a file already at the
    // destination is left as it was.
    void nothingToConvertWritesNothing_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("reason");
        const QStringList copy = argList("-vcodec", "copy", "-acodec", "copy");
        QTest::newRow("WAV with no samples")
            << QStringLiteral("no_samples.wav") << copy
            << QStringLiteral("変換できる映像も音声も含まれていません");
        QTest::newRow("1x1 video with no frames")
            << QStringLiteral("no_frames_1x1.wmv") << argList("-vcodec", "mpeg4", "-acodec", "mp2")
            << QStringLiteral("変換できる映像も音声も含まれていません");
        QTest::newRow("sound disabled, no picture")
            << QStringLiteral("ac3_only.mp4") << argList("-an", "-vcodec", "mpeg4")
            << QStringLiteral("「音声を無効にする」を外して下さい");
        QTest::newRow("range after the end")
            << QStringLiteral("odd_322x242.avi")
            << argList("-ss", "00:00:10", "-t", "00:00:05", "-vcodec", "mpeg4")
            << QStringLiteral("変換範囲の開始位置");
    }
    void nothingToConvertWritesNothing() {
        QFETCH(QString, source);
        QFETCH(QStringList, args);
        QFETCH(QString, reason);
        const QString dest = path(QStringLiteral("out/earlier.avi"));
        QVERIFY(qvtest::writeFile(dest, "an earlier result"));
        QString report;
        const int rc = runAdapter(argList("-i", path(QStringLiteral("sources/") + source), "-y") +
                                      args + QStringList{dest},
                                  &report);
        QCOMPARE(rc, 2);
        QVERIFY2(report.contains(reason), qPrintable(report));
        QCOMPARE(qvtest::readFile(dest), QByteArray("an earlier result"));
    }

    // The encoder ends with 0 on a full disk: the result is not whole all the same.
    void fullDiskIsNamed() {
        const QString dest = path(QStringLiteral("out/full.avi"));
        QFile::remove(dest);
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), dest));
        QString report;
        const int rc = runAdapter(argList("-i", path(QStringLiteral("sources/odd_322x242.avi")),
                                          "-y", "-vcodec", "copy", "-acodec", "copy", dest),
                                  &report);
        QVERIFY(rc > 0);
        QVERIFY2(report.contains(QStringLiteral("ディスクがいっぱい")), qPrintable(report));
        QVERIFY(QFileInfo(dest).isSymLink());
    }
};

QTEST_MAIN(ResultCheckE2ETest)
#include "result_check_e2e_test.moc"

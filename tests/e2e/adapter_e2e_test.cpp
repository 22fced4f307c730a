// The program folder's encoder on real media: command lines from the builder, run the way
// the batch run starts them, checked with ffprobe.
#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "base/progress_channel.h"
#include "run/command_line.h"
#include "run/encoder_process.h"
#include "run/thumbnail.h"
#include "settings/conversion_settings.h"
#include "support/encoder_call.h"
#include "support/program_folder.h"
#include "translate.h"

using qvtest::Probe;
using qvtest::probe;
using qvtest::run;

namespace {

// Row indices of the catalogues used here.
constexpr int kAvi = 1, kMp4 = 4, kQvga = 7, kAspect43 = 3, kMpeg4 = 17, kCbr768 = 11,
              kFps2997 = 12, kLibx264 = 11;
// Today's rows, after the older ones.
constexpr int kMkv = 13, kWebm = 14, kLibx265 = 34, kLibvpxVp9 = 35, kLibsvtav1 = 36, kVbr11 = 24,
              kLibopus = 52;
constexpr int kLibfaac = 1, kMp2 = 26, kPcmS16le = 32, kAb128 = 13, kAr44100 = 8, kStereo = 2,
              kVolume2x = 5;

double rate(const QString& fraction) {
    const QStringList parts = fraction.split(QLatin1Char('/'));
    return parts.size() == 2 && parts[1].toDouble() != 0 ? parts[0].toDouble() / parts[1].toDouble()
                                                         : 0;
}

// A full decode prints nothing and ends with 0.
bool decodesCleanly(const QString& path, QString* why) {
    int rc = 0;
    *why = run(QStringLiteral("/usr/bin/ffmpeg"),
               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"),
                QStringLiteral("-i"), path, QStringLiteral("-f"), QStringLiteral("null"),
                QStringLiteral("-")},
               &rc);
    return rc == 0 && why->trimmed().isEmpty();
}

double meanVolume(const QString& path) {
    const QString out =
        run(QStringLiteral("/usr/bin/ffmpeg"),
            {QStringLiteral("-hide_banner"), QStringLiteral("-nostats"), QStringLiteral("-i"), path,
             QStringLiteral("-vn"), QStringLiteral("-af"), QStringLiteral("volumedetect"),
             QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    const auto m = QRegularExpression(QStringLiteral("mean_volume: (-?[0-9.]+) dB")).match(out);
    return m.hasMatch() ? m.captured(1).toDouble() : 1000;
}

// Every kind of setting in use: MP4 at 320x240 with AAC sound, crop, threads and a range.
qv::ConversionSettings fullSettings() {
    qv::ConversionSettings s;
    s.C1_02 = 1;
    s.C2_01 = kMp4;
    s.C2_02 = kQvga;
    s.C2_03 = kAspect43;
    s.C2_04 = kMpeg4;
    s.C2_05 = kCbr768;
    s.C2_06 = kFps2997;
    s.C2_07_1 = 8;
    s.C3_01 = kLibfaac;
    s.C3_02 = kAb128;
    s.C3_03 = kAr44100;
    s.C3_04 = kStereo;
    s.C3_05 = 0;
    s.C3_06 = 0;
    s.CheckBox2 = true;
    s.CheckBox5 = true;
    // Start 1 s, length 5 s: the same fragments as the full settings line's 1:30 and 45 s, fitting
    // the clip.
    s.C4_01_3 = 1;
    s.C4_01_6 = 5;
    return s;
}

// Every catalogue automatic but the container.
qv::ConversionSettings automaticSettings() {
    qv::ConversionSettings s;
    s.C1_02 = 0;
    s.C2_00 = 0;
    s.C2_01 = kAvi;
    s.C2_02 = s.C2_03 = s.C2_04 = s.C2_05 = s.C2_06 = 0;
    s.C3_01 = s.C3_02 = s.C3_03 = s.C3_04 = s.C3_05 = s.C3_06 = 0;
    return s;
}

}  // namespace

class AdapterE2ETest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString encoder_;
    QString runtime_;

    QString path(const QString& name) const { return dir_.filePath(name); }

    void makeClip(const QString& name, const QStringList& sources, const QStringList& codecs) {
        QString out;
        QVERIFY2(qvtest::makeClip(path(name), sources, codecs, &out), qPrintable(out));
    }

    // "red" or "blue" for an 80x60 thumbnail in folder whose middle is clearly that colour;
    // otherwise what went wrong.
    static QString thumbnailColour(const QString& folder) {
        qv::RgbImage image;
        const qv::FileResult decoded =
            qv::decodeJpegFile(qv::thumbnailPath(folder.toStdString()), image);
        if (!decoded) return QString::fromStdString(decoded.message);
        if (image.width != 80 || image.height != 60)
            return QStringLiteral("size %1x%2").arg(image.width).arg(image.height);
        const size_t middle = (30 * 80 + 40) * 3;
        const int r = image.pixels[middle], b = image.pixels[middle + 2];
        if (r > 200 && b < 60) return QStringLiteral("red");
        if (b > 200 && r < 60) return QStringLiteral("blue");
        return QStringLiteral("r %1 b %2").arg(r).arg(b);
    }

    // Runs one call the way the batch run does; returns the exit code (-1: killed or hung).
    int runAdapter(const qv::EncoderCommand& command) {
        return qvtest::runEncoderCall(encoder_, command.args);
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        const QByteArray programDir = qgetenv("QV_PROGRAM_DIR");
        QVERIFY2(!programDir.isEmpty(), "QV_PROGRAM_DIR is not set");
        encoder_ = QString::fromStdString(qv::resolveEncoder(programDir.toStdString()));
        QCOMPARE(encoder_,
                 QDir(QString::fromLocal8Bit(programDir)).filePath(QStringLiteral("ffmpeg")));

        // Two-pass statistics go under the runtime folder: one of our own, to look into.
        runtime_ = path(QStringLiteral("runtime"));
        QVERIFY(QDir().mkpath(runtime_));
        QFile::setPermissions(runtime_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime_.toLocal8Bit());
        // What the adapter keeps about sources, in a cache of this test's own.
        qputenv("XDG_CACHE_HOME", path(QStringLiteral("cache")).toLocal8Bit());

        const QString sine = QStringLiteral("sine=frequency=440:sample_rate=44100:duration=%1");
        makeClip(QStringLiteral("av.avi"),
                 {QStringLiteral("testsrc=size=160x120:rate=25:duration=8"), sine.arg(8)},
                 {QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-c:a"),
                  QStringLiteral("mp2")});
        makeClip(QStringLiteral("video.avi"),
                 {QStringLiteral("testsrc=size=160x120:rate=25:duration=8")},
                 {QStringLiteral("-c:v"), QStringLiteral("mpeg4")});
        makeClip(QStringLiteral("short.avi"),
                 {QStringLiteral("testsrc=size=160x120:rate=25:duration=3"), sine.arg(3)},
                 {QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-c:a"),
                  QStringLiteral("mp2")});
        makeClip(QStringLiteral("a.wmv"),
                 {QStringLiteral("testsrc=size=64x48:rate=5:duration=40"),
                  QStringLiteral("sine=sample_rate=22050:duration=40")},
                 {QStringLiteral("-c:v"), QStringLiteral("wmv2"), QStringLiteral("-c:a"),
                  QStringLiteral("wmav2"), QStringLiteral("-b:a"), QStringLiteral("32k")});
        QVERIFY(QDir().mkpath(path(QStringLiteral("out"))));
    }

    void fullSettingsLine_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("hasSound");
        QTest::newRow("video and sound") << "av.avi" << true;
        QTest::newRow("video only") << "video.avi" << false;
    }
    void fullSettingsLine() {
        QFETCH(QString, source);
        QFETCH(bool, hasSound);
        const QString dest = path(QStringLiteral("out/") + QFileInfo(source).completeBaseName() +
                                  QStringLiteral(".mp4"));
        const auto command = qv::buildConversionCommand(fullSettings(), path(source).toStdString(),
                                                        dest.toStdString(), 1, false);
        QCOMPARE(runAdapter(command), 0);

        const Probe p = probe(dest);
        QVERIFY2(p.format.contains(QStringLiteral("mp4")), qPrintable(p.format));
        QCOMPARE(p.video[u"codec_name"].toString(), QStringLiteral("mpeg4"));
        QCOMPARE(p.video[u"width"].toInt(), 320);
        QCOMPARE(p.video[u"height"].toInt(), 240);
        QCOMPARE(p.video[u"display_aspect_ratio"].toString(), QStringLiteral("4:3"));
        QVERIFY2(qAbs(rate(p.video[u"avg_frame_rate"].toString()) - 29.97) < 0.01,
                 qPrintable(p.video[u"avg_frame_rate"].toString()));
        QVERIFY2(qAbs(p.duration - 5) < 0.6, qPrintable(QString::number(p.duration)));
        if (hasSound) {
            QCOMPARE(p.audio[u"codec_name"].toString(), QStringLiteral("aac"));
            QCOMPARE(p.audio[u"sample_rate"].toString(), QStringLiteral("44100"));
            QCOMPARE(p.audio[u"channels"].toInt(), 2);
        } else {
            QVERIFY(p.audio.isEmpty());
        }
    }

    // With a progress channel, the real encoder's reports arrive as media seconds made of
    // the seconds the call is to make: never back, the end all of it, the result as good.
    void progressOfARealConversion_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("range");
        QTest::addColumn<bool>("preview");
        QTest::addColumn<double>("expected");
        QTest::addColumn<int>("videoCodec");
        QTest::newRow("whole clip") << "av.avi" << false << false << 8.0 << kMpeg4;
        QTest::newRow("range of 5 s") << "av.avi" << true << false << 5.0 << kMpeg4;
        QTest::newRow("preview of a 40 s clip") << "a.wmv" << false << true << 30.0 << kMpeg4;
        // Slow enough for the encoder to report several times on the way.
        QTest::newRow("20 s at 640x480 to H.264")
            << "vga.avi" << false << false << 20.0 << kLibx264;
    }
    void progressOfARealConversion() {
        QFETCH(QString, source);
        QFETCH(bool, range);
        QFETCH(bool, preview);
        QFETCH(double, expected);
        QFETCH(int, videoCodec);
        if (!QFile::exists(path(source)))
            makeClip(source,
                     {QStringLiteral("testsrc=size=640x480:rate=25:duration=20"),
                      QStringLiteral("sine=sample_rate=44100:duration=20")},
                     {QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-q:v"),
                      QStringLiteral("5"), QStringLiteral("-c:a"), QStringLiteral("mp2")});
        qv::ConversionSettings s = fullSettings();
        s.CheckBox5 = range;
        s.C2_04 = videoCodec;
        const QString dest = path(QStringLiteral("out/progress_") +
                                  QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_') +
                                  QStringLiteral(".mp4"));
        const auto command = qv::buildConversionCommand(s, path(source).toStdString(),
                                                        dest.toStdString(), 1, preview);
        int channel[2];
        QCOMPARE(::pipe2(channel, O_CLOEXEC), 0);
        qv::EncoderProcess p;
        std::string error;
        const bool started = p.start(encoder_.toStdString(), command.args, &error,
                                     {{qv::kProgressVariable, std::string("3")}}, channel[1]);
        ::close(channel[1]);
        QVERIFY2(started, error.c_str());
        qv::ProgressLineReader reader;
        std::vector<qv::ProgressReport> reports;
        char buf[4096];
        for (ssize_t n; (n = ::read(channel[0], buf, sizeof buf)) > 0;)
            for (const qv::ProgressReport& r : reader.feed(std::string_view(buf, n)))
                reports.push_back(r);
        ::close(channel[0]);
        QVERIFY(p.waitFor(120000));
        QCOMPARE(p.exitCode(), 0);

        QVERIFY(!reports.empty());
        double last = 0;
        for (const qv::ProgressReport& r : reports) {
            QVERIFY2(qAbs(r.expected - expected) < 0.2, qPrintable(QString::number(r.expected)));
            QVERIFY2(r.done >= last, qPrintable(QString::number(r.done)));
            last = r.done;
        }
        QVERIFY2(reports.back().fraction() > 0.99,
                 qPrintable(QString::number(reports.back().fraction())));
        const Probe probed = probe(dest);
        QVERIFY2(qAbs(probed.duration - expected) < 0.6,
                 qPrintable(QString::number(probed.duration)));
        QString why;
        QVERIFY2(decodesCleanly(dest, &why), qPrintable(why));
    }

    // Two passes, every catalogue automatic, 30-second preview.
    void twoPassPreview() {
        qv::ConversionSettings s = automaticSettings();
        s.CheckBox1 = true;
        const std::string source = path(QStringLiteral("a.wmv")).toStdString(),
                          dest = path(QStringLiteral("a.avi")).toStdString();
        const auto pass1 = qv::buildConversionCommand(s, source, dest, 1, true);
        QCOMPARE(runAdapter(pass1), 0);
        const Probe first = probe(QString::fromStdString(dest));
        QVERIFY(first.audio.isEmpty());
        QCOMPARE(first.video[u"codec_name"].toString(), QStringLiteral("wmv2"));

        QCOMPARE(runAdapter(qv::buildConversionCommand(s, source, dest, 2, true)), 0);
        const Probe p = probe(QString::fromStdString(dest));
        QVERIFY2(p.format.contains(QStringLiteral("avi")), qPrintable(p.format));
        QCOMPARE(p.video[u"codec_name"].toString(), QStringLiteral("wmv2"));
        QCOMPARE(p.audio[u"codec_name"].toString(), QStringLiteral("wmav2"));
        QVERIFY2(qAbs(p.duration - 30) < 0.6, qPrintable(QString::number(p.duration)));
    }

    // A real two-pass encode: statistics of pass 1 reach pass 2 and are gone afterwards.
    void twoPassStatistics() {
        qv::ConversionSettings s = automaticSettings();
        s.C2_04 = kMpeg4;
        s.C2_05 = kCbr768;
        s.CheckBox1 = true;
        const QString dest = path(QStringLiteral("out/twopass.avi"));
        const QString folder = QString::fromStdString(
            qv::adapter::passLogFolder(runtime_.toStdString(), getuid(), dest.toStdString()));
        const std::string source = path(QStringLiteral("av.avi")).toStdString();

        QCOMPARE(runAdapter(qv::buildConversionCommand(s, source, dest.toStdString(), 1, false)),
                 0);
        QVERIFY2(QFileInfo(folder + QStringLiteral("/stats-0.log")).size() > 0, qPrintable(folder));
        QVERIFY(probe(dest).audio.isEmpty());

        QCOMPARE(runAdapter(qv::buildConversionCommand(s, source, dest.toStdString(), 2, false)),
                 0);
        const Probe p = probe(dest);
        QCOMPARE(p.video[u"codec_name"].toString(), QStringLiteral("mpeg4"));
        QCOMPARE(p.audio[u"codec_name"].toString(), QStringLiteral("mp2"));
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(folder), 20000);
        QVERIFY(QDir(runtime_).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }

    // Pass 1 clears what an interrupted job left; a pass 2 that is stopped still leaves
    // nothing behind. A stand-in encoder keeps pass 2 running until it is stopped.
    void twoPassStatisticsAfterAStop() {
        const QString fake = path(QStringLiteral("fakebin"));
        QVERIFY(QDir().mkpath(fake));
        QFile script(fake + QStringLiteral("/ffmpeg"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(
            "#!/bin/sh\ncase \"$*\" in *\"-pass 2\"*) exec /bin/sleep 30;; esac\nexit 0\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        qv::ConversionSettings s = automaticSettings();
        s.CheckBox1 = true;
        const QString dest = path(QStringLiteral("out/stopped.avi"));
        const QString folder = QString::fromStdString(
            qv::adapter::passLogFolder(runtime_.toStdString(), getuid(), dest.toStdString()));
        QVERIFY(QDir().mkpath(folder));
        QFile stale(folder + QStringLiteral("/stats-0.log"));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("left over");
        stale.close();

        const QByteArray savedPath = qgetenv("PATH");
        qputenv("PATH", fake.toLocal8Bit());
        const std::string source = path(QStringLiteral("av.avi")).toStdString();
        const int pass1 =
            runAdapter(qv::buildConversionCommand(s, source, dest.toStdString(), 1, false));
        const bool staleGone = !QFileInfo::exists(folder + QStringLiteral("/stats-0.log"));
        qv::EncoderProcess p;
        const bool started =
            p.start(encoder_.toStdString(),
                    qv::buildConversionCommand(s, source, dest.toStdString(), 2, false).args);
        qputenv("PATH", savedPath);
        QCOMPARE(pass1, 0);
        QVERIFY(staleGone);
        QVERIFY(started);
        QVERIFY(QFileInfo::exists(folder));
        QTest::qWait(200);
        QVERIFY(p.stop());
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(folder), 20000);
    }

    void volumeChange() {
        qv::ConversionSettings s = automaticSettings();
        s.C3_01 = kPcmS16le;
        s.C3_05 = kVolume2x;  // 516 of 256
        const QString dest = path(QStringLiteral("out/louder.avi"));
        QCOMPARE(
            runAdapter(qv::buildConversionCommand(s, path(QStringLiteral("av.avi")).toStdString(),
                                                  dest.toStdString(), 1, false)),
            0);
        const double gain = meanVolume(dest) - meanVolume(path(QStringLiteral("av.avi")));
        QVERIFY2(qAbs(gain - 6.09) < 0.5, qPrintable(QString::number(gain)));
    }

    void streams_data() {
        QTest::addColumn<bool>("noPicture");
        QTest::addColumn<bool>("noSound");
        QTest::addColumn<int>("audioCodec");
        QTest::newRow("all automatic") << false << false << 0;
        QTest::newRow("picture disabled") << true << false << 0;
        QTest::newRow("sound disabled") << false << true << 0;
        QTest::newRow("sound encoded, picture copied") << false << false << kMp2;
    }
    void streams() {
        QFETCH(bool, noPicture);
        QFETCH(bool, noSound);
        QFETCH(int, audioCodec);
        qv::ConversionSettings s = automaticSettings();
        s.CheckBox3 = noPicture;
        s.CheckBox4 = noSound;
        s.C3_01 = audioCodec;
        const QString dest = path(
            QStringLiteral("out/streams_%1%2%3.avi").arg(noPicture).arg(noSound).arg(audioCodec));
        QCOMPARE(
            runAdapter(qv::buildConversionCommand(s, path(QStringLiteral("av.avi")).toStdString(),
                                                  dest.toStdString(), 1, false)),
            0);
        const Probe p = probe(dest);
        QCOMPARE(p.video.isEmpty(), noPicture);
        QCOMPARE(p.audio.isEmpty(), noSound);
        if (!noPicture) QCOMPARE(p.video[u"codec_name"].toString(), QStringLiteral("mpeg4"));
        if (!noSound) QCOMPARE(p.audio[u"codec_name"].toString(), QStringLiteral("mp2"));
        QVERIFY2(qAbs(p.duration - 8) < 0.6, qPrintable(QString::number(p.duration)));
    }

    // Cropping needs a re-encode; with stream copy it fails, as it always did.
    void cropWithStreamCopyFails() {
        qv::ConversionSettings s = automaticSettings();
        s.C2_07_3 = 16;
        const QString dest = path(QStringLiteral("out/cropcopy.avi"));
        const int rc = runAdapter(qv::buildConversionCommand(
            s, path(QStringLiteral("av.avi")).toStdString(), dest.toStdString(), 1, false));
        QVERIFY(rc > 0);
    }

    // With no installed encoder on the search path (only a link back to the adapter itself),
    // the adapter says so in one line instead of starting itself again.
    void missingEncoder() {
        const QString links = path(QStringLiteral("links"));
        QVERIFY(QDir().mkpath(links));
        QVERIFY(QFile::link(encoder_, links + QStringLiteral("/ffmpeg")));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PATH"),
                   links + QStringLiteral(":") + path(QStringLiteral("nothing")));
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(encoder_, {QStringLiteral("-i"), path(QStringLiteral("av.avi")),
                           QStringLiteral("-y"), path(QStringLiteral("out/never.avi"))});
        QVERIFY(p.waitForFinished(60000));
        QVERIFY(p.exitCode() != 0);
        const QStringList lines = QString::fromUtf8(p.readAllStandardError())
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].contains(QStringLiteral("ffmpeg")), qPrintable(lines[0]));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("out/never.avi"))));
    }

    // Two copies of the adapter on the search path, and no encoder: they must not start
    // each other for ever.
    void twoAdapterCopiesEnd() {
        const QString a = path(QStringLiteral("copyA")), b = path(QStringLiteral("copyB"));
        QVERIFY(QDir().mkpath(a) && QDir().mkpath(b));
        QVERIFY(QFile::copy(encoder_, a + QStringLiteral("/ffmpeg")) &&
                QFile::copy(encoder_, b + QStringLiteral("/ffmpeg")));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PATH"), a + QStringLiteral(":") + b);
        env.remove(QStringLiteral("QV_ADAPTERS_SEEN"));
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(a + QStringLiteral("/ffmpeg"),
                {QStringLiteral("-i"), path(QStringLiteral("av.avi")), QStringLiteral("-y"),
                 path(QStringLiteral("out/never2.avi"))});
        QVERIFY(p.waitForFinished(20000));
        QVERIFY(p.exitCode() != 0);
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("out/never2.avi"))));
    }

    void thumbnail() {
        const QString folder = path(QStringLiteral("thumbs"));
        QVERIFY(QDir().mkpath(folder));
        const auto command = qv::buildThumbnailCommand(path(QStringLiteral("av.avi")).toStdString(),
                                                       folder.toStdString());
        const QString thumb = QString::fromStdString(qv::thumbnailPath(folder.toStdString()));
        QCOMPARE(runAdapter(command), 0);
        qv::RgbImage image;
        qv::FileResult decoded = qv::decodeJpegFile(thumb.toStdString(), image);
        QVERIFY2(decoded, decoded.message.c_str());
        QCOMPARE(image.width, 80);
        QCOMPARE(image.height, 60);

        // A thumbnail left over is replaced by the next source's picture.
        QFile stale(thumb);
        QVERIFY(stale.open(QIODevice::WriteOnly | QIODevice::Truncate));
        stale.write("stale");
        stale.close();
        const auto again = qv::buildThumbnailCommand(path(QStringLiteral("a.wmv")).toStdString(),
                                                     folder.toStdString());
        QCOMPARE(runAdapter(again), 0);
        decoded = qv::decodeJpegFile(thumb.toStdString(), image);
        QVERIFY2(decoded, decoded.message.c_str());
    }

    // The picture is the frame of the usual moment (5 s), or of half a second before the end
    // of a shorter source: red turning blue tells which frame came out.
    void thumbnailMoment_data() {
        QTest::addColumn<double>("redSeconds");
        QTest::addColumn<double>("blueSeconds");
        QTest::addColumn<QStringList>("codec");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<bool>("blue");
        const QStringList mpeg4 = {QStringLiteral("-c:v"), QStringLiteral("mpeg4"),
                                   QStringLiteral("-g"),
                                   QStringLiteral("250")};  // one key frame only
        const QStringList h264 = {QStringLiteral("-c:v"), QStringLiteral("libx264"),
                                  QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")};
        QTest::newRow("blue from 5 s") << 5.0 << 3.0 << mpeg4 << "avi" << true;
        QTest::newRow("blue from 5.2 s") << 5.2 << 2.8 << mpeg4 << "avi" << false;
        QTest::newRow("H.264 in MP4, blue from 5 s") << 5.0 << 3.0 << h264 << "mp4" << true;
        QTest::newRow("2 s clip, blue from 1.4 s") << 1.4 << 0.6 << mpeg4 << "avi" << true;
        QTest::newRow("2 s clip, blue from 1.6 s") << 1.6 << 0.4 << mpeg4 << "avi" << false;
    }
    void thumbnailMoment() {
        QFETCH(double, redSeconds);
        QFETCH(double, blueSeconds);
        QFETCH(QStringList, codec);
        QFETCH(QString, ext);
        QFETCH(bool, blue);
        const QString name =
            QStringLiteral("moment_%1_%2.%3").arg(redSeconds).arg(blueSeconds).arg(ext);
        const QString red = QStringLiteral("color=c=red:s=160x120:r=25:d=%1").arg(redSeconds);
        const QString rest = QStringLiteral("color=c=blue:s=160x120:r=25:d=%1").arg(blueSeconds);
        makeClip(
            name,
            {red + QStringLiteral("[a];") + rest + QStringLiteral("[b];[a][b]concat=n=2[out0]")},
            codec);
        const QString folder =
            path(QStringLiteral("thumbs_") + QFileInfo(name).completeBaseName() + ext);
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(
            runAdapter(qv::buildThumbnailCommand(path(name).toStdString(), folder.toStdString())),
            0);
        QCOMPARE(thumbnailColour(folder),
                 QString(blue ? QStringLiteral("blue") : QStringLiteral("red")));
    }

    // The picture of a source is kept for its next thumbnail call, but not past a change.
    void thumbnailOfAChangedSource() {
        const QString name = path(QStringLiteral("changing.avi"));
        const QString folder = path(QStringLiteral("thumbs_changing"));
        QVERIFY(QDir().mkpath(folder));
        const auto command = qv::buildThumbnailCommand(name.toStdString(), folder.toStdString());
        for (const char* colour : {"red", "red", "blue"}) {
            makeClip(QStringLiteral("changing.avi"),
                     {QStringLiteral("color=c=%1:s=160x120:r=25:d=6").arg(QLatin1String(colour))},
                     {QStringLiteral("-c:v"), QStringLiteral("mpeg4")});
            QCOMPARE(runAdapter(command), 0);
            QCOMPARE(thumbnailColour(folder), QString::fromLatin1(colour));
        }
    }

    // A source shorter than the usual moment still gives a picture, from near its end.
    void thumbnailOfAShortClip() {
        const QString folder = path(QStringLiteral("thumbs_short"));
        QVERIFY(QDir().mkpath(folder));
        const auto command = qv::buildThumbnailCommand(
            path(QStringLiteral("short.avi")).toStdString(), folder.toStdString());
        QCOMPARE(runAdapter(command), 0);
        qv::RgbImage image;
        const qv::FileResult decoded =
            qv::decodeJpegFile(qv::thumbnailPath(folder.toStdString()), image);
        QVERIFY2(decoded, decoded.message.c_str());
        QCOMPARE(image.width, 80);
    }

    // Sound only: no picture, a refusal, and quickly.
    void thumbnailOfSoundOnly() {
        makeClip(QStringLiteral("sound.mp3"),
                 {QStringLiteral("sine=sample_rate=44100:duration=20")},
                 {QStringLiteral("-c:a"), QStringLiteral("libmp3lame")});
        const QString folder = path(QStringLiteral("thumbs_sound"));
        QVERIFY(QDir().mkpath(folder));
        QElapsedTimer t;
        t.start();
        const int rc = runAdapter(qv::buildThumbnailCommand(
            path(QStringLiteral("sound.mp3")).toStdString(), folder.toStdString()));
        QVERIFY(rc > 0);
        QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
        QVERIFY(
            !QFileInfo::exists(QString::fromStdString(qv::thumbnailPath(folder.toStdString()))));
    }

    // A preview of a range is as long as the range when that is shorter than 30 s.
    void previewOfAShortRange() {
        qv::ConversionSettings s = automaticSettings();
        s.C2_04 = kMpeg4;
        s.CheckBox5 = true;
        s.C4_01_3 = 1;
        s.C4_01_6 = 2;
        const QString dest = path(QStringLiteral("out/preview_range.avi"));
        QCOMPARE(runAdapter(qv::buildConversionCommand(
                     s, path(QStringLiteral("av.avi")).toStdString(), dest.toStdString(), 1, true)),
                 0);
        const Probe p = probe(dest);
        QVERIFY2(qAbs(p.duration - 2) < 0.2, qPrintable(QString::number(p.duration)));
    }

    // Two passes with each encoder that has them, with and without a chosen rate and a
    // range: a result that plays whole, as long as asked.
    void twoPassMatrix_data() {
        QTest::addColumn<int>("container");
        QTest::addColumn<int>("codec");
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("range");
        for (int codec : {kLibx264, kMpeg4})
            for (int rate : {0, kCbr768})
                for (bool range : {false, true})
                    QTest::addRow("%s, rate %s, %s", codec == kLibx264 ? "libx264" : "mpeg4",
                                  rate ? "768k" : "automatic", range ? "range" : "whole")
                        << (codec == kLibx264 ? kMp4 : kAvi) << codec << rate << range;
    }
    void twoPassMatrix() {
        QFETCH(int, container);
        QFETCH(int, codec);
        QFETCH(int, rate);
        QFETCH(bool, range);
        qv::ConversionSettings s = automaticSettings();
        s.C2_01 = container;
        s.C2_04 = codec;
        s.C2_05 = rate;
        s.CheckBox1 = true;
        s.CheckBox5 = range;
        s.C4_01_3 = 2;  // from 2 s, 3 s long
        s.C4_01_6 = 3;
        const QString dest =
            path(QStringLiteral("out/matrix_%1_%2_%3.%4")
                     .arg(codec)
                     .arg(rate)
                     .arg(range)
                     .arg(container == kMp4 ? QStringLiteral("mp4") : QStringLiteral("avi")));
        const std::string source = path(QStringLiteral("av.avi")).toStdString();
        QCOMPARE(runAdapter(qv::buildConversionCommand(s, source, dest.toStdString(), 1, false)),
                 0);
        QCOMPARE(runAdapter(qv::buildConversionCommand(s, source, dest.toStdString(), 2, false)),
                 0);
        QString why;
        QVERIFY2(decodesCleanly(dest, &why), qPrintable(why));
        const Probe p = probe(dest);
        const double want = range ? 3 : 8;
        QVERIFY2(qAbs(p.duration - want) <= want * 0.1, qPrintable(QString::number(p.duration)));
        QVERIFY(!p.audio.isEmpty());
    }

    // Today's rows chosen by their indices: results of the right codecs in the right
    // containers that decode whole and last as long as the source.
    void todaysFormats_data() {
        QTest::addColumn<int>("container");
        QTest::addColumn<int>("videoCodec");
        QTest::addColumn<int>("videoRate");
        QTest::addColumn<int>("audioCodec");
        QTest::addColumn<bool>("twoPass");
        QTest::addColumn<QString>("docType");  // what the file says it is
        QTest::addColumn<QString>("video");
        QTest::addColumn<QString>("audio");
        QTest::newRow("H.265 + Opus in Matroska, VBR 11")
            << kMkv << kLibx265 << kVbr11 << kLibopus << false << "matroska"
            << "hevc"
            << "opus";
        QTest::newRow("VP9 + Opus in WebM, VBR 11")
            << kWebm << kLibvpxVp9 << kVbr11 << kLibopus << false << "webm"
            << "vp9"
            << "opus";
        QTest::newRow("AV1 + Opus in Matroska, 768k")
            << kMkv << kLibsvtav1 << kCbr768 << kLibopus << false << "matroska"
            << "av1"
            << "opus";
        QTest::newRow("AV1 + Opus in WebM, source rate")
            << kWebm << kLibsvtav1 << 0 << kLibopus << false << "webm"
            << "av1"
            << "opus";
        QTest::newRow("H.265 + AAC in MP4, 768k")
            << kMp4 << kLibx265 << kCbr768 << kLibfaac << false << "ftyp"
            << "hevc"
            << "aac";
        QTest::newRow("AV1 + Opus in MP4, VBR 11")
            << kMp4 << kLibsvtav1 << kVbr11 << kLibopus << false << "ftyp"
            << "av1"
            << "opus";
        QTest::newRow("VP9 + MP2 in Matroska, 768k")
            << kMkv << kLibvpxVp9 << kCbr768 << kMp2 << false << "matroska"
            << "vp9"
            << "mp2";
        QTest::newRow("VP9 + Opus in WebM, two passes, VBR 11")
            << kWebm << kLibvpxVp9 << kVbr11 << kLibopus << true << "webm"
            << "vp9"
            << "opus";
    }
    void todaysFormats() {
        QFETCH(int, container);
        QFETCH(int, videoCodec);
        QFETCH(int, videoRate);
        QFETCH(int, audioCodec);
        QFETCH(bool, twoPass);
        QFETCH(QString, docType);
        QFETCH(QString, video);
        QFETCH(QString, audio);
        qv::ConversionSettings s = automaticSettings();
        s.C2_01 = container;
        s.C2_04 = videoCodec;
        s.C2_05 = videoRate;
        s.C3_01 = audioCodec;
        s.CheckBox1 = twoPass;
        const QString ext = container == kMkv    ? QStringLiteral("mkv")
                            : container == kWebm ? QStringLiteral("webm")
                                                 : QStringLiteral("mp4");
        const QString dest = path(QStringLiteral("out/today_%1_%2_%3_%4.%5")
                                      .arg(videoCodec)
                                      .arg(videoRate)
                                      .arg(audioCodec)
                                      .arg(twoPass)
                                      .arg(ext));
        const std::string source = path(QStringLiteral("av.avi")).toStdString();
        for (int pass = 1; pass <= (twoPass ? 2 : 1); ++pass)
            QCOMPARE(
                runAdapter(qv::buildConversionCommand(s, source, dest.toStdString(), pass, false)),
                0);
        QString why;
        QVERIFY2(decodesCleanly(dest, &why), qPrintable(why));
        QVERIFY2(qvtest::readFile(dest).left(64).contains(docType.toLatin1()), qPrintable(docType));
        const Probe p = probe(dest);
        QCOMPARE(p.video[u"codec_name"].toString(), video);
        QCOMPARE(p.audio[u"codec_name"].toString(), audio);
        QVERIFY2(qAbs(p.duration - 8) < 0.5, qPrintable(QString::number(p.duration)));
    }

    // Today's codecs in a container that cannot hold them, or two passes where the encoder
    // has none: refused with a reason, nothing written.
    void todaysFormatsRefused_data() {
        QTest::addColumn<int>("container");
        QTest::addColumn<int>("videoCodec");
        QTest::addColumn<int>("audioCodec");
        QTest::addColumn<bool>("twoPass");
        QTest::addColumn<QString>("reason");
        QTest::newRow("H.265 in AVI") << kAvi << kLibx265 << kMp2 << false << "LIBX265";
        QTest::newRow("VP9 in MP4") << kMp4 << kLibvpxVp9 << kLibfaac << false << "LIBVPX-VP9";
        QTest::newRow("AAC in WebM") << kWebm << kLibvpxVp9 << kLibfaac << false << "AAC";
        QTest::newRow("H.265 in two passes") << kMkv << kLibx265 << kLibopus << true << "2パス";
    }
    void todaysFormatsRefused() {
        QFETCH(int, container);
        QFETCH(int, videoCodec);
        QFETCH(int, audioCodec);
        QFETCH(bool, twoPass);
        QFETCH(QString, reason);
        qv::ConversionSettings s = automaticSettings();
        s.C2_01 = container;
        s.C2_04 = videoCodec;
        s.C3_01 = audioCodec;
        s.CheckBox1 = twoPass;
        const QString ext = container == kAvi    ? QStringLiteral("avi")
                            : container == kMp4  ? QStringLiteral("mp4")
                            : container == kWebm ? QStringLiteral("webm")
                                                 : QStringLiteral("mkv");
        const QString dest =
            path(QStringLiteral("out/refused_%1_%2.%3").arg(videoCodec).arg(audioCodec).arg(ext));
        const QString report = path(QStringLiteral("refused_report.txt"));
        QFile::remove(report);
        qputenv("QUORVANE_REPORT", report.toLocal8Bit());
        const int rc = runAdapter(qv::buildConversionCommand(
            s, path(QStringLiteral("av.avi")).toStdString(), dest.toStdString(), 1, false));
        qunsetenv("QUORVANE_REPORT");
        QVERIFY(rc > 0);
        QVERIFY(!QFileInfo::exists(dest));
        QVERIFY2(QString::fromUtf8(qvtest::readFile(report)).contains(reason),
                 qvtest::readFile(report).constData());
    }

    // A pass 2 with no pass 1 before it is refused, with a reason, and writes nothing.
    void secondPassAlone() {
        qv::ConversionSettings s = automaticSettings();
        s.C2_04 = kMpeg4;
        s.CheckBox1 = true;
        const QString dest = path(QStringLiteral("out/alone.avi"));
        const QString report = path(QStringLiteral("alone_report.txt"));
        qputenv("QUORVANE_REPORT", report.toLocal8Bit());
        const int rc = runAdapter(qv::buildConversionCommand(
            s, path(QStringLiteral("av.avi")).toStdString(), dest.toStdString(), 2, false));
        qunsetenv("QUORVANE_REPORT");
        QVERIFY(rc > 0);
        QVERIFY(!QFileInfo::exists(dest));
        QVERIFY(QString::fromUtf8(qvtest::readFile(report)).contains(QStringLiteral("1パス目")));
    }
};

QTEST_MAIN(AdapterE2ETest)
#include "adapter_e2e_test.moc"

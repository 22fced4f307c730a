// Sources of the shapes users bring (a phone's 3GP, a podcast with cover art, a rotated
// phone clip with a recording date), through the program folder's encoder with the
// command lines the program builds, judged with ffprobe and a full decode.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "run/command_line.h"
#include "run/encoder_process.h"
#include "run/thumbnail.h"
#include "settings/conversion_settings.h"
#include "support/encoder_call.h"
#include "support/phone_3gp.h"
#include "support/program_folder.h"

using qvtest::Probe;
using qvtest::probe;
using qvtest::run;

namespace {

// Rows of the lists used here.
constexpr int kAvi = 1, kMp4 = 4, k3gp = 5, kMkv = 13, kWebm = 14;
constexpr int kSize128x96 = 1, kSize640x360 = 39, kLibx264 = 11, kFps1 = 1, kFps30 = 13, kCbr48 = 1,
              kCbr1024 = 12;
constexpr int kLibfaac = 1, kLibmp3lame = 27, kAr44100 = 8, kStereo = 2, kAb128 = 13, kAb192 = 15;

// Every list automatic: the source's own codecs copied into the container given.
qv::ConversionSettings automatic(int container) {
    qv::ConversionSettings s;
    s.C1_02 = 0;
    s.C2_00 = 0;
    s.C2_01 = container;
    s.C2_02 = s.C2_03 = s.C2_04 = s.C2_05 = s.C2_06 = 0;
    s.C3_01 = s.C3_02 = s.C3_03 = s.C3_04 = s.C3_05 = s.C3_06 = 0;
    return s;
}

// The shipped presets "スマートフォン用" (640x360) and "音声重視" (a 1-fps picture).
qv::ConversionSettings smartphone() {
    qv::ConversionSettings s = automatic(kMp4);
    s.C2_02 = kSize640x360;
    s.C2_04 = kLibx264;
    s.C2_05 = kCbr1024;
    s.C2_06 = kFps30;
    s.C3_01 = kLibfaac;
    s.C3_02 = kAb128;
    s.C3_03 = kAr44100;
    s.C3_04 = kStereo;
    return s;
}
qv::ConversionSettings soundFirst() {
    qv::ConversionSettings s = automatic(kMp4);
    s.C2_02 = kSize128x96;
    s.C2_04 = kLibx264;
    s.C2_05 = kCbr48;
    s.C2_06 = kFps1;
    s.C3_01 = kLibmp3lame;
    s.C3_02 = kAb192;
    s.C3_03 = kAr44100;
    s.C3_04 = kStereo;
    return s;
}

QString extensionOf(int container) {
    switch (container) {
        case kAvi:
            return QStringLiteral("avi");
        case k3gp:
            return QStringLiteral("3gp");
        case kMkv:
            return QStringLiteral("mkv");
        case kWebm:
            return QStringLiteral("webm");
        default:
            return QStringLiteral("mp4");
    }
}

// A full decode prints nothing and ends with 0.
QString decodeErrors(const QString& path) {
    int rc = 0;
    const QString out = run(QStringLiteral("/usr/bin/ffmpeg"),
                            {QStringLiteral("-v"), QStringLiteral("error"),
                             QStringLiteral("-nostdin"), QStringLiteral("-i"), path,
                             QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
                            &rc);
    return rc == 0 ? out.trimmed() : QStringLiteral("exit %1: %2").arg(rc).arg(out);
}

// How far a full decode of the streams `map` names gets, in seconds.
double decodedLength(const QString& path, const QString& map) {
    const QString out =
        run(QStringLiteral("/usr/bin/ffmpeg"),
            {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
             QStringLiteral("-stats"), QStringLiteral("-i"), path, QStringLiteral("-map"), map,
             QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    const auto times =
        QRegularExpression(QStringLiteral("time=(\\d+):(\\d+):([\\d.]+)")).globalMatch(out);
    double last = -1;
    for (auto it = times; it.hasNext();) {
        const auto m = it.next();
        last = m.captured(1).toDouble() * 3600 + m.captured(2).toDouble() * 60 +
               m.captured(3).toDouble();
    }
    return last;
}

// Degrees the picture is turned for display, from its display matrix; 0 without one.
int rotationOf(const QJsonObject& stream) {
    for (const auto& d : stream[QStringLiteral("side_data_list")].toArray())
        if (d.toObject().contains(QStringLiteral("rotation")))
            return d.toObject()[QStringLiteral("rotation")].toInt();
    return 0;
}

}  // namespace

class SourceShapesE2ETest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString encoder_;

    QString path(const QString& name) const { return dir_.filePath(name); }

    void encode(const QString& name, const QStringList& args) {
        int rc = 0;
        QStringList all = {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                           QStringLiteral("error"), QStringLiteral("-y")};
        all << args << path(name);
        const QString out = run(QStringLiteral("/usr/bin/ffmpeg"), all, &rc);
        QVERIFY2(rc == 0, qPrintable(out));
    }

    // One conversion call the way the batch run makes it; the exit code (-1: hung).
    int convert(const qv::ConversionSettings& s, const QString& source, const QString& dest) {
        const auto command =
            qv::buildConversionCommand(s, path(source).toStdString(), dest.toStdString(), 1, false);
        return qvtest::runEncoderCall(encoder_, command.args);
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        const QByteArray programDir = qgetenv("QV_PROGRAM_DIR");
        QVERIFY2(!programDir.isEmpty(), "QV_PROGRAM_DIR is not set");
        encoder_ = QDir(QString::fromLocal8Bit(programDir)).filePath(QStringLiteral("ffmpeg"));
        qputenv("XDG_CACHE_HOME", path(QStringLiteral("cache")).toLocal8Bit());
        qputenv("QUORVANE_LOG", path(QStringLiteral("log.txt")).toLocal8Bit());
        QVERIFY(QDir().mkpath(path(QStringLiteral("out"))));

        // A phone's 3GP: AMR-NB sound packed ten frames a sample.
        encode(QStringLiteral("phone.h263"),
               {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                QStringLiteral("testsrc=size=176x144:rate=15:duration=6"), QStringLiteral("-c:v"),
                QStringLiteral("h263"), QStringLiteral("-f"), QStringLiteral("h263")});
        QVERIFY(qvtest::writePhone3gp(
            path(QStringLiteral("phone.3gp")).toStdString(),
            qvtest::readFile(path(QStringLiteral("phone.h263"))).toStdString(), 176, 144, 15));
        // A podcast: 10 s of AAC, a red cover picture, two chapters.
        encode(QStringLiteral("cover.jpg"),
               {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                QStringLiteral("color=red:size=300x300"), QStringLiteral("-frames:v"),
                QStringLiteral("1")});
        QVERIFY(qvtest::writeFile(path(QStringLiteral("chapters.txt")),
                                  ";FFMETADATA1\ntitle=Episode\n[CHAPTER]\nTIMEBASE=1/1000\n"
                                  "START=0\nEND=5000\ntitle=One\n[CHAPTER]\nTIMEBASE=1/1000\n"
                                  "START=5000\nEND=10000\ntitle=Two\n"));
        encode(QStringLiteral("podcast.m4a"), {QStringLiteral("-f"),
                                               QStringLiteral("lavfi"),
                                               QStringLiteral("-i"),
                                               QStringLiteral("sine=sample_rate=44100:duration=10"),
                                               QStringLiteral("-i"),
                                               path(QStringLiteral("cover.jpg")),
                                               QStringLiteral("-i"),
                                               path(QStringLiteral("chapters.txt")),
                                               QStringLiteral("-map"),
                                               QStringLiteral("0:a"),
                                               QStringLiteral("-map"),
                                               QStringLiteral("1:v"),
                                               QStringLiteral("-map_metadata"),
                                               QStringLiteral("2"),
                                               QStringLiteral("-map_chapters"),
                                               QStringLiteral("2"),
                                               QStringLiteral("-c:a"),
                                               QStringLiteral("aac"),
                                               QStringLiteral("-c:v"),
                                               QStringLiteral("copy"),
                                               QStringLiteral("-disposition:v:0"),
                                               QStringLiteral("attached_pic")});
        // A clip of 10.01 s, for the 1-fps picture.
        encode(QStringLiteral("clip.mp4"),
               {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                QStringLiteral("testsrc=size=320x240:rate=30000/1001:duration=10"),
                QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                QStringLiteral("sine=sample_rate=44100:duration=10"), QStringLiteral("-c:v"),
                QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("ultrafast"),
                QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:a"),
                QStringLiteral("aac"), QStringLiteral("-shortest")});
        // A portrait phone clip: 640x360 stored, turned 90 degrees by its display matrix, with
        // a recording date and tags.
        encode(QStringLiteral("flat.mp4"),
               {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                QStringLiteral("testsrc=size=640x360:rate=25:duration=3"), QStringLiteral("-f"),
                QStringLiteral("lavfi"), QStringLiteral("-i"),
                QStringLiteral("sine=sample_rate=44100:duration=3"), QStringLiteral("-c:v"),
                QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("ultrafast"),
                QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:a"),
                QStringLiteral("aac"), QStringLiteral("-shortest")});
        encode(QStringLiteral("portrait.mp4"),
               {QStringLiteral("-i"), path(QStringLiteral("flat.mp4")), QStringLiteral("-c"),
                QStringLiteral("copy"), QStringLiteral("-metadata:s:v:0"),
                QStringLiteral("rotate=90"), QStringLiteral("-metadata"),
                QStringLiteral("creation_time=2021-05-06T07:08:09.000000Z"),
                QStringLiteral("-metadata"), QStringLiteral("title=Harbour"),
                QStringLiteral("-metadata"), QStringLiteral("artist=Mika")});
    }

    // A phone's 3GP keeps all of its sound: its AMR packs ten frames a sample, of which the
    // decoder took the first only (a tenth of the sound) and a copy none ("input is not a
    // single packet"). With every setting automatic both streams are copied; a preset
    // converts the whole sound.
    void phoneClipKeepsAllItsSound_data() {
        QTest::addColumn<bool>("copy");
        QTest::newRow("every setting automatic") << true;
        QTest::newRow("640x360 preset") << false;
    }
    void phoneClipKeepsAllItsSound() {
        QFETCH(bool, copy);
        const QString dest = path(QStringLiteral("out/phone_%1.%2")
                                      .arg(copy)
                                      .arg(copy ? QStringLiteral("3gp") : QStringLiteral("mp4")));
        QCOMPARE(convert(copy ? automatic(k3gp) : smartphone(), QStringLiteral("phone.3gp"), dest),
                 0);
        const Probe p = probe(dest);
        QCOMPARE(p.video[QStringLiteral("codec_name")].toString(),
                 copy ? QStringLiteral("h263") : QStringLiteral("h264"));
        QCOMPARE(p.audio[QStringLiteral("codec_name")].toString(),
                 copy ? QStringLiteral("amr_nb") : QStringLiteral("aac"));
        QCOMPARE(decodeErrors(dest), QString());
        const double sound = decodedLength(dest, QStringLiteral("0:a"));
        QVERIFY2(qAbs(sound - 6) < 0.3, qPrintable(QString::number(sound)));
    }

    // The cover never becomes a picture track of its own (it did, of its own length, in
    // AVI, WebM and Matroska); a copy into MP4 keeps it as the cover.
    void podcastKeepsItsLength_data() {
        QTest::addColumn<int>("container");
        QTest::addColumn<bool>("coverKept");
        QTest::newRow("AVI") << kAvi << false;
        QTest::newRow("Matroska") << kMkv << false;
        QTest::newRow("MP4") << kMp4 << true;
    }
    void podcastKeepsItsLength() {
        QFETCH(int, container);
        QFETCH(bool, coverKept);
        const QString dest = path(QStringLiteral("out/podcast.") + extensionOf(container));
        QCOMPARE(convert(automatic(container), QStringLiteral("podcast.m4a"), dest), 0);
        const Probe p = probe(dest);
        QVERIFY2(qAbs(p.duration - 10) < 0.2, qPrintable(QString::number(p.duration)));
        QCOMPARE(decodeErrors(dest), QString());
        QCOMPARE(p.audio[QStringLiteral("codec_name")].toString(), QStringLiteral("aac"));
        const QJsonObject disposition = p.video[QStringLiteral("disposition")].toObject();
        QCOMPARE(!p.video.isEmpty(), coverKept);
        if (coverKept) QCOMPARE(disposition[QStringLiteral("attached_pic")].toInt(), 1);
    }

    // A chosen picture codec does not make a picture track from the cover either.
    void podcastWithAPresetHasNoPictureTrack() {
        const QString dest = path(QStringLiteral("out/podcast_preset.mp4"));
        QCOMPARE(convert(smartphone(), QStringLiteral("podcast.m4a"), dest), 0);
        const Probe p = probe(dest);
        QVERIFY(p.video.isEmpty());
        QVERIFY2(qAbs(p.duration - 10) < 0.2, qPrintable(QString::number(p.duration)));
        QCOMPARE(decodeErrors(dest), QString());
    }

    // The cover of a sound file is its thumbnail (it used to have none).
    void podcastThumbnailIsItsCover() {
        const QString folder = path(QStringLiteral("thumbs"));
        QVERIFY(QDir().mkpath(folder));
        const auto command = qv::buildThumbnailCommand(
            path(QStringLiteral("podcast.m4a")).toStdString(), folder.toStdString());
        qv::EncoderProcess p;
        std::string error;
        QVERIFY(p.start(encoder_.toStdString(), command.args, &error));
        QVERIFY(p.waitFor(60000));
        QCOMPARE(p.exitCode(), 0);
        qv::RgbImage image;
        QVERIFY(qv::decodeJpegFile(qv::thumbnailPath(folder.toStdString()), image));
        QCOMPARE(image.width, 80);
        const size_t middle = (30 * 80 + 40) * 3;
        QVERIFY2(image.pixels[middle] > 200 && image.pixels[middle + 2] < 60,
                 qPrintable(QString::number(image.pixels[middle])));
    }

    // The 1-fps picture of the sound preset ends with its source (10 s came out 12 s).
    void lowFrameRateEndsWithTheSource() {
        const QString dest = path(QStringLiteral("out/clip_1fps.mp4"));
        QCOMPARE(convert(soundFirst(), QStringLiteral("clip.mp4"), dest), 0);
        const Probe p = probe(dest);
        QVERIFY2(qAbs(p.duration - 10) < 0.5, qPrintable(QString::number(p.duration)));
        QVERIFY2(qAbs(p.video[QStringLiteral("duration")].toString().toDouble() - 10) < 0.6,
                 qPrintable(p.video[QStringLiteral("duration")].toString()));
        QCOMPARE(decodeErrors(dest), QString());
    }

    // A portrait phone clip keeps its recording date and tags, and stays upright: a copy
    // keeps its display matrix, a 640x360 preset makes it 360x640.
    void portraitClipStaysUprightWithItsDate_data() {
        QTest::addColumn<bool>("copy");
        QTest::newRow("every setting automatic") << true;
        QTest::newRow("640x360 preset") << false;
    }
    void portraitClipStaysUprightWithItsDate() {
        QFETCH(bool, copy);
        const QString dest = path(QStringLiteral("out/portrait_%1.mp4").arg(copy));
        QCOMPARE(
            convert(copy ? automatic(kMp4) : smartphone(), QStringLiteral("portrait.mp4"), dest),
            0);
        const Probe p = probe(dest);
        QCOMPARE(decodeErrors(dest), QString());
        const QJsonObject tags =
            QJsonDocument::fromJson(
                run(QStringLiteral("ffprobe"),
                    {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-of"),
                     QStringLiteral("json"), QStringLiteral("-show_format"), dest})
                    .toUtf8())
                .object()[QStringLiteral("format")]
                .toObject()[QStringLiteral("tags")]
                .toObject();
        QCOMPARE(tags[QStringLiteral("creation_time")].toString(),
                 QStringLiteral("2021-05-06T07:08:09.000000Z"));
        QCOMPARE(tags[QStringLiteral("title")].toString(), QStringLiteral("Harbour"));
        QCOMPARE(tags[QStringLiteral("artist")].toString(), QStringLiteral("Mika"));
        const int width = p.video[QStringLiteral("width")].toInt();
        const int height = p.video[QStringLiteral("height")].toInt();
        const int turned = qAbs(rotationOf(p.video)) % 180;
        if (copy) {
            QCOMPARE(width, 640);
            QCOMPARE(height, 360);
            QCOMPARE(turned, 90);
        } else {
            QCOMPARE(width, 360);
            QCOMPARE(height, 640);
            QCOMPARE(turned, 0);
        }
    }
};

QTEST_MAIN(SourceShapesE2ETest)
#include "source_shapes_e2e_test.moc"

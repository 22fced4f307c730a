// The command-line tool with the real encoder: clips made here, converted three at once and
// through a plan line by line; each result decodes to its end and carries its source's time.
#include <fcntl.h>
#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include "cli/tool_support.h"
#include "settings/catalogues.h"
#include "support/setting_line.h"

namespace {

// MP4 at 320x240 with AAC sound, volume and delay kept, into `out`.
QByteArray mp4Qvga(const QString& out) {
    using C = qv::CatalogueId;
    return "[SET1]\r\nC1_03=" + QFile::encodeName(out) + "\r\nC1_02=1\r\n[SET2]\r\n" +
           qvtest::settingLine("C2_01", C::C2_01, "MP4") +
           qvtest::settingLine("C2_02", C::C2_02, "320x240") +
           qvtest::settingLine("C2_03", C::C2_03, "4:3") +
           qvtest::settingLine("C2_04", C::C2_04, "MPEG4") +
           qvtest::settingLine("C2_05", C::C2_05, "768kbps") +
           qvtest::settingLine("C2_06", C::C2_06, "29.97fps") + "[SET3]\r\n" +
           qvtest::settingLine("C3_01", C::C3_01, "LIBFAAC") +
           qvtest::settingLine("C3_02", C::C3_02, "128kbps") +
           qvtest::settingLine("C3_03", C::C3_03, "44100Hz") +
           qvtest::settingLine("C3_04", C::C3_04, "2") + "C3_05=0\r\nC3_06=0\r\n";
}

}  // namespace

class ConvertToolE2eTest : public QObject {
    Q_OBJECT
  private:
    // Clips named clipN.avi, each with its own time.
    QStringList makeClips(const QTemporaryDir& dir, int count) {
        QStringList names;
        for (int i = 0; i < count; ++i) {
            names << dir.filePath(QStringLiteral("in/clip%1.avi").arg(i));
            QDir().mkpath(QFileInfo(names.back()).path());
            QString out;
            if (!qvtest::makeClip(
                    names.back(),
                    {QStringLiteral("testsrc=size=160x120:rate=25:duration=2"),
                     QStringLiteral("sine=frequency=440:sample_rate=44100:duration=2")},
                    {QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-c:a"),
                     QStringLiteral("mp2")},
                    &out)) {
                qWarning("%s", qPrintable(out));
                return {};
            }
            const timespec t[2] = {{1600000100 + i * 7, 123456789L + i},
                                   {1600000100 + i * 7, 123456789L + i}};
            ::utimensat(AT_FDCWD, QFile::encodeName(names.back()).constData(), t, 0);
        }
        return names;
    }

    // The real encoder in the tool's folder, settings into `out` and `count` clips; no clips
    // when any of it could not be made.
    QStringList prepare(qvtest::ToolFolder& tool, const QTemporaryDir& dir, const QString& out,
                        int count) {
        if (!tool.isValid() || !dir.isValid() ||
            !QFile::remove(tool.program().filePath(QStringLiteral("ffmpeg"))) ||
            !tool.program().linkEncoder(qEnvironmentVariable("QV_PROGRAM_DIR") +
                                        QStringLiteral("/ffmpeg")) ||
            !tool.writeSettings(mp4Qvga(out)))
            return {};
        return makeClips(dir, count);
    }

    void expectPlayableAndDated(const QStringList& sources, const QString& outDir) {
        for (const QString& s : sources) {
            const QString result =
                QDir(outDir).filePath(QFileInfo(s).completeBaseName() + QStringLiteral(".mp4"));
            const qvtest::Probe p = qvtest::probe(result);
            QVERIFY2(p.exitCode == 0 && !p.video.isEmpty() && !p.audio.isEmpty(),
                     qPrintable(result + QStringLiteral(": ") + p.output));
            QCOMPARE(p.video[u"width"].toInt(), 320);
            int rc = -1;
            const QString said = qvtest::run(
                QStringLiteral("/usr/bin/ffmpeg"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), result,
                 QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
                &rc);
            QVERIFY2(rc == 0 && said.trimmed().isEmpty(), qPrintable(result + said));
            QCOMPARE(qvtest::mtimeOf(result).tv_sec, qvtest::mtimeOf(s).tv_sec);
            QCOMPARE(qvtest::mtimeOf(result).tv_nsec, qvtest::mtimeOf(s).tv_nsec);
        }
    }

  private slots:
    void clipsThreeAtOnce() {
        qvtest::ToolFolder tool;
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out"));
        const QStringList clips = prepare(tool, dir, out, 4);
        QCOMPARE(clips.size(), 4);
        const qvtest::ToolRun r = tool.run(
            {QStringLiteral("--jobs"), QStringLiteral("3"), dir.filePath(QStringLiteral("in"))});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        expectPlayableAndDated(clips, out);
    }

    void planRunLineByLine() {
        qvtest::ToolFolder tool;
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("planned"));
        const QStringList clips = prepare(tool, dir, out, 2);
        QCOMPARE(clips.size(), 2);
        const qvtest::ToolRun planned =
            tool.run({QStringLiteral("--plan"), dir.filePath(QStringLiteral("in"))});
        QCOMPARE(planned.exitCode, 0);
        const QString plan = dir.filePath(QStringLiteral("jobs.jsonl"));
        QVERIFY(qvtest::writeFile(plan, planned.out));
        for (int k = 0; k < 2; ++k) {
            const qvtest::ToolRun r = tool.run({QStringLiteral("--run-plan"), plan,
                                                QStringLiteral("--index"), QString::number(k)});
            QVERIFY2(r.exitCode == 0, r.err.constData());
        }
        expectPlayableAndDated(clips, out);
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), 2);  // no lock left
    }
};

QTEST_GUILESS_MAIN(ConvertToolE2eTest)
#include "convert_tool_e2e_test.moc"

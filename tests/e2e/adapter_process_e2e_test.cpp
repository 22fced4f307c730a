// The program folder's encoder as a process: what it tells its caller (exit status, the
// one-line report, the log), what it leaves on disk when the encoder fails, and that the
// encoder never outlives the program that asked for it.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <optional>
#include <string>

#include "run/encoder_process.h"
#include "support/encoder_call.h"
#include "support/program_folder.h"

namespace {

// A stand-in encoder's reports on its -progress pipe, between lines that are not reports;
// the last one at END_US, then it ends with STATUS.
const QByteArray kReportsOnThree = R"SH(case " $* " in *" -progress pipe:3 "*)
  printf 'frame=1\nout_time_us=N/A\nspeed=N/A\nprogress=continue\n' >&3
  printf 'garbage\n\377=\nout_time_us=500000\nspeed=   2x\n' >&3
  printf 'progress=continue\nout_time_us=%s\nspeed=1.5x\nprogress=end\n' "$END_US" >&3 ;;
esac
exit "$STATUS"
)SH";

bool alive(int pid) { return pid > 0 && ::kill(pid, 0) == 0 && !qvtest::isZombie(pid); }

int readPid(const QString& file) { return qvtest::readFile(file).trimmed().toInt(); }

}  // namespace

class AdapterProcessE2ETest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString adapter_;

    QString path(const QString& name) const { return dir_.filePath(name); }

    // A stand-in for the installed encoder, alone on the search path of the calls that use it.
    QString fakeEncoder(const QString& name, const QByteArray& body) {
        const QString folder = path(QStringLiteral("fake_") + name);
        if (!QDir().mkpath(folder) ||
            !qvtest::writeFile(folder + QStringLiteral("/ffmpeg"), "#!/bin/sh\n" + body))
            return {};
        QFile::setPermissions(folder + QStringLiteral("/ffmpeg"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return folder;
    }

    // Runs the adapter as the batch run does, with extra environment; its exit status (-1:
    // did not end).
    int runAdapter(const QStringList& args, const QMap<QString, QString>& env = {}) {
        return qvtest::runEncoderCall(adapter_, args, env);
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        const QByteArray programDir = qgetenv("QV_PROGRAM_DIR");
        QVERIFY2(!programDir.isEmpty(), "QV_PROGRAM_DIR is not set");
        adapter_ = QString::fromLocal8Bit(programDir) + QStringLiteral("/ffmpeg");
        QString out;
        QVERIFY2(qvtest::makeClip(path(QStringLiteral("av.avi")),
                                  {QStringLiteral("testsrc=size=160x120:rate=25:duration=2"),
                                   QStringLiteral("sine=sample_rate=44100:duration=2")},
                                  {QStringLiteral("-c:v"), QStringLiteral("mpeg4"),
                                   QStringLiteral("-c:a"), QStringLiteral("mp2")},
                                  &out),
                 qPrintable(out));
    }

    // The encoder's status comes back unchanged; the report gives its cause in Japanese and
    // leaves the encoder's own lines to the log.
    void encoderStatusAndReport_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("logged");
        QTest::newRow("success") << QByteArray("echo 'a warning' >&2\nexit 0\n") << 0 << ""
                                 << "a warning";
        QTest::newRow("failure")
            << QByteArray(
                   "printf '[mp4 @ 0x55d1c0] could not write\\nError initializing output "
                   "stream 0:0 -- \\nConversion failed!\\n' >&2\nexit 1\n")
            << 1 << "ffmpeg がエラーで終了しました（詳しくはログ）"
            << "[mp4 @ 0x55d1c0] could not write\nError initializing output stream 0:0 -- \n"
               "Conversion failed!";
        QTest::newRow("own status") << QByteArray("echo 'stopped early' >&2\nexit 3\n") << 3
                                    << "ffmpeg がエラーで終了しました（詳しくはログ）"
                                    << "stopped early";
        QTest::newRow("killed by a signal")
            << QByteArray("echo 'about to die' >&2\nkill -KILL $$\n") << 128 + SIGKILL
            << "ffmpeg がエラーで終了しました（詳しくはログ）"
            << "about to die";
        QTest::newRow("a cause the user can act on")
            << QByteArray(
                   "echo 'av_interleaved_write_frame(): No space left on device' >&2\n"
                   "exit 1\n")
            << 1 << "保存先のディスクがいっぱいです"
            << "No space left on device";
        QTest::newRow("silent failure") << QByteArray("exit 4\n") << 4 << "(終了コード 4)"
                                        << "";
    }
    void encoderStatusAndReport() {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, report);
        QFETCH(QString, logged);
        const QString fake = fakeEncoder(QString::fromLatin1(QTest::currentDataTag()), body);
        QVERIFY(!fake.isEmpty());
        const QString reportFile = path(QStringLiteral("report.txt")),
                      logFile = path(QStringLiteral("log.txt"));
        QFile::remove(reportFile);
        QVERIFY(qvtest::writeFile(logFile, "earlier\n"));
        const QStringList args = {QStringLiteral("-i"),   path(QStringLiteral("av.avi")),
                                  QStringLiteral("-y"),   QStringLiteral("-vcodec"),
                                  QStringLiteral("copy"), path(QStringLiteral("out.avi"))};
        QCOMPARE(runAdapter(args, {{QStringLiteral("PATH"), fake},
                                   {QStringLiteral("QUORVANE_REPORT"), reportFile},
                                   {QStringLiteral("QUORVANE_LOG"), logFile}}),
                 status);

        if (report.isEmpty()) {
            QVERIFY(!QFileInfo::exists(reportFile));
        } else {
            const QStringList lines = QString::fromUtf8(qvtest::readFile(reportFile))
                                          .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            QCOMPARE(lines.size(), 1);
            QVERIFY2(lines[0].contains(report), qPrintable(lines[0]));
            if (!logged.isEmpty())
                QVERIFY2(!lines[0].contains(logged.section(u'\n', 0, 0)), qPrintable(lines[0]));
        }
        // The log keeps what was there, then one header naming the call, then the output.
        const QStringList log =
            QString::fromUtf8(qvtest::readFile(logFile)).split(QLatin1Char('\n'));
        QVERIFY2(log.size() >= 3, qPrintable(log.join(QLatin1Char('|'))));
        QCOMPARE(log[0], QStringLiteral("earlier"));
        QVERIFY2(log[1].startsWith(QStringLiteral("=== ")) &&
                     log[1].contains(path(QStringLiteral("out.avi"))),
                 qPrintable(log[1]));
        QVERIFY2(log.join(QLatin1Char('\n')).contains(logged),
                 qPrintable(log.join(QLatin1Char('|'))));
    }

    // A result the encoder started and failed is removed; a file it never touched stays.
    void brokenResultRemoved_data() {
        QTest::addColumn<QStringList>("streams");
        QTest::addColumn<bool>("existedBefore");
        QTest::addColumn<bool>("kept");
        // Fails at the sound encoder's start, after the result was opened.
        const QStringList lateFailure = {QStringLiteral("-vcodec"), QStringLiteral("mpeg4"),
                                         QStringLiteral("-acodec"), QStringLiteral("mp2"),
                                         QStringLiteral("-ar"),     QStringLiteral("12345")};
        QTest::newRow("new result, failed late") << lateFailure << false << false;
        QTest::newRow("old file overwritten, failed late") << lateFailure << true << false;
        QTest::newRow("old file, encoder never started on it")
            << QStringList{QStringLiteral("-vcodec"), QStringLiteral("no_such_codec")} << true
            << true;
    }
    void brokenResultRemoved() {
        QFETCH(QStringList, streams);
        QFETCH(bool, existedBefore);
        QFETCH(bool, kept);
        const QString dest = path(QStringLiteral("broken.avi"));
        QFile::remove(dest);
        if (existedBefore) QVERIFY(qvtest::writeFile(dest, "the user's own file"));
        const int rc = runAdapter(QStringList{QStringLiteral("-i"), path(QStringLiteral("av.avi")),
                                              QStringLiteral("-y")} +
                                  streams + QStringList{dest});
        QVERIFY(rc != 0);
        QCOMPARE(QFileInfo::exists(dest), kept);
        if (kept) QCOMPARE(qvtest::readFile(dest), QByteArray("the user's own file"));
    }

    // However the program goes away, the encoder it asked for is gone a second later.
    void encoderEndsWithTheProgram_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("program killed") << "kill";
        QTest::newRow("program's cancel stops the group") << "cancel";
        QTest::newRow("program gone before the adapter starts") << "gone";
    }
    void encoderEndsWithTheProgram() {
        QFETCH(QString, how);
        const QString pidFile = path(QStringLiteral("encoder_") + how + QStringLiteral(".pid"));
        const QString adapterPidFile =
            path(QStringLiteral("adapter_") + how + QStringLiteral(".pid"));
        const QString fake =
            fakeEncoder(QStringLiteral("long_") + how,
                        "echo $$ > '" + pidFile.toUtf8() + "'\nexec /bin/sleep 30\n");
        QVERIFY(!fake.isEmpty());
        const QByteArray savedPath = qgetenv("PATH");
        qputenv("PATH", fake.toLocal8Bit());
        const QStringList call = {adapter_, QStringLiteral("-i"), path(QStringLiteral("av.avi")),
                                  QStringLiteral("-y"), path(QStringLiteral("long.avi"))};
        qv::EncoderProcess program;
        bool started = false;
        if (how == QStringLiteral("cancel")) {
            started = program.start(adapter_.toStdString(),
                                    {"-i", path(QStringLiteral("av.avi")).toStdString(), "-y",
                                     path(QStringLiteral("long.avi")).toStdString()});
        } else {
            // A shell stands in for the program; "&" and exit let it die before or after
            // the adapter has started, a plain wait keeps it there until it is killed.
            const std::string script = how == QStringLiteral("gone")
                                           ? "\"$@\" & echo $! > \"$PIDFILE\"; exit 0"
                                           : "\"$@\" & echo $! > \"$PIDFILE\"; wait";
            qputenv("PIDFILE", adapterPidFile.toLocal8Bit());
            std::vector<std::string> args = {"-c", script, "sh"};
            for (const QString& a : call) args.push_back(a.toStdString());
            started = program.start("/bin/sh", args);
        }
        qputenv("PATH", savedPath);
        QVERIFY(started);

        int encoder = 0;
        if (how != QStringLiteral("gone")) {
            QTRY_VERIFY_WITH_TIMEOUT((encoder = readPid(pidFile)) > 0, 10000);
            QVERIFY(alive(encoder));
        }
        if (how == QStringLiteral("kill")) QCOMPARE(::kill(program.pid(), SIGKILL), 0);
        if (how == QStringLiteral("cancel")) QVERIFY(program.stop());
        if (how == QStringLiteral("gone")) QVERIFY(program.waitFor(10000));
        QElapsedTimer t;
        t.start();
        QTest::qWait(1000);
        encoder = readPid(pidFile);
        QVERIFY2(!alive(encoder), qPrintable(QString::number(encoder)));
        if (how != QStringLiteral("cancel")) QVERIFY(!alive(readPid(adapterPidFile)));
        program.waitFor(5000);
    }

    // The encoder's line gains -progress only when the program hands the adapter a channel
    // it can write to; then the encoder's reports reach it as shares of the call. Garbage
    // from the encoder, and a variable that names no channel, change nothing else.
    void progressChannel_data() {
        QTest::addColumn<QString>("variable");  // QUORVANE_PROGRESS; "-" for none
        QTest::addColumn<bool>("handed");       // a pipe handed over as descriptor 3
        QTest::addColumn<bool>("relayed");
        QTest::addColumn<int>("status");     // the encoder's
        QTest::addColumn<double>("endsAt");  // its last report, seconds; -1: the whole 2 s
        QTest::newRow("no channel") << "-" << false << false << 0 << 1.96;
        QTest::newRow("channel") << "3" << true << true << 0 << -1.0;
        // A failure halfway ends where it stopped, not as all of the call.
        QTest::newRow("channel, failure halfway") << "3" << true << true << 1 << 1.0;
        QTest::newRow("variable without a descriptor") << "3" << false << false << 0 << 1.96;
        QTest::newRow("variable naming stdin") << "0" << true << false << 0 << 1.96;
        QTest::newRow("variable not a number") << "3x" << true << false << 0 << 1.96;
    }
    void progressChannel() {
        QFETCH(QString, variable);
        QFETCH(bool, handed);
        QFETCH(bool, relayed);
        QFETCH(int, status);
        QFETCH(double, endsAt);
        const QString args = path(QStringLiteral("progress_args.txt"));
        // It writes no result, so the adapter has none to look at.
        const QString fake =
            fakeEncoder(QStringLiteral("progress"),
                        "printf '%s\\n' \"$@\" > '" + args.toUtf8() + "'\n" + kReportsOnThree);
        QVERIFY(!fake.isEmpty());
        const QString dest = path(QStringLiteral("progress.avi"));
        QFile::remove(dest);
        int channel[2];
        QCOMPARE(::pipe2(channel, O_CLOEXEC), 0);
        qv::EnvironmentChanges env{
            {"PATH", fake.toStdString()},
            {"END_US", std::to_string(std::llround((endsAt < 0 ? 1.96 : endsAt) * 1e6))},
            {"STATUS", std::to_string(status)}};
        env.push_back(
            {"QUORVANE_PROGRESS", variable == QStringLiteral("-")
                                      ? std::nullopt
                                      : std::optional<std::string>(variable.toStdString())});
        qv::EncoderProcess p;
        std::string error;
        const bool started = p.start(adapter_.toStdString(),
                                     {"-i", path(QStringLiteral("av.avi")).toStdString(), "-y",
                                      "-vcodec", "mpeg4", dest.toStdString()},
                                     &error, env, handed ? channel[1] : -1);
        ::close(channel[1]);
        QVERIFY2(started, error.c_str());
        QVERIFY(p.waitFor(60000));
        QCOMPARE(p.exitCode(), status);
        QByteArray got;
        char buf[4096];
        for (ssize_t n; (n = ::read(channel[0], buf, sizeof buf)) > 0;) got.append(buf, n);
        ::close(channel[0]);

        // The line as it always was, with -progress after the encoder's quiet options when
        // there is a channel.
        QStringList line =
            QString::fromUtf8(qvtest::readFile(args)).split(u'\n', Qt::SkipEmptyParts);
        QStringList head = {QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"),
                            QStringLiteral("-nostats"), QStringLiteral("-loglevel"),
                            QStringLiteral("error")};
        if (relayed) head << QStringLiteral("-progress") << QStringLiteral("pipe:3");
        head << QStringLiteral("-i") << path(QStringLiteral("av.avi"));
        QCOMPARE(line.mid(0, head.size()), head);
        QCOMPARE(line.count(QStringLiteral("-progress")), relayed ? 1 : 0);

        const QList<QByteArray> reports = got.split('\n');
        if (!relayed) {
            QCOMPARE(got, QByteArray());
            return;
        }
        // Three reports and the empty rest after the last line break.
        QCOMPARE(reports.size(), 4);
        QVERIFY(reports.back().isEmpty());
        double expected = -1;
        const double done[] = {0, 0.5, -1}, speed[] = {0, 2, 1.5};
        for (int i = 0; i < 3; ++i) {
            const QList<QByteArray> f = reports[i].split(' ');
            QCOMPARE(f.size(), 4);
            QCOMPARE(f[0], QByteArray("t"));
            if (expected < 0) expected = f[2].toDouble();
            QCOMPARE(f[2].toDouble(), expected);
            if (done[i] >= 0) QCOMPARE(f[1].toDouble(), done[i]);
            QCOMPARE(f[3].toDouble(), speed[i]);
        }
        // The source's two seconds; an end as long as that is all of it.
        QVERIFY2(qAbs(expected - 2) < 0.1, reports[0].constData());
        QCOMPARE(reports[2].split(' ')[1].toDouble(), endsAt < 0 ? expected : endsAt);
    }

    // Statistics never go to a folder others can enter: a runtime folder that is not
    // private is passed over for one of the user's own.
    void statisticsFolderIsPrivate() {
        const QString args = path(QStringLiteral("pass_args.txt"));
        const QString fake =
            fakeEncoder(QStringLiteral("passargs"), "echo \"$@\" > '" + args.toUtf8() + "'\n");
        QVERIFY(!fake.isEmpty());
        const QString shared = path(QStringLiteral("shared_runtime")),
                      home = path(QStringLiteral("home"));
        QVERIFY(QDir().mkpath(shared) && QDir().mkpath(home));
        QVERIFY(::chmod(shared.toLocal8Bit().constData(), 0777) == 0);
        QCOMPARE(runAdapter({QStringLiteral("-i"), path(QStringLiteral("av.avi")),
                             QStringLiteral("-y"), QStringLiteral("-pass"), QStringLiteral("1"),
                             QStringLiteral("-an"), QStringLiteral("-vcodec"),
                             QStringLiteral("mpeg4"), path(QStringLiteral("p.avi"))},
                            {{QStringLiteral("PATH"), fake},
                             {QStringLiteral("XDG_RUNTIME_DIR"), shared},
                             {QStringLiteral("HOME"), home}}),
                 0);
        QVERIFY(QDir(shared).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
        const QString text = QString::fromUtf8(qvtest::readFile(args));
        const QString base = home + QStringLiteral("/.cache/quorvane-2pass/");
        QVERIFY2(text.contains(QStringLiteral("-passlogfile ") + base), qPrintable(text));
        struct stat st {};
        QCOMPARE(::stat(base.toLocal8Bit().constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0700u);
    }
};

QTEST_MAIN(AdapterProcessE2ETest)
#include "adapter_process_e2e_test.moc"

// How the program ends when it is told to from outside, or dies: the real program, a copy of
// it in a program folder of the test's own beside a stand-in encoder, driven by a module
// loaded into it (end_driver.cpp) and ended by a signal, by exit() as Qt calls it when the
// display connection breaks, by the end of a real X server, or by SIGKILL.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <memory>

#include "settings/catalogues.h"
#include "support/program_folder.h"

namespace {

const QString kRestored =
    QStringLiteral("前回の変換が異常終了したため、退避していた %1 件のファイルを元に戻しました。");
const QString kResume = QStringLiteral(
    "driver: question: 前回の変換が途中で終わっています。残りの %1 件を続けて変換しますか？");

// Stands in for the encoder: no thumbnail; a conversion writes part of its result, says so
// and its id in files beside it, and then waits to be stopped. A result named bad.* or
// *bad.*, or one with a file fail_NAME beside the stand-in, fails; *done.* is done at once, and
// so is any other once the file "finish" is there.
const char* const kStandIn = R"SH(#!/bin/sh
dir=$(dirname "$0")
for last; do :; done
case " $* " in *" image2 "*) exit 1 ;; esac
name=$(basename "$last")
case "$name" in *bad.*) exit 1 ;; *done.*) printf 'DONE' > "$last"; exit 0 ;; esac
[ -e "$dir/fail_$name" ] && exit 1
if [ -e "$dir/finish" ]; then printf 'NEW' > "$last"; exit 0; fi
printf 'PARTIAL' > "$last"
echo $$ > "$dir/encoder_$name"
: > "$dir/writing_$name"
exec sleep 60
)SH";

int rowOf(qv::CatalogueId id, const char* prefix) {
    const auto rows = qv::catalogue(id);
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].substr(0, std::strlen(prefix)) == prefix) return static_cast<int>(i);
    return -1;
}

bool setMtime(const QString& path, timespec when) {
    const timespec times[2] = {when, when};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

// A running copy of the program, its output gathered.
struct Program {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    QString output() {
        text += QString::fromLocal8Bit(process->readAll());
        return text;
    }
    QString text;
};

}  // namespace

class EndingTest : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> root_;
    QString at(const QString& name) const { return root_->filePath(name); }
    QString program(const QString& name) const { return at(QStringLiteral("program/") + name); }
    QString work(const QString& name) const { return at(QStringLiteral("work/") + name); }

    // Starts the program on `args` with the driver doing `drive`.
    std::unique_ptr<Program> start(const QString& drive, const QStringList& args,
                                   const QProcessEnvironment& extra = {}) {
        auto p = std::make_unique<Program>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), at(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_STATE_HOME"), at(QStringLiteral("state")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), at(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), at(QStringLiteral("runtime")));
        env.insert(QStringLiteral("TMPDIR"), at(QStringLiteral("tmp")));
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(QV_END_DRIVER));
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   QStringLiteral("verify_asan_link_order=0:detect_leaks=0"));
        env.insert(QStringLiteral("QV_DRIVE"), drive);
        for (const QString& key : extra.keys()) env.insert(key, extra.value(key));
        p->process->setProcessEnvironment(env);
        p->process->setProcessChannelMode(QProcess::MergedChannels);
        p->process->setStandardInputFile(QProcess::nullDevice());
        // As from a desktop or a terminal, whatever this test was started with.
        p->process->setChildProcessModifier([] {
            for (const int sig : {SIGTERM, SIGHUP, SIGINT}) ::signal(sig, SIG_DFL);
        });
        p->process->start(program(QStringLiteral("Quorvane_R")), args);
        return p;
    }

    // Waits for the program to end; its exit code, -1 when it was ended by a signal.
    int finish(Program& p) {
        if (!p.process->waitForFinished(30000)) {
            p.process->kill();
            p.process->waitForFinished();
            qWarning("no end in time:\n%s", qPrintable(p.output()));
            return -2;
        }
        p.output();
        return p.process->exitStatus() == QProcess::NormalExit ? p.process->exitCode() : -1;
    }

    static bool waitForFile(const QString& path) {
        return QTest::qWaitFor([&] { return QFile::exists(path); }, 30000);
    }

    // The stand-in of `result`, stopped as the encoder adapter stops when its program dies.
    void stopEncoderOf(const QString& result) {
        const int pid =
            qvtest::readFile(program(QStringLiteral("encoder_") + result)).trimmed().toInt();
        if (pid > 0) ::kill(pid, SIGKILL);
    }

    QStringList hiddenIn(const QString& folder) const {
        return QDir(folder).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
    }
    QStringList journals() const {
        return QDir(at(QStringLiteral("state/quorvane")))
            .entryList({QStringLiteral("*.journal")}, QDir::Files);
    }

    // An earlier result of the user's beside its source.
    bool writeOldResult(const QString& name) const {
        const QString path = work(name);
        return qvtest::writeFile(path, "OLD " + name.toUtf8()) &&
               setMtime(path, {1300000001, 424242});
    }
    void expectOldResult(const QString& name) {
        const QString path = work(name);
        QCOMPARE(qvtest::readFile(path), "OLD " + name.toUtf8());
        QCOMPARE(qvtest::mtimeOf(path).tv_sec, time_t(1300000001));
        QCOMPARE(qvtest::mtimeOf(path).tv_nsec, 424242L);
    }
    // The container `container` (a row's first column) beside the source, every other choice
    // automatic.
    bool writeSettings(const char* container) const {
        const int row = rowOf(qv::CatalogueId::C2_01, container);
        return row > 0 &&
               qvtest::writeFile(
                   program(QStringLiteral("Quorvane_R.ini")),
                   "[SET1]\r\nC1_02=0\r\n[SET2]\r\nC2_00=0\r\nC2_01=" + QByteArray::number(row) +
                       "\r\nC2_02=0\r\nC2_03=0\r\nC2_04=0\r\nC2_05=0\r\nC2_06=0\r\n[SET3]\r\n"
                       "C3_01=0\r\nC3_02=0\r\nC3_03=0\r\nC3_04=0\r\nC3_05=0\r\nC3_06=0\r\n[SET4]"
                       "\r\n"
                       "C4_C2=0\r\n");
    }
    // The settings of the session, as the driver left them, are in the settings file.
    void expectSettingsWritten() {
        const QByteArray ini = qvtest::readFile(program(QStringLiteral("Quorvane_R.ini")));
        QVERIFY2(ini.contains("C4_C2=1\r\n"), ini.constData());
    }

  private slots:
    void init() {
        root_ = std::make_unique<QTemporaryDir>();
        QVERIFY(root_->isValid());
        for (const char* folder : {"program", "work", "home", "state", "config", "runtime", "tmp"})
            QVERIFY(QDir().mkpath(at(QString::fromLatin1(folder))));
        QVERIFY(QFile::setPermissions(at(QStringLiteral("runtime")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        // The program finds its folder through its own file: a copy of it, beside the stand-in.
        QVERIFY(QFile::copy(qEnvironmentVariable("QV_PROGRAM_DIR") + QStringLiteral("/Quorvane_R"),
                            program(QStringLiteral("Quorvane_R"))));
        QVERIFY(qvtest::writeFile(program(QStringLiteral("profile.txt")), {}));
        QVERIFY(qvtest::writeFile(program(QStringLiteral("ffmpeg")), kStandIn));
        QVERIFY(QFile::setPermissions(program(QStringLiteral("ffmpeg")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(QFile::setPermissions(program(QStringLiteral("Quorvane_R")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        // AVI beside the source, every other choice automatic.
        QVERIFY(writeSettings("AVI,"));
        for (const char* source : {"a.wmv", "b.wmv", "c.wmv"})
            QVERIFY(qvtest::writeFile(work(QString::fromLatin1(source)), "SOURCE"));
    }

    void cleanup() {
        for (const char* result : {"a.avi", "b.avi", "c.avi"})
            stopEncoderOf(QString::fromLatin1(result));
        root_.reset();
    }

    void endFromOutside_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("duringRun");
        QTest::addColumn<int>("exitCode");
        for (const bool run : {true, false}) {
            const char* when = run ? "during a pass" : "with no run";
            QTest::addRow("SIGTERM %s", when) << "SIGTERM" << run << 0;
            QTest::addRow("SIGHUP %s", when) << "SIGHUP" << run << 0;
            QTest::addRow("SIGINT %s", when) << "SIGINT" << run << 0;
            // Qt ends the process with exit(1) when the display connection breaks.
            QTest::addRow("display connection lost %s", when) << "exit" << run << 1;
            QTest::addRow("X server ends %s", when) << "Xvfb" << run << 1;
        }
    }
    void endFromOutside() {
        QFETCH(QString, how);
        QFETCH(bool, duringRun);
        QFETCH(int, exitCode);
        QVERIFY(writeOldResult(QStringLiteral("a.avi")));
        const QString ready =
            duringRun ? program(QStringLiteral("writing_a.avi")) : at(QStringLiteral("ready"));
        QProcessEnvironment extra;
        extra.insert(QStringLiteral("QV_READY"), at(QStringLiteral("ready")));
        if (how == QLatin1String("exit")) extra.insert(QStringLiteral("QV_EXIT_WHEN"), ready);
        QProcess xvfb;
        if (how == QLatin1String("Xvfb")) {
            const QString server = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
            if (server.isEmpty()) QSKIP("Xvfb is not installed");
            // It picks a free display and writes its number once it takes connections.
            xvfb.start(server, QStringLiteral("-displayfd 1 -nolisten tcp -screen 0 1024x768x24")
                                   .split(QLatin1Char(' ')));
            QVERIFY(xvfb.waitForReadyRead(20000));
            const QByteArray display = xvfb.readLine().trimmed();
            QVERIFY(!display.isEmpty());
            extra.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            extra.insert(QStringLiteral("DISPLAY"),
                         QStringLiteral(":") + QString::fromLatin1(display));
        }
        auto p = start(duringRun ? QStringLiteral("go") : QStringLiteral("wait"),
                       {work(QStringLiteral("a.wmv"))}, extra);
        QVERIFY2(waitForFile(ready), qPrintable(p->output()));
        const qint64 pid = p->process->processId();
        if (how == QLatin1String("SIGTERM")) ::kill(pid_t(pid), SIGTERM);
        if (how == QLatin1String("SIGHUP")) ::kill(pid_t(pid), SIGHUP);
        if (how == QLatin1String("SIGINT")) ::kill(pid_t(pid), SIGINT);
        if (how == QLatin1String("Xvfb")) {
            xvfb.terminate();
            QVERIFY(xvfb.waitForFinished(20000));
        }
        const int code = finish(*p);
        const QString output = p->output();
        QVERIFY2(code == exitCode, qPrintable(QString::number(code) + QLatin1Char('\n') + output));
        QVERIFY2(!output.contains(QStringLiteral("driver: message box")), qPrintable(output));
        QVERIFY2(!output.contains(QStringLiteral("Sanitizer")), qPrintable(output));
        // The pass stopped, its partial result gone and the previous one back as it was.
        expectOldResult(QStringLiteral("a.avi"));
        QCOMPARE(hiddenIn(work(QString())), QStringList());
        // The job that was stopped stays in the journal, for the next start to offer.
        QCOMPARE(journals().size(), duringRun ? 1 : 0);
        QCOMPARE(QDir(at(QStringLiteral("tmp"))).entryList({QStringLiteral("quorvane-report-*")}),
                 QStringList());
        if (duringRun) {
            const int encoder =
                qvtest::readFile(program(QStringLiteral("encoder_a.avi"))).trimmed().toInt();
            QVERIFY(encoder > 0);
            QVERIFY(::kill(encoder, 0) != 0);
        }
        expectSettingsWritten();
        if (duringRun && how == QLatin1String("SIGTERM")) {
            auto next = start(QStringLiteral("close"), {work(QStringLiteral("b.wmv"))});
            QCOMPARE(finish(*next), 0);
            QVERIFY2(next->output().contains(kResume.arg(1)), qPrintable(next->output()));
            QCOMPARE(journals(), QStringList());
        }
    }

    void boxWaitingForAnAnswerDoesNotHoldTheEnd() {
        // The run's end notice, left open (overnight, say) when the session ends.
        QVERIFY(qvtest::writeFile(work(QStringLiteral("bad.wmv")), "SOURCE"));
        QProcessEnvironment extra;
        extra.insert(QStringLiteral("QV_LEAVE_BOXES"), at(QStringLiteral("box")));
        auto p = start(QStringLiteral("go"), {work(QStringLiteral("bad.wmv"))}, extra);
        QVERIFY2(waitForFile(at(QStringLiteral("box"))), qPrintable(p->output()));
        ::kill(pid_t(p->process->processId()), SIGTERM);
        const int code = finish(*p);
        QVERIFY2(code == 0, qPrintable(p->output()));
        expectSettingsWritten();
    }

    void killedProgramIsMadeGoodAtTheNextStart_data() {
        QTest::addColumn<bool>("blocked");  // a folder stands at the result's name meanwhile
        QTest::newRow("put back") << false;
        QTest::newRow("cannot be put back") << true;
    }
    void killedProgramIsMadeGoodAtTheNextStart() {
        QFETCH(bool, blocked);
        QVERIFY(writeOldResult(QStringLiteral("a.avi")));
        auto first = start(QStringLiteral("go"), {work(QStringLiteral("a.wmv"))});
        QVERIFY2(waitForFile(program(QStringLiteral("writing_a.avi"))),
                 qPrintable(first->output()));
        first->process->kill();  // SIGKILL
        QCOMPARE(finish(*first), -1);
        stopEncoderOf(QStringLiteral("a.avi"));
        QCOMPARE(hiddenIn(work(QString())), QStringList{QStringLiteral(".a.avi.previous")});
        QCOMPARE(qvtest::readFile(work(QStringLiteral("a.avi"))), QByteArray("PARTIAL"));
        if (blocked) {
            QVERIFY(QFile::remove(work(QStringLiteral("a.avi"))));
            QVERIFY(QDir().mkdir(work(QStringLiteral("a.avi"))));
        }

        // Asked whether to go on with the job left to do; answered no (Esc).
        auto second = start(QStringLiteral("close"), {work(QStringLiteral("b.wmv"))});
        QCOMPARE(finish(*second), 0);
        const QString hidden = work(QStringLiteral(".a.avi.previous"));
        // The result put back needs no word: the question stands for it.
        const QString said =
            blocked ? QStringLiteral("driver: message box: ") +
                          QStringLiteral(
                              "次の 1 件は元に戻せなかったため、退避したまま残してあります。"
                              "\n\n") +
                          hidden + QStringLiteral(": ") + work(QStringLiteral("a.avi")) +
                          QStringLiteral(" にファイルでないものがあるため戻せません\n")
                    : kResume.arg(1);
        QVERIFY2(second->output().contains(said), qPrintable(second->output()));
        QVERIFY2(second->output().contains(kResume.arg(1)), qPrintable(second->output()));
        QVERIFY2(!second->output().contains(kRestored.arg(1)), qPrintable(second->output()));
        QVERIFY2(!QFile::exists(work(QStringLiteral("b.avi"))), "nothing converted on a no");
        if (blocked) {
            QCOMPARE(qvtest::readFile(hidden), QByteArray("OLD a.avi"));
            QVERIFY(QFileInfo(work(QStringLiteral("a.avi"))).isDir());
        } else {
            expectOldResult(QStringLiteral("a.avi"));
            QCOMPARE(hiddenIn(work(QString())), QStringList());
            QCOMPARE(journals(), QStringList());
        }

        // Asked once; what could not be put back is named again at every start until it can.
        auto third = start(QStringLiteral("close"), {work(QStringLiteral("b.wmv"))});
        QCOMPARE(finish(*third), 0);
        QCOMPARE(third->output().contains(said), blocked);
        QCOMPARE(third->output().contains(QStringLiteral("driver: message box")), blocked);
        QVERIFY2(!third->output().contains(QStringLiteral("driver: question")),
                 qPrintable(third->output()));
    }

    void startLeavesARunningProgramsCopiesAlone() {
        QVERIFY(writeOldResult(QStringLiteral("a.avi")));
        QVERIFY(writeOldResult(QStringLiteral("b.avi")));
        auto running = start(QStringLiteral("go"), {work(QStringLiteral("a.wmv"))});
        QVERIFY2(waitForFile(program(QStringLiteral("writing_a.avi"))),
                 qPrintable(running->output()));
        auto killed = start(QStringLiteral("go"), {work(QStringLiteral("b.wmv"))});
        QVERIFY2(waitForFile(program(QStringLiteral("writing_b.avi"))),
                 qPrintable(killed->output()));
        killed->process->kill();
        QCOMPARE(finish(*killed), -1);
        stopEncoderOf(QStringLiteral("b.avi"));

        // A third start puts back what the killed one left, and only that, and offers only
        // its job.
        auto third = start(QStringLiteral("close"), {work(QStringLiteral("c.wmv"))});
        QCOMPARE(finish(*third), 0);
        QVERIFY2(third->output().contains(kResume.arg(1)), qPrintable(third->output()));
        QVERIFY2(!third->output().contains(QStringLiteral("driver: message box")),
                 qPrintable(third->output()));
        expectOldResult(QStringLiteral("b.avi"));
        QCOMPARE(qvtest::readFile(work(QStringLiteral("a.avi"))), QByteArray("PARTIAL"));
        QCOMPARE(qvtest::readFile(work(QStringLiteral(".a.avi.previous"))),
                 QByteArray("OLD a.avi"));
        QCOMPARE(journals().size(), 1);

        // The running one still ends cleanly with its own copy; its job left is kept.
        ::kill(pid_t(running->process->processId()), SIGTERM);
        QCOMPARE(finish(*running), 0);
        expectOldResult(QStringLiteral("a.avi"));
        QCOMPARE(hiddenIn(work(QString())), QStringList());
        QCOMPARE(journals().size(), 1);
    }

    // Killed with a job failed, one done, one running over an earlier result and one waiting;
    // the next start asks, and yes (Return) runs the two left with the batch's own settings.
    void killedBatchGoesOnWhenTheUserSaysYes() {
        const QStringList sources = {QStringLiteral("1bad.wmv"), QStringLiteral("2done.wmv"),
                                     QStringLiteral("3run.wmv"), QStringLiteral("4wait.wmv")};
        QStringList paths;
        for (const QString& s : sources) {
            QVERIFY(qvtest::writeFile(work(s), "SOURCE"));
            paths << work(s);
        }
        QVERIFY(writeOldResult(QStringLiteral("3run.avi")));
        auto first = start(QStringLiteral("go"), paths);
        QVERIFY2(waitForFile(program(QStringLiteral("writing_3run.avi"))),
                 qPrintable(first->output()));
        first->process->kill();
        QCOMPARE(finish(*first), -1);
        stopEncoderOf(QStringLiteral("3run.avi"));
        QCOMPARE(qvtest::readFile(work(QStringLiteral("2done.avi"))), QByteArray("DONE"));
        QVERIFY(QFile::remove(work(QStringLiteral("2done.avi"))));

        // Meanwhile the user's controls say MP4; the batch was for AVI. The job that was
        // running fails this time: what it gives back is the earlier result, put back first.
        QVERIFY(writeSettings("MP4,"));
        qvtest::readFile(program(QStringLiteral("Quorvane_R.ini")));
        QVERIFY(qvtest::writeFile(program(QStringLiteral("fail_3run.avi")), {}));
        QVERIFY(qvtest::writeFile(program(QStringLiteral("finish")), {}));
        QProcessEnvironment yes;
        yes.insert(QStringLiteral("QV_ANSWER"), QStringLiteral("yes"));
        auto second = start(QStringLiteral("close"), {}, yes);
        QCOMPARE(finish(*second), 0);
        const QString output = second->output();
        QVERIFY2(output.contains(kResume.arg(2)), qPrintable(output));
        QVERIFY2(!output.contains(kRestored.arg(1)), qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("driver: queued 2, close")), qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("3run.wmv: ")), qPrintable(output));
        QVERIFY2(!output.contains(QStringLiteral("1bad.wmv")), qPrintable(output));
        expectOldResult(QStringLiteral("3run.avi"));
        QCOMPARE(qvtest::readFile(work(QStringLiteral("4wait.avi"))), QByteArray("NEW"));
        QVERIFY(!QFile::exists(work(QStringLiteral("2done.avi"))));
        QCOMPARE(QDir(work(QString())).entryList({QStringLiteral("*.mp4")}), QStringList());
        QCOMPARE(hiddenIn(work(QString())), QStringList());
        QCOMPARE(journals(), QStringList());
        // The controls were never set from the batch: the close wrote them as they were.
        const QByteArray mp4 =
            "C2_01=" + QByteArray::number(rowOf(qv::CatalogueId::C2_01, "MP4,")) + "\r\n";
        QVERIFY(qvtest::readFile(program(QStringLiteral("Quorvane_R.ini"))).contains(mp4));

        auto third = start(QStringLiteral("close"), {work(QStringLiteral("a.wmv"))});
        QCOMPARE(finish(*third), 0);
        QVERIFY2(!third->output().contains(QStringLiteral("driver: question")) &&
                     !third->output().contains(QStringLiteral("driver: message box")),
                 qPrintable(third->output()));
    }
};

QTEST_GUILESS_MAIN(EndingTest)
#include "ending_test.moc"

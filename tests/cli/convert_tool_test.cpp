// The command-line tool without a display: settings, presets, the destination, several
// jobs at once, failures, JSON events, usage errors, plans and their locks, a stop by signal.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QtTest>
#include <fstream>

#include "base/cp932.h"
#include "cli/tool_support.h"
#include "run/result_lock.h"
#include "settings/catalogues.h"
#include "settings/column_split.h"

namespace {

using qvtest::readFile;
using qvtest::writeFile;

// The row with this whole text or this value.
int rowOf(qv::CatalogueId id, std::string_view text) {
    const auto rows = qv::catalogue(id);
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i] == text || qv::columnOf(rows[i], 0) == text) return static_cast<int>(i);
    return -1;
}

// The settings file with the source's folder as destination, MP4 and the given frame size row.
QByteArray settingsFile(const QByteArray& frameSize) {
    return "[SET1]\r\nC1_02=0\r\n[SET2]\r\nC2_01=" +
           QByteArray::number(rowOf(qv::CatalogueId::C2_01, "MP4,MPEG4/H.264")) + "\r\nC2_02=" +
           QByteArray::number(rowOf(qv::CatalogueId::C2_02, frameSize.toStdString())) + "\r\n";
}

// The value after `option` in a call; empty when the option is not there.
QString valueAfter(const QStringList& call, const QString& option) {
    const qsizetype at = call.indexOf(option);
    return at >= 0 && at + 1 < call.size() ? call[at + 1] : QString();
}

}  // namespace

class ConvertToolTest : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<qvtest::ToolFolder> tool_;
    std::unique_ptr<QTemporaryDir> work_;

    QString work(const QString& name) const { return work_->filePath(name); }
    QString source(const QString& name, const QByteArray& bytes = "SOURCE") const {
        writeFile(work(name), bytes);
        return work(name);
    }
    QString prog(const QString& name) const { return tool_->program().filePath(name); }

  private slots:
    void init() {
        tool_ = std::make_unique<qvtest::ToolFolder>();
        work_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tool_->isValid() && work_->isValid());
    }

    void settingsFileGivesTheConversion() {
        QVERIFY(tool_->writeSettings(settingsFile("320x240")));
        source(QStringLiteral("in/sub/c.wmv"));
        source(QStringLiteral("in/B.wmv"));
        source(QStringLiteral("in/a.avi"));
        const qvtest::ToolRun r = tool_->run({work(QStringLiteral("in"))});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        // Found below the folder and sorted as the job list sorts: the whole path, case aside.
        const QList<QStringList> calls = tool_->calls();
        QCOMPARE(calls.size(), 3);
        QCOMPARE(calls[0].last(), work(QStringLiteral("in/a.mp4")));
        QCOMPARE(calls[1].last(), work(QStringLiteral("in/B.mp4")));
        QCOMPARE(calls[2].last(), work(QStringLiteral("in/sub/c.mp4")));
        QCOMPARE(valueAfter(calls[0], QStringLiteral("-s")), QStringLiteral("320x240"));
        QCOMPARE(readFile(work(QStringLiteral("in/B.mp4"))), QByteArray("new"));
        // Dated like its source.
        QCOMPARE(qvtest::mtimeOf(work(QStringLiteral("in/B.mp4"))).tv_sec,
                 qvtest::mtimeOf(work(QStringLiteral("in/B.wmv"))).tv_sec);
        QCOMPARE(qvtest::mtimeOf(work(QStringLiteral("in/B.mp4"))).tv_nsec,
                 qvtest::mtimeOf(work(QStringLiteral("in/B.wmv"))).tv_nsec);
        QVERIFY(r.errText().contains(QStringLiteral("変換 3 件, 失敗 0 件")));
    }

    void presetByNameGoesOverTheFile() {
        QVERIFY(tool_->writeSettings(settingsFile("320x240")));
        const std::string line = qv::encodeCp932Replacing("大画面,MP4,640x480,,,,,,,");
        QVERIFY(writeFile(prog(QStringLiteral("profile.txt")),
                          QByteArray::fromStdString("PC,AVI\r\n" + line + "\r\n")));
        const QString a = source(QStringLiteral("a.wmv"));
        const qvtest::ToolRun r =
            tool_->run({QStringLiteral("--preset"), QStringLiteral("大画面"), a});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(tool_->calls().size(), 1);
        QCOMPARE(valueAfter(tool_->calls()[0], QStringLiteral("-s")), QStringLiteral("640x480"));
    }

    void destinationFolderIsMadeAndTaken() {
        QVERIFY(tool_->writeSettings(settingsFile("320x240")));
        source(QStringLiteral("a.wmv"));
        // Relative to where the tool is started, as a shell user means it.
        const qvtest::ToolRun r = tool_->run(
            {QStringLiteral("--dest"), QStringLiteral("out/deeper/"), QStringLiteral("a.wmv")},
            work_->path());
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(readFile(work(QStringLiteral("out/deeper/a.mp4"))), QByteArray("new"));
        QVERIFY(!QFileInfo::exists(work(QStringLiteral("a.mp4"))));
    }

    void twoJobsRunAtOnce() {
        QVERIFY(tool_->writeSettings(settingsFile("320x240")));
        source(QStringLiteral("pair1.wmv"));
        source(QStringLiteral("pair2.wmv"));
        const qvtest::ToolRun r =
            tool_->run({QStringLiteral("--jobs"), QStringLiteral("2"),
                        work(QStringLiteral("pair1.wmv")), work(QStringLiteral("pair2.wmv"))});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(readFile(work(QStringLiteral("pair1.mp4"))), QByteArray("together"));
        QCOMPARE(readFile(work(QStringLiteral("pair2.mp4"))), QByteArray("together"));
    }

    // A failing file: exit 1, its Japanese reason on standard error, its earlier result kept;
    // the other file is converted. With --json the same run is told as events.
    void failingFileKeepsThePreviousResult_data() {
        QTest::addColumn<bool>("json");
        QTest::newRow("lines") << false;
        QTest::newRow("json") << true;
    }
    void failingFileKeepsThePreviousResult() {
        QFETCH(bool, json);
        QVERIFY(tool_->writeSettings(settingsFile("320x240")));
        source(QStringLiteral("bad.wmv"));
        source(QStringLiteral("good.wmv"));
        QVERIFY(writeFile(work(QStringLiteral("bad.mp4")), "OLD"));
        QStringList args = {work(QStringLiteral("good.wmv")), work(QStringLiteral("bad.wmv"))};
        if (json) args.prepend(QStringLiteral("--json"));
        const qvtest::ToolRun r = tool_->run(args);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.errText().contains(QStringLiteral("失敗: ソースが壊れています")),
                 r.err.constData());
        QCOMPARE(readFile(work(QStringLiteral("bad.mp4"))), QByteArray("OLD"));
        QCOMPARE(readFile(work(QStringLiteral("good.mp4"))), QByteArray("new"));
        QVERIFY(QDir(work_->path())
                    .entryList({QStringLiteral(".*previous*")}, QDir::Hidden | QDir::Files)
                    .isEmpty());
        if (!json) {
            QVERIFY(r.out.isEmpty());
            return;
        }
        bool valid = false;
        const QList<QJsonObject> events = r.events(&valid);
        QVERIFY2(valid, r.out.constData());
        QStringList kinds;
        for (const QJsonObject& e : events)
            if (e[u"event"].toString() != QStringLiteral("progress"))
                kinds << e[u"event"].toString();
        QCOMPARE(kinds, QStringList({QStringLiteral("job_started"), QStringLiteral("job_ended"),
                                     QStringLiteral("job_started"), QStringLiteral("job_ended"),
                                     QStringLiteral("batch_ended")}));
        const QJsonObject firstStart = events.front();
        QCOMPARE(firstStart[u"job"].toInt(), 0);
        QCOMPARE(firstStart[u"source"].toString(), work(QStringLiteral("bad.wmv")));
        QCOMPARE(firstStart[u"result"].toString(), work(QStringLiteral("bad.mp4")));
        QJsonObject badEnd, last = events.back();
        for (const QJsonObject& e : events)
            if (e[u"event"].toString() == QStringLiteral("job_ended") && e[u"job"].toInt() == 0)
                badEnd = e;
        QCOMPARE(badEnd[u"end"].toString(), QStringLiteral("failed"));
        QCOMPARE(badEnd[u"reason"].toString(), QStringLiteral("ソースが壊れています"));
        QCOMPARE(last[u"end"].toString(), QStringLiteral("finished"));
        QCOMPARE(last[u"converted"].toInt(), 1);
        QCOMPARE(last[u"failed"].toInt(), 1);
    }

    void nonUtf8NamesKeepTheirBytesInJson() {
        QVERIFY(tool_->writeSettings(settingsFile("320x240")));
        const QByteArray name = work_->path().toUtf8() + "/\x93\xae\x89\xe6.wmv";
        QVERIFY(std::ofstream(name.constData()) << "SOURCE");
        const qvtest::ToolRun r = tool_->run({QStringLiteral("--json"), work_->path()});
        QCOMPARE(r.exitCode, 0);
        const QJsonObject job = r.events().value(0);
        QCOMPARE(QByteArray::fromBase64(job[u"source"].toObject()[u"base64"].toString().toLatin1()),
                 name);
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("japanese");
        const QString a = QStringLiteral("a.wmv");
        QTest::newRow("nothing") << QStringList() << QStringLiteral("指定してください");
        QTest::newRow("unknown option")
            << QStringList({QStringLiteral("--fast"), a}) << QStringLiteral("知らないオプション");
        QTest::newRow("no value") << QStringList({a, QStringLiteral("--dest")})
                                  << QStringLiteral("値が要ります");
        QTest::newRow("jobs too many")
            << QStringList({QStringLiteral("--jobs"), QStringLiteral("17"), a})
            << QStringLiteral("0 から 16");
        QTest::newRow("jobs not a number")
            << QStringList({QStringLiteral("--jobs"), QStringLiteral("-1"), a})
            << QStringLiteral("0 から 16");
        QTest::newRow("index alone")
            << QStringList({QStringLiteral("--index"), QStringLiteral("0")})
            << QStringLiteral("一緒に");
        QTest::newRow("run-plan with paths")
            << QStringList({QStringLiteral("--run-plan"), QStringLiteral("p"),
                            QStringLiteral("--index"), QStringLiteral("0"), a})
            << QStringLiteral("付けられません");
        QTest::newRow("run-plan without file")
            << QStringList({QStringLiteral("--run-plan"), QStringLiteral("nothing.jsonl"),
                            QStringLiteral("--index"), QStringLiteral("0")})
            << QStringLiteral("開けません");
        QTest::newRow("unknown preset")
            << QStringList({QStringLiteral("--preset"), QStringLiteral("無い"), a})
            << QStringLiteral("ありません");
        QTest::newRow("no files") << QStringList({QStringLiteral("missing.wmv")})
                                  << QStringLiteral("ファイルがありません");
    }
    void usageErrors() {
        QFETCH(QStringList, args);
        QFETCH(QString, japanese);
        QVERIFY(tool_->writeSettings(settingsFile("320x240")));
        source(QStringLiteral("a.wmv"));
        const qvtest::ToolRun r = tool_->run(args, work_->path());
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.errText().contains(japanese), r.err.constData());
        QVERIFY2(r.errText().contains(QStringLiteral("see --help")), r.err.constData());
        QCOMPARE(r.errText().count(QStringLiteral("quorvane-convert: ")), 2);  // both languages
        QVERIFY(tool_->calls().isEmpty());
    }

    void noDestinationIsAUsageError() {
        source(QStringLiteral("a.wmv"));  // no settings file: no destination mode chosen
        const qvtest::ToolRun r = tool_->run({work(QStringLiteral("a.wmv"))});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.errText().contains(QStringLiteral("--dest")), r.err.constData());
    }

    void helpInBothLanguages() {
        const qvtest::ToolRun r = tool_->run({QStringLiteral("--help")});
        QCOMPARE(r.exitCode, 0);
        const QString text = QString::fromUtf8(r.out);
        QVERIFY(text.contains(QStringLiteral("使い方")) && text.contains(QStringLiteral("Usage")));
        for (const char* option : {"--preset", "--dest", "--preview", "--jobs", "--json", "--plan",
                                   "--run-plan", "--index"})
            QVERIFY2(text.contains(QString::fromLatin1(option)), option);
    }

    // Each line of a plan runs alone: another host's lock is honoured and nothing is
    // written; the lock of an ended local process is taken over and goes at the end.
    void runPlanHonoursLocks() {
        QVERIFY(tool_->writeSettings(settingsFile("320x240")));
        source(QStringLiteral("a.wmv"));
        source(QStringLiteral("b.wmv"));
        QVERIFY(writeFile(work(QStringLiteral("b.mp4")), "OLD"));
        const qvtest::ToolRun planned =
            tool_->run({QStringLiteral("--plan"), work(QStringLiteral("b.wmv")),
                        work(QStringLiteral("a.wmv"))});
        QCOMPARE(planned.exitCode, 0);
        QVERIFY(tool_->calls().isEmpty());
        QCOMPARE(planned.out.count('\n'), 2);
        const QString plan = work(QStringLiteral("jobs.jsonl"));
        QVERIFY(writeFile(plan, planned.out));

        const QString lockA = work(QStringLiteral(".a.mp4.lock"));
        const QString lockB = work(QStringLiteral(".b.mp4.lock"));
        const QByteArray otherHost =
            QByteArray::fromStdString(qv::lockHostName()) + "-node2 4321 99\n";
        QVERIFY(writeFile(lockB, otherHost));
        const qvtest::ToolRun refused =
            tool_->run({QStringLiteral("--json"), QStringLiteral("--run-plan"), plan,
                        QStringLiteral("--index"), QStringLiteral("1")});
        QCOMPARE(refused.exitCode, 1);
        const QList<QJsonObject> told = refused.events();
        QCOMPARE(told.size(), 2);
        QCOMPARE(told[0][u"event"].toString(), QStringLiteral("job_ended"));
        QCOMPARE(told[0][u"job"].toInt(), 1);
        QVERIFY(told[0][u"reason"].toString().contains(lockB));
        QCOMPARE(told[1][u"failed"].toInt(), 1);
        QVERIFY2(refused.errText().contains(QStringLiteral("別のマシン")) &&
                     refused.errText().contains(lockB),
                 refused.err.constData());
        QCOMPARE(readFile(work(QStringLiteral("b.mp4"))), QByteArray("OLD"));
        QCOMPARE(readFile(lockB), otherHost);
        QVERIFY(tool_->calls().isEmpty());

        // A process of this host that has ended.
        const pid_t ended = ::fork();
        if (ended == 0) ::_exit(0);
        ::waitpid(ended, nullptr, 0);
        const QByteArray stale = QByteArray::fromStdString(qv::lockHostName()) + " " +
                                 QByteArray::number(ended) + " 1\n";
        QVERIFY(writeFile(lockA, stale));
        const qvtest::ToolRun taken = tool_->run(
            {QStringLiteral("--run-plan"), plan, QStringLiteral("--index"), QStringLiteral("0")});
        QVERIFY2(taken.exitCode == 0, taken.err.constData());
        QCOMPARE(readFile(work(QStringLiteral("a.mp4"))), QByteArray("new"));
        QVERIFY(!QFileInfo::exists(lockA));
        QCOMPARE(tool_->calls().size(), 1);

        const qvtest::ToolRun past = tool_->run(
            {QStringLiteral("--run-plan"), plan, QStringLiteral("--index"), QStringLiteral("2")});
        QCOMPARE(past.exitCode, 2);
    }

    // SIGTERM stops the batch: the job under way is undone, its earlier result comes back.
    void signalStopsWithTheEarlierResultBack() {
        QVERIFY(tool_->writeSettings(settingsFile("320x240")));
        source(QStringLiteral("wait.wmv"));
        QVERIFY(writeFile(work(QStringLiteral("wait.mp4")), "OLD"));
        QProcess p;
        tool_->start(p, {work(QStringLiteral("wait.wmv"))});
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(prog(QStringLiteral("waiting"))), 30000);
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 128 + SIGTERM);
        QCOMPARE(readFile(work(QStringLiteral("wait.mp4"))), QByteArray("OLD"));
        QVERIFY(QDir(work_->path())
                    .entryList({QStringLiteral(".*")},
                               QDir::Hidden | QDir::Files | QDir::NoDotAndDotDot)
                    .isEmpty());
    }
};

QTEST_GUILESS_MAIN(ConvertToolTest)
#include "convert_tool_test.moc"

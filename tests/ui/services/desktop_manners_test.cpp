// A batch's manners towards the desktop, against stand-in services on buses of
// the test's own: the sleep lock is held while the batch runs and released when it
// ends, the end notice goes out only after a long batch the user did not watch,
// and failing services or no bus at all leave both out without a word.
#include "ui/services/desktop_manners.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QtDBus>
#include <QtTest>

#include "support/program_folder.h"
#include "support/screen.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/progress/batch_host.h"
#include "ui/services/application.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/TLMDBrowseEdit.h"
#include "ui/widgets/TMultiColComboBox.h"
#include "ui/widgets/TdxfColorButton.h"

using namespace std::chrono_literals;

namespace {

// Only the stand-ins answer: the bus starts no services of its own.
const QString kBusConfig = QStringLiteral(
    "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
    "<busconfig>\n"
    "  <type>session</type>\n"
    "  <listen>unix:path=%1</listen>\n"
    "  <auth>EXTERNAL</auth>\n"
    "  <policy context=\"default\">\n"
    "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
    "    <allow eavesdrop=\"true\"/>\n"
    "    <allow own=\"*\"/>\n"
    "  </policy>\n"
    "</busconfig>\n");

// A dbus-daemon of the test's own, killed with this object.
class PrivateBus {
  public:
    PrivateBus() {
        if (!dir_.isValid()) {
            error_ = QStringLiteral("no temporary folder for the bus");
            return;
        }
        const QString config = dir_.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(kBusConfig.arg(dir_.filePath(QStringLiteral("socket"))).toUtf8()) < 0) {
            error_ = QStringLiteral("cannot write ") + config;
            return;
        }
        file.close();
        daemon_.setStandardInputFile(QProcess::nullDevice());
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                       QStringLiteral("--config-file=") + config});
        if (!daemon_.waitForStarted(10000)) {
            error_ =
                QStringLiteral("dbus-daemon cannot be started (Debian package dbus-daemon): ") +
                daemon_.errorString();
            return;
        }
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(10000)) {
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        if (address_.isEmpty()) {
            error_ = QStringLiteral("dbus-daemon gave no address: ") +
                     QString::fromUtf8(daemon_.readAllStandardError());
        }
    }
    ~PrivateBus() {
        if (daemon_.state() == QProcess::NotRunning) return;
        daemon_.terminate();
        if (!daemon_.waitForFinished(5000)) {
            daemon_.kill();
            daemon_.waitForFinished(5000);
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool isUp() const { return !address_.isEmpty(); }
    const QString& address() const { return address_; }
    const QString& error() const { return error_; }

  private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
    QString error_;
};

// How a stand-in answers a call.
enum class Answer { Grant, Refuse, Later };

// logind's Inhibit: hands out the write end of a fresh pipe, so the read end shows
// when every copy of the lock is closed.
class StandInLogind : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

  public:
    ~StandInLogind() override { forgetLock(); }

    void reset() {
        answer = Answer::Grant;
        calls.clear();
        waiting = QDBusMessage();
        forgetLock();
    }
    // Answers the call held back by Answer::Later.
    void grantNow() {
        QVERIFY(waiting.type() == QDBusMessage::MethodCallMessage);
        QVERIFY(bus_.send(waiting.createReply(QVariant::fromValue(newLock()))));
        waiting = QDBusMessage();
    }
    // True when the lock last handed out is closed in every process that got it.
    bool lockReleased() const {
        pollfd p{readEnd_, POLLIN, 0};
        return readEnd_ >= 0 && ::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLIN)) != 0;
    }
    bool lockHandedOut() const { return readEnd_ >= 0; }

    Answer answer = Answer::Grant;
    QList<QStringList> calls;
    QDBusMessage waiting;

  public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode) {
        calls.append({what, who, why, mode});
        bus_ = connection();
        switch (answer) {
            case Answer::Grant:
                return newLock();
            case Answer::Refuse:
                sendErrorReply(QDBusError::AccessDenied, QStringLiteral("not allowed"));
                break;
            case Answer::Later:
                setDelayedReply(true);
                waiting = message();
                break;
        }
        return {};
    }

  private:
    QDBusUnixFileDescriptor newLock() {
        forgetLock();
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) return {};
        readEnd_ = ends[0];
        QDBusUnixFileDescriptor lock(ends[1]);  // a copy of its own; ours is closed at once
        ::close(ends[1]);
        return lock;
    }
    void forgetLock() {
        if (readEnd_ >= 0) ::close(readEnd_);
        readEnd_ = -1;
    }

    QDBusConnection bus_{QString()};
    int readEnd_ = -1;
};

// The notification service's Notify: records every notice.
class StandInNotifications : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

  public:
    struct Notice {
        QString app;
        uint replaces;
        QString icon, summary, body;
        QStringList actions;
        QVariantMap hints;
        int timeout;
    };
    QList<Notice> notices;
    Answer answer = Answer::Grant;

  public slots:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout) {
        notices.append({app, replaces, icon, summary, body, actions, hints, timeout});
        if (answer == Answer::Refuse) {
            sendErrorReply(QDBusError::Failed, QStringLiteral("no room"));
        } else if (answer == Answer::Later) {
            setDelayedReply(true);  // and never answer
        }
        return static_cast<uint>(notices.size());
    }
};

const QString kLogindName = QStringLiteral("org.freedesktop.login1");
const QString kNotificationsName = QStringLiteral("org.freedesktop.Notifications");

// Probe mode (the child of noBusAtAll): a whole batch's worth of calls, then what
// came of them.
int probe(int argc, char** argv) {
    qv::ui::Application app(argc, argv);
    bool held = false;
    bool sent = false;
    {
        qv::ui::SleepInhibitor inhibitor;
        sent = qv::ui::notifyBatchEnd(3, 1, 1min, false);
        QTest::qWait(1500);  // past the calls' timeout: any answer has come by now
        held = inhibitor.isHeld();
    }
    QTextStream(stdout) << "held " << held << " sent " << sent << '\n';
    return 0;
}

}  // namespace

Q_DECLARE_METATYPE(Answer)

// The stand-in services, each on a connection of its own to its private bus.
class OnPrivateBuses : public QObject {
  public:
    OnPrivateBuses(const PrivateBus& system, const PrivateBus& session)
        : system_(system), session_(session) {}

  protected:
    const PrivateBus& system_;
    const PrivateBus& session_;
    QDBusConnection standInSystem_{QString()};
    QDBusConnection standInSession_{QString()};
    StandInLogind logind_;
    StandInNotifications notifications_;

    bool busesUp() const { return system_.isUp() && session_.isUp(); }
    QString busError() const { return system_.isUp() ? session_.error() : system_.error(); }

    // Connects both stand-ins as `who`; empty, or what went wrong.
    QString connectStandIns(const QString& who) {
        standInSystem_ =
            QDBusConnection::connectToBus(system_.address(), who + QStringLiteral("-logind"));
        standInSession_ = QDBusConnection::connectToBus(session_.address(),
                                                        who + QStringLiteral("-notifications"));
        if (!standInSystem_.isConnected()) return standInSystem_.lastError().message();
        if (!standInSession_.isConnected()) return standInSession_.lastError().message();
        if (!standInSystem_.registerObject(QStringLiteral("/org/freedesktop/login1"), &logind_,
                                           QDBusConnection::ExportAllSlots) ||
            !standInSession_.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                            &notifications_, QDBusConnection::ExportAllSlots))
            return QStringLiteral("cannot export the stand-ins");
        return {};
    }
};

class DesktopMannersTest : public OnPrivateBuses {
    Q_OBJECT

  public:
    using OnPrivateBuses::OnPrivateBuses;

  private:
    // A notice that is always due, sent after the one under test: once it has
    // arrived, so has anything sent before it on the same bus.
    void sendMarkerNotice() {
        QVERIFY(qv::ui::notifyBatchEnd(99, 0, 1h, false));
        QTRY_VERIFY(!notifications_.notices.isEmpty() &&
                    notifications_.notices.last().body == QStringLiteral("99 件を変換しました。"));
    }

  private slots:
    void initTestCase() {
        if (!busesUp()) return;
        const QString failed = connectStandIns(QStringLiteral("manners"));
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
    }

    // The window's batch below takes the services' names over.
    void cleanupTestCase() {
        if (!busesUp()) return;
        standInSystem_.unregisterService(kLogindName);
        standInSession_.unregisterService(kNotificationsName);
    }

    void init() {
        if (!busesUp()) QSKIP(qPrintable(QStringLiteral("no private bus: ") + busError()));
        logind_.reset();
        notifications_.notices.clear();
        notifications_.answer = Answer::Grant;
        QVERIFY(standInSystem_.registerService(kLogindName));
        QVERIFY(standInSession_.registerService(kNotificationsName));
        // Both stay silent however the services answer.
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    }

    void lockHeldWhileTheBatchRuns() {
        {
            qv::ui::SleepInhibitor inhibitor;
            QTRY_VERIFY(inhibitor.isHeld());
            const QStringList asked = {
                QStringLiteral("sleep:idle"), QStringLiteral("Quorvane! Request"),
                QStringLiteral("動画を変換しています"), QStringLiteral("block")};
            QCOMPARE(logind_.calls, QList<QStringList>({asked}));
            QVERIFY(!logind_.lockReleased());
            // Still held while the batch goes on.
            QTest::qWait(200);
            QVERIFY(inhibitor.isHeld());
            QVERIFY(!logind_.lockReleased());
        }
        QTRY_VERIFY(logind_.lockReleased());
    }

    // logind answers only after the batch has ended: the lock must not outlive it.
    void lockGrantedAfterTheBatchIsReleased() {
        logind_.answer = Answer::Later;
        {
            qv::ui::SleepInhibitor inhibitor;
            QTRY_COMPARE(logind_.calls.size(), 1);
        }
        logind_.grantNow();
        QVERIFY(logind_.lockHandedOut());
        QTRY_VERIFY(logind_.lockReleased());
    }

    void servicesFailing_data() {
        QTest::addColumn<bool>("registered");
        QTest::addColumn<Answer>("answer");
        QTest::newRow("services missing") << false << Answer::Grant;
        QTest::newRow("services refuse") << true << Answer::Refuse;
        QTest::newRow("services never answer") << true << Answer::Later;
    }

    // The batch goes on without a lock; a lock granted after the call timed out is
    // not kept either.
    void servicesFailing() {
        QFETCH(bool, registered);
        QFETCH(Answer, answer);
        logind_.answer = answer;
        notifications_.answer = answer;
        if (!registered) {
            QVERIFY(standInSystem_.unregisterService(kLogindName));
            QVERIFY(standInSession_.unregisterService(kNotificationsName));
        }
        {
            qv::ui::SleepInhibitor inhibitor;
            QVERIFY(qv::ui::notifyBatchEnd(4, 1, 2min, false));
            if (registered) {
                QTRY_COMPARE(logind_.calls.size(), 1);
                QTRY_COMPARE(notifications_.notices.size(), 1);
            }
            QTest::qWait(1500);  // past the calls' timeout
            QVERIFY(!inhibitor.isHeld());
            if (answer == Answer::Later) {
                logind_.grantNow();
                QTest::qWait(200);
                QVERIFY(!inhibitor.isHeld());
                QTRY_VERIFY(logind_.lockReleased());
            }
        }
        QVERIFY(!logind_.lockHandedOut() || logind_.lockReleased());
    }

    void endNotice_data() {
        QTest::addColumn<int>("converted");
        QTest::addColumn<int>("failed");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<bool>("windowActive");
        QTest::addColumn<QString>("body");  // empty: no notice
        const QString twelveTwo =
            QStringLiteral("12 件を変換しました。2 件は変換できませんでした。");
        QTest::newRow("long, unseen") << 12 << 2 << qint64{31000} << false << twelveTwo;
        QTest::newRow("just over 30 s") << 12 << 2 << qint64{30001} << false << twelveTwo;
        QTest::newRow("exactly 30 s") << 12 << 2 << qint64{30000} << false << QString();
        QTest::newRow("short") << 12 << 2 << qint64{5000} << false << QString();
        QTest::newRow("watched") << 12 << 2 << qint64{3600000} << true << QString();
        QTest::newRow("none failed")
            << 5 << 0 << qint64{45000} << false << QStringLiteral("5 件を変換しました。");
        QTest::newRow("all failed")
            << 0 << 3 << qint64{60000} << false
            << QStringLiteral("0 件を変換しました。3 件は変換できませんでした。");
    }

    void endNotice() {
        QFETCH(int, converted);
        QFETCH(int, failed);
        QFETCH(qint64, elapsedMs);
        QFETCH(bool, windowActive);
        QFETCH(QString, body);
        const bool due = !body.isEmpty();
        const bool sent = qv::ui::notifyBatchEnd(
            converted, failed, std::chrono::milliseconds(elapsedMs), windowActive);
        sendMarkerNotice();
        QCOMPARE(sent, due);
        QCOMPARE(notifications_.notices.size(), due ? 2 : 1);
        if (!due) return;
        const StandInNotifications::Notice& notice = notifications_.notices.first();
        QCOMPARE(notice.app, QStringLiteral("Quorvane! Request"));
        QCOMPARE(notice.summary, QStringLiteral("変換が終わりました"));
        QCOMPARE(notice.body, body);
        QCOMPARE(notice.replaces, 0u);
        QCOMPARE(notice.icon, QStringLiteral("example.quorvane.Request"));
        QCOMPARE(notice.hints.value(QStringLiteral("desktop-entry")).toString(),
                 QStringLiteral("example.quorvane.Request"));
        QVERIFY(notice.actions.isEmpty());
        QCOMPARE(notice.timeout, -1);
    }
};

// Without any bus: nothing to hold, nothing sent, no word said, no hang.
class NoBusTest : public QObject {
    Q_OBJECT

  private slots:
    void noBusAtAll_data() {
        QTest::addColumn<QString>("sessionAddress");  // empty: not set
        QTest::addColumn<QString>("systemAddress");
        QTest::newRow("addresses lead nowhere")
            << QStringLiteral("unix:path=%1/none") << QStringLiteral("unix:path=%1/none");
        QTest::newRow("no session address") << QString() << QStringLiteral("unix:path=%1/none");
        QTest::newRow("addresses of a plain file")
            << QStringLiteral("unix:path=%1/plain") << QStringLiteral("unix:path=%1/plain");
    }

    // In a child of its own, since the program's buses are chosen once per process.
    void noBusAtAll() {
        QFETCH(QString, sessionAddress);
        QFETCH(QString, systemAddress);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile plain(dir.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QV_DESKTOP_MANNERS_PROBE"), QStringLiteral("1"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // Nowhere for the bus library to find or start a session bus by itself.
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        if (!sessionAddress.isEmpty()) {
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionAddress.arg(dir.path()));
        }
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), systemAddress.arg(dir.path()));

        QProcess child;
        child.setProcessEnvironment(env);
        child.setStandardInputFile(QProcess::nullDevice());
        child.start(QCoreApplication::applicationFilePath(), QStringList());
        QVERIFY2(child.waitForFinished(30000), "the calls hung without a bus");
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()),
                 QStringLiteral("held 0 sent 0\n"));
        QCOMPARE(QString::fromUtf8(child.readAllStandardError()), QString());
    }
};

// Holds each conversion half written until the test makes the file "go"; no thumbnail.
const QByteArray kHoldingEncoder = R"SH(#!/bin/sh
for last; do :; done
case " $* " in *" image2 "*) exit 1 ;; esac
dir=$(dirname "$0")
printf 'part' > "$last"; : > "$dir/written"
while [ ! -e "$dir/go" ]; do sleep 0.01; done
printf 'x' >> "$last"; exit 0
)SH";

// The window's own batch takes the lock when it starts, holds it while its encoder runs,
// gives it back when it ends, and a short batch announces nothing.
class BatchOnTheBusTest : public OnPrivateBuses {
    Q_OBJECT

  public:
    using OnPrivateBuses::OnPrivateBuses;

  private slots:
    void initTestCase() {
        if (!busesUp()) QSKIP(qPrintable(QStringLiteral("no private bus: ") + busError()));
        const QString failed = connectStandIns(QStringLiteral("batch"));
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QVERIFY(standInSystem_.registerService(kLogindName));
        QVERIFY(standInSession_.registerService(kNotificationsName));
    }

    void lockFollowsTheWindowsBatch() {
        qv::ui::testing::enable();
        qvtest::ProgramFolder program;
        QTemporaryDir work;
        QVERIFY(program.isValid() && work.isValid());
        QVERIFY(program.writeStandIn(kHoldingEncoder));
        const QString source = work.filePath(QStringLiteral("a.wmv"));
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("SOURCE") == 6);
        file.close();
        TMainForm1 w(program.path());
        QVERIFY(qvtest::showExposed(&w));
        w.C1_02->setItemIndex(1);  // results into a folder of their own
        w.C1_03->setPath(work.filePath(QStringLiteral("out")));
        w.AddSourcePath(QFile::encodeName(source).toStdString());
        QCOMPARE(w.jobCount(), 1);

        bool askedDuringRun = false, heldDuringRun = false, sawWriting = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (!QFile::exists(program.filePath(QStringLiteral("written")))) return;
            sawWriting = true;
            // The answer comes through the event loop: give it its turn before judging.
            if (!logind_.lockHandedOut()) return;
            watch.stop();
            askedDuringRun = logind_.calls.size() == 1;
            heldDuringRun = !logind_.lockReleased();
            QFile go(program.filePath(QStringLiteral("go")));
            QVERIFY(go.open(QIODevice::WriteOnly));
        });
        watch.start(10);
        QTimer::singleShot(20000, &watch, [&] {  // a guard against a hang, not a clock
            watch.stop();
            QFile go(program.filePath(QStringLiteral("go")));
            QVERIFY(go.open(QIODevice::WriteOnly));
        });
        QTest::mouseClick(w.CButton10, Qt::LeftButton, {}, w.CButton10->rect().center());
        QTRY_VERIFY(!qv::ui::batchRunning());
        QVERIFY2(
            sawWriting,
            qPrintable(
                qv::ui::testing::texts(qv::ui::testing::Record::Message).join(QLatin1Char('\n'))));
        QVERIFY2(askedDuringRun, "no sleep lock asked for while the encoder ran");
        QVERIFY2(heldDuringRun, "the sleep lock was let go while the encoder ran");
        QTRY_VERIFY2(logind_.lockReleased(), "the sleep lock outlived the batch");
        QCOMPARE(logind_.calls.size(), 1);
        QTest::qWait(300);
        QVERIFY2(notifications_.notices.isEmpty(), "a short batch was announced");
        QCOMPARE(QFile(work.filePath(QStringLiteral("a.wmv"))).size(), 6);
    }
};

// The buses start before the application object, which may reach for the session
// bus as soon as it exists, and end after it.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("QV_DESKTOP_MANNERS_PROBE")) return probe(argc, argv);
    PrivateBus system;
    PrivateBus session;
    // A bus that did not start leads nowhere rather than to the desktop's.
    const QByteArray nowhere = "unix:path=/nonexistent/bus";
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", system.isUp() ? system.address().toUtf8() : nowhere);
    qputenv("DBUS_SESSION_BUS_ADDRESS", session.isUp() ? session.address().toUtf8() : nowhere);
    int failures = 0;
    {
        qv::ui::Application app(argc, argv);
        QTEST_SET_MAIN_SOURCE_PATH
        DesktopMannersTest onPrivateBuses(system, session);
        failures += QTest::qExec(&onPrivateBuses, argc, argv);
        NoBusTest withoutBus;
        failures += QTest::qExec(&withoutBus, argc, argv);
        BatchOnTheBusTest batch(system, session);
        failures += QTest::qExec(&batch, argc, argv);
    }
    return failures;
}

#include "desktop_manners_test.moc"

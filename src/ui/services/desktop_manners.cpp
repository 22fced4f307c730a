#include "ui/services/desktop_manners.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QGuiApplication>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "ui/services/dialogs.h"

namespace qv::ui {
namespace {

// Long enough for a local service, short enough that a hung one is soon given up.
constexpr int kCallTimeoutMs = 1000;

}  // namespace

struct SleepInhibitor::Lock {
    QDBusUnixFileDescriptor fd;  // the lock; closing the last copy releases it
    bool released = false;       // the batch is over: a late answer is dropped at once
};

SleepInhibitor::SleepInhibitor() : lock_(std::make_shared<Lock>()) {
    QDBusConnection bus = QDBusConnection::systemBus();
    // Without descriptor passing logind's answer could not hold the lock.
    if (!bus.isConnected() ||
        !bus.connectionCapabilities().testFlag(QDBusConnection::UnixFileDescriptorPassing)) {
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << kAppTitle << QStringLiteral("動画を変換しています")
         << QStringLiteral("block");
    // The watcher may outlive this object: it holds the lock record, not the inhibitor,
    // and frees itself (and any descriptor it did not hand over) once the call ends.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kCallTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [lock = lock_](QDBusPendingCallWatcher* done) {
                         const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *done;
                         if (!lock->released && reply.isValid() && reply.value().isValid()) {
                             lock->fd = reply.value();
                         }
                         done->deleteLater();
                     });
}

SleepInhibitor::~SleepInhibitor() {
    lock_->released = true;
    lock_->fd = QDBusUnixFileDescriptor();
}

bool SleepInhibitor::isHeld() const { return lock_->fd.isValid(); }

bool notifyBatchEnd(int converted, int failed, std::chrono::milliseconds elapsed,
                    bool windowActive) {
    if (windowActive || elapsed <= kBatchEndNoticeAfter) return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;

    QString body = QStringLiteral("%1 件を変換しました。").arg(converted);
    if (failed > 0) body += QStringLiteral("%1 件は変換できませんでした。").arg(failed);
    // The desktop finds the program's icon and name through its menu entry.
    const QString entry = QGuiApplication::desktopFileName();
    QVariantMap hints;
    if (!entry.isEmpty()) hints.insert(QStringLiteral("desktop-entry"), entry);

    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << kAppTitle << 0u << entry << QStringLiteral("変換が終わりました") << body
         << QStringList() << hints << -1;
    // The answer (the notification's number) is of no use, so nothing waits for it.
    return bus.send(call);
}

}  // namespace qv::ui

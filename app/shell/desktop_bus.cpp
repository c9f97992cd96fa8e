#include "shell/desktop_bus.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QVariantMap>
#include <QWidget>

namespace brindle::app::desktop_bus {
namespace {

const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kDesktopEntry = QStringLiteral("tarnwick-brindle");

// Hears the notification service's ActionInvoked and brings back the notified window.
class ActionListener final : public QObject {
    Q_OBJECT
public:
    static ActionListener& Get() {
        static auto* listener = new ActionListener;
        return *listener;
    }

    void Remember(uint id, QWidget* window) { windows_.insert(id, window); }

public slots:
    void Invoked(uint id, const QString& action) {
        const QPointer<QWidget> window = windows_.take(id);
        if (action != QStringLiteral("default") || window == nullptr) {
            return;
        }
        QWidget* top = window->window();
        top->showNormal();
        top->raise();
        top->activateWindow();
    }

private:
    ActionListener() : QObject(QCoreApplication::instance()) {
        // Any sender: the service may start after the program.
        QDBusConnection::sessionBus().connect(QString(), kNotificationsPath, kNotifications,
                                              QStringLiteral("ActionInvoked"), this,
                                              SLOT(Invoked(uint, QString)));
    }

    QHash<uint, QPointer<QWidget>> windows_;
};

void SendLauncherUpdate(const QVariantMap& properties) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage update = QDBusMessage::createSignal(
        QStringLiteral("/com/canonical/unity/launcherentry/tarnwick_brindle"),
        QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    update << QStringLiteral("application://%1.desktop").arg(kDesktopEntry) << properties;
    bus.send(update);
}

QElapsedTimer g_lastProgress;

}  // namespace

std::chrono::milliseconds& NoticeAfter() {
    static std::chrono::milliseconds after{5000};
    return after;
}

void Notify(QWidget* window, const QString& text) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    ActionListener::Get();  // listening before the service can answer
    QDBusMessage call = QDBusMessage::createMethodCall(kNotifications, kNotificationsPath,
                                                       kNotifications, QStringLiteral("Notify"));
    const QStringList actions{QStringLiteral("default"),
                              QCoreApplication::translate("Desktop", "Show the window")};
    const QVariantMap hints{{QStringLiteral("desktop-entry"), kDesktopEntry}};
    call << QApplication::applicationDisplayName() << uint(0) << kDesktopEntry << text << QString()
         << actions << hints << int(-1);
    // No service: the error answer is dropped, unseen.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), &ActionListener::Get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [window = QPointer<QWidget>(window)](QDBusPendingCallWatcher* self) {
                         self->deleteLater();
                         const QDBusPendingReply<uint> reply = *self;
                         if (!reply.isError() && window != nullptr) {
                             ActionListener::Get().Remember(reply.value(), window);
                         }
                     });
}

void ShowProgress(double fraction) {
    // A few updates a second are all a task bar shows.
    if (g_lastProgress.isValid() && g_lastProgress.elapsed() < 250) {
        return;
    }
    g_lastProgress.start();
    SendLauncherUpdate({{QStringLiteral("progress"), fraction},
                        {QStringLiteral("progress-visible"), true}});
}

void ClearProgress() {
    g_lastProgress.invalidate();
    SendLauncherUpdate({{QStringLiteral("progress"), 0.0},
                        {QStringLiteral("progress-visible"), false}});
}

void End() {
    ClearProgress();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        // The bus answers in order: once the ping is back, the notification and the clearing
        // have left, though the program ends next.
        bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                QStringLiteral("/org/freedesktop/DBus"),
                                                QStringLiteral("org.freedesktop.DBus.Peer"),
                                                QStringLiteral("Ping")),
                 QDBus::Block, 1000);
    }
}

}  // namespace brindle::app::desktop_bus

#include "desktop_bus.moc"

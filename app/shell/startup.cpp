#include "shell/startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <memory>

#include "shell/frm_main.h"
#include "shell/registry.h"

namespace brindle::app {
namespace {

std::unique_ptr<QLockFile>& InstanceLock() {
    static std::unique_ptr<QLockFile> lock;
    return lock;
}

QString LockFolder() {
    const QString runtime = qEnvironmentVariable("BRINDLE_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        return runtime;
    }
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QDir::tempPath() : folder;
}

// Where the running instance listens for a second start, beside its lock.
QString ShowRequestName() {
    return LockFolder() + QLatin1Char('/') + kInstanceMutexName + QStringLiteral(".socket");
}

std::unique_ptr<QLocalServer>& ShowRequests() {
    static std::unique_ptr<QLocalServer> server;
    return server;
}

// The window the user works in comes to the front: a dialog open over it first.
void RaiseCurrentWindow() {
    QWidget* window = QApplication::activeModalWidget();
    if (window == nullptr) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->isWindow()) {
                window = widget;
                break;
            }
        }
    }
    if (window != nullptr) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->raise();
        window->activateWindow();
    }
}

void ListenForSecondStarts() {
    auto server = std::make_unique<QLocalServer>();
    QLocalServer::removeServer(ShowRequestName());  // one left by a killed instance
    if (!server->listen(ShowRequestName())) {
        return;  // a second start then only ends, as it always did
    }
    QObject::connect(server.get(), &QLocalServer::newConnection, server.get(), [raw = server.get()] {
        while (QLocalSocket* socket = raw->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            RaiseCurrentWindow();
        }
    });
    ShowRequests() = std::move(server);
}

// Tells the running instance to show itself; it does not wait for long.
void AskRunningInstanceToShow() {
    QLocalSocket socket;
    socket.connectToServer(ShowRequestName());
    if (socket.waitForConnected(1000)) {
        socket.write("show\n");
        socket.waitForBytesWritten(1000);
        socket.disconnectFromServer();
    }
}

}  // namespace

void RecordInstallation() {
    const QString values[][2] = {
        {QStringLiteral("NAME"), kProductName},
        {QStringLiteral("VERSION"), QStringLiteral(BRINDLE_VERSION)},
        {QStringLiteral("PATH"), QDir::toNativeSeparators(QCoreApplication::applicationDirPath())},
    };
    for (const auto& [name, data] : values) {
        if (ReadMachineValue(kInstallationKey, name).isEmpty()) {
            WriteMachineValue(kInstallationKey, name, data, kRegString);
        }
    }
}

bool CheckSingleInstance(const QString& mutexName) {
    auto lock = std::make_unique<QLockFile>(LockFolder() + QLatin1Char('/') + mutexName +
                                            QStringLiteral(".lock"));
    // Only a dead owner makes a lock stale; age alone must not, the first instance may run
    // for days.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        return false;
    }
    InstanceLock() = std::move(lock);
    return true;
}

void ReleaseSingleInstance() {
    ShowRequests().reset();
    InstanceLock().reset();
}

void ApplyEnvironmentOverrides() {
    const QString settings = qEnvironmentVariable("BRINDLE_SETTINGS_DIR");
    if (!settings.isEmpty()) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, settings);
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, settings);
    }
}

bool StartUp(const std::vector<std::string>& arguments, const std::string& currentFolder) {
    RecordInstallation();
    if (!CheckSingleInstance(kInstanceMutexName)) {
        AskRunningInstanceToShow();
        return false;
    }
    ListenForSecondStarts();
    auto* main = new frmMain;
    main->Load(arguments, currentFolder);
    return true;
}

}  // namespace brindle::app

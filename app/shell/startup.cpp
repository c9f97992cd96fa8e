#include "shell/startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "shell/frm_main.h"
#include "shell/registry.h"

namespace brindle::app {
namespace {

std::unique_ptr<QLockFile>& InstanceLock() {
    static std::unique_ptr<QLockFile> lock;
    return lock;
}

// The folder of the lock and socket in use; empty while there is no guard.
QString& InstanceFolderInUse() {
    static QString folder;
    return folder;
}

// Where the running instance listens for a second start, beside its lock.
QString ShowRequestName() {
    return InstanceFolderInUse() + QLatin1Char('/') + kInstanceMutexName + QStringLiteral(".socket");
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
    if (InstanceFolderInUse().isEmpty()) {
        return;
    }
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
    if (InstanceFolderInUse().isEmpty()) {
        return;
    }
    QLocalSocket socket;
    socket.connectToServer(ShowRequestName());
    if (socket.waitForConnected(1000)) {
        socket.write("show\n");
        socket.waitForBytesWritten(1000);
        socket.disconnectFromServer();
    }
}

}  // namespace

bool IsPrivateFolder(const QString& path, bool create, QString* why) {
#if defined(__unix__) || defined(__APPLE__)
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (create && ::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        *why = path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (::lstat(native.constData(), &info) != 0) {
        *why = path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // Whoever else may enter it could put a lock or socket there first, or read ours.
    const char* fault = S_ISLNK(info.st_mode)          ? "is a symbolic link"
                        : !S_ISDIR(info.st_mode)       ? "is not a folder"
                        : info.st_uid != ::geteuid()   ? "belongs to another user"
                        : (info.st_mode & 077) != 0    ? "is open to other users"
                                                       : nullptr;
    if (fault != nullptr) {
        *why = path + QLatin1Char(' ') + QLatin1String(fault);
        return false;
    }
    return true;
#else
    (void)create;
    *why = path + QStringLiteral(": its owner cannot be checked here");
    return false;
#endif
}

QString InstanceFolder(QString* why) {
    const QString forced = qEnvironmentVariable("BRINDLE_RUNTIME_DIR");
    if (!forced.isEmpty()) {
        return IsPrivateFolder(forced, false, why) ? forced : QString();
    }
    // Qt's runtime folder is private by rule, but it may be missing or refused; then a
    // folder of the user's own, never a shared one under a fixed name.
    struct Candidate {
        QString path;
        bool create;
    };
    QString uid;
#if defined(__unix__) || defined(__APPLE__)
    uid = QString::number(::geteuid());
#endif
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    const Candidate candidates[] = {
        {QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation), false},
        {QDir::tempPath() + QStringLiteral("/tarnwick-brindle-") + uid, true},
        {cache.isEmpty() ? QString() : cache + QStringLiteral("/tarnwick-brindle"), true},
    };
    QStringList reasons;
    for (const Candidate& candidate : candidates) {
        QString reason;
        if (candidate.path.isEmpty()) {
            continue;
        }
        if (candidate.create) {
            QDir().mkpath(QFileInfo(candidate.path).path());
        }
        if (IsPrivateFolder(candidate.path, candidate.create, &reason)) {
            return candidate.path;
        }
        reasons << reason;
    }
    *why = reasons.isEmpty() ? QStringLiteral("no runtime folder") : reasons.join(QStringLiteral("; "));
    return {};
}

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
    QString why;
    const QString folder = InstanceFolder(&why);
    InstanceFolderInUse() = folder;
    if (folder.isEmpty()) {
        std::fprintf(stderr,
                     "tarnwick-brindle: no private folder for the single-instance lock (%s); "
                     "starting without it, so another start opens another window\n",
                     why.toLocal8Bit().constData());
        return true;
    }
    auto lock = std::make_unique<QLockFile>(folder + QLatin1Char('/') + mutexName +
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
    InstanceFolderInUse().clear();
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

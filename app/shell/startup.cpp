#include "shell/startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QApplication>
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
#include "shell/hand_over.h"
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
QString HandOverSocketName() {
    return InstanceFolderInUse() + QLatin1Char('/') + kInstanceMutexName + QStringLiteral(".socket");
}

std::unique_ptr<HandOver>& SecondStarts() {
    static std::unique_ptr<HandOver> handOver;
    return handOver;
}

void ListenForSecondStarts() {
    if (InstanceFolderInUse().isEmpty()) {
        return;
    }
    auto handOver = std::make_unique<HandOver>();
    // Without it a second start only ends, its request lost, as before there was one.
    if (handOver->Listen(HandOverSocketName())) {
        SecondStarts() = std::move(handOver);
    }
}

}  // namespace

bool IsPrivateFolder(const QString& path, bool create, QString* why) {
#if defined(__unix__) || defined(__APPLE__)
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if ((create && ::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) ||
        ::lstat(native.constData(), &info) != 0) {
        *why = QCoreApplication::translate("Startup", "%1: %2")
                   .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // Whoever else may enter it could put a lock or socket there first, or read ours.
    const char* fault =
        S_ISLNK(info.st_mode)        ? QT_TRANSLATE_NOOP("Startup", "%1 is a symbolic link")
        : !S_ISDIR(info.st_mode)     ? QT_TRANSLATE_NOOP("Startup", "%1 is not a folder")
        : info.st_uid != ::geteuid() ? QT_TRANSLATE_NOOP("Startup", "%1 belongs to another user")
        : (info.st_mode & 077) != 0  ? QT_TRANSLATE_NOOP("Startup", "%1 is open to other users")
                                     : nullptr;
    if (fault != nullptr) {
        *why = QCoreApplication::translate("Startup", fault).arg(path);
        return false;
    }
    return true;
#else
    (void)create;
    *why = QCoreApplication::translate("Startup", "%1: its owner cannot be checked here").arg(path);
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
    *why = reasons.isEmpty() ? QCoreApplication::translate("Startup", "no runtime folder")
                             : reasons.join(QStringLiteral("; "));
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
        std::fprintf(stderr, "%s\n",
                     QCoreApplication::translate(
                         "Startup",
                         "tarnwick-brindle: no private folder for the single-instance lock (%1); "
                         "starting without it, so another start opens another window")
                         .arg(why)
                         .toLocal8Bit()
                         .constData());
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
    SecondStarts().reset();
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

bool StartUp(const std::vector<std::string>& arguments, const std::string& currentFolder,
             int* exitCode) {
    RecordInstallation();
    if (!CheckSingleInstance(kInstanceMutexName)) {
        // The desktop's token lets the running program come to the front in our stead.
        const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
        const bool taken = !InstanceFolderInUse().isEmpty() &&
                           SendRequest(HandOverSocketName(), {arguments, currentFolder, token});
        if (!taken) {
            std::fprintf(stderr, "%s\n",
                         QCoreApplication::translate(
                             "Startup",
                             "tarnwick-brindle: Tarnwick Brindle is already running, but it did "
                             "not take what this start asked of it; try again once its window "
                             "answers")
                             .toLocal8Bit()
                             .constData());
        }
        if (exitCode != nullptr) {
            *exitCode = taken ? 0 : 1;
        }
        return false;
    }
    ListenForSecondStarts();
    auto* main = new frmMain;
    main->Load(arguments, currentFolder);
    return true;
}

}  // namespace brindle::app

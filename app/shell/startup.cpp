#include "shell/startup.h"

#include <QCoreApplication>
#include <QDir>
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
        return false;
    }
    auto* main = new frmMain;
    main->Load(arguments, currentFolder);
    return true;
}

}  // namespace brindle::app

#pragma once

#include <QString>
#include <string>
#include <vector>

namespace brindle::app {

inline const QString kProductName = QStringLiteral("Tarnwick Brindle");
inline const QString kInstallationKey = QStringLiteral("SOFTWARE\\Tarnwick\\Tarnwick Brindle");
inline const QString kInstanceMutexName =
    QStringLiteral("Hollowmere") + QStringLiteral("_APPLICATION_MUTEX");

// Writes NAME, VERSION and PATH where each is missing or empty; never overwrites.
void RecordInstallation();

// True when no other instance holds the named lock; the lock is then kept until the
// process ends.
bool CheckSingleInstance(const QString& mutexName);

// For tests: drops the lock taken by CheckSingleInstance.
void ReleaseSingleInstance();

// Points the machine-wide settings and the lock folder elsewhere when the environment names
// BRINDLE_SETTINGS_DIR or BRINDLE_RUNTIME_DIR (tests use temporary folders).
void ApplyEnvironmentOverrides();

// The whole start-up: record, guard, first window. Returns false when this process must end
// at once because another instance runs; that instance is asked to bring its window to the
// front first. Arguments and folder are bytes, as the system gave them.
bool StartUp(const std::vector<std::string>& arguments, const std::string& currentFolder);

}  // namespace brindle::app

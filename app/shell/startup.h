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

// True when `path` is a folder only this user can enter: no symbolic link, the user's own,
// closed to everyone else. `create` makes it (0700) when missing. Otherwise false, with the
// reason in `why`.
bool IsPrivateFolder(const QString& path, bool create, QString* why);

// Where the instance lock and socket go: BRINDLE_RUNTIME_DIR when set, else the runtime
// folder, else a folder of the user's own made for them, each only when private. Empty, with
// the reasons in `why`, when there is none.
QString InstanceFolder(QString* why);

// True when no other instance holds the named lock; the lock is then kept until the
// process ends. Also true, with no lock and the reason on standard error, when there is no
// private folder to hold it.
bool CheckSingleInstance(const QString& mutexName);

// For tests: drops the lock taken by CheckSingleInstance.
void ReleaseSingleInstance();

// Points the machine-wide settings elsewhere when the environment names BRINDLE_SETTINGS_DIR
// (tests use temporary folders; BRINDLE_RUNTIME_DIR does the same for the lock folder).
void ApplyEnvironmentOverrides();

// The whole start-up: record, guard, first window. Returns false when this process must end
// at once because another instance runs; that instance is handed the request first, and
// `exitCode` is 0 when it took it, else 1 after saying why on the standard error.
// Arguments (options already read) and folder are bytes, as the system gave them.
bool StartUp(const std::vector<std::string>& arguments, const std::string& currentFolder,
             int* exitCode = nullptr);

}  // namespace brindle::app

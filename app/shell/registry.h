#pragma once

#include <QString>
#include <QVariant>

class QSettings;

namespace brindle::app {

// Value types of the machine-wide store.
inline constexpr int kRegString = 1;
inline constexpr int kRegDword = 4;

// Result codes: 0 success, otherwise a platform-style error.
inline constexpr int kRegOk = 0;
inline constexpr int kRegNotFound = 2;
inline constexpr int kRegAccessDenied = 5;

// Writes one value into an open key; an unknown type writes nothing and gives 0.
int WriteValue(QSettings& key, const QString& valueName, int type, const QVariant& value);

// Reads one value as text into result; on failure result stays unchanged.
int ReadValue(QSettings& key, const QString& valueName, QString& result);

// keyPath is "SOFTWARE\<organisation>\<application>[\group...]" under the machine-wide
// store (QSettings in system scope). Failures are silent.
void WriteMachineValue(const QString& keyPath, const QString& valueName, const QVariant& value,
                       int type);

// Empty text for a missing key or value, or any failure.
QString ReadMachineValue(const QString& keyPath, const QString& valueName);

}  // namespace brindle::app

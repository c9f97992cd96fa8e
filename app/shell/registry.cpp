#include "shell/registry.h"

#include <QSettings>
#include <QStringList>
#include <memory>

namespace brindle::app {
namespace {

// The empty name addresses a key's default value, spelled as QSettings does on Windows.
QString SettingName(const QString& valueName) {
    return valueName.isEmpty() ? QStringLiteral("Default") : valueName;
}

std::unique_ptr<QSettings> OpenMachineKey(const QString& keyPath) {
    const QStringList parts = keyPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (parts.size() < 3 ||
        parts.front().compare(QLatin1String("SOFTWARE"), Qt::CaseInsensitive) != 0) {
        return nullptr;
    }
    auto key = std::make_unique<QSettings>(QSettings::SystemScope, parts[1], parts[2]);
    key->setFallbacksEnabled(false);
    if (parts.size() > 3) {
        key->beginGroup(parts.mid(3).join(QLatin1Char('/')));
    }
    return key;
}

}  // namespace

int WriteValue(QSettings& key, const QString& valueName, int type, const QVariant& value) {
    if (!key.isWritable()) {
        return kRegAccessDenied;
    }
    switch (type) {
        case kRegString:
            key.setValue(SettingName(valueName), value.toString());
            break;
        case kRegDword:
            key.setValue(SettingName(valueName), static_cast<qint32>(value.toLongLong()));
            break;
        default:
            return kRegOk;
    }
    key.sync();
    return key.status() == QSettings::NoError ? kRegOk : kRegAccessDenied;
}

int ReadValue(QSettings& key, const QString& valueName, QString& result) {
    const QVariant value = key.value(SettingName(valueName));
    if (!value.isValid()) {
        return kRegNotFound;
    }
    if (!value.canConvert<QString>()) {
        return -1;
    }
    result = value.toString();
    return kRegOk;
}

void WriteMachineValue(const QString& keyPath, const QString& valueName, const QVariant& value,
                       int type) {
    if (auto key = OpenMachineKey(keyPath)) {
        WriteValue(*key, valueName, type, value);
    }
}

QString ReadMachineValue(const QString& keyPath, const QString& valueName) {
    QString result;
    if (auto key = OpenMachineKey(keyPath)) {
        if (ReadValue(*key, valueName, result) != kRegOk) {
            result.clear();
        }
    }
    return result;
}

}  // namespace brindle::app

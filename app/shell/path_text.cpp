#include "shell/path_text.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTreeWidgetItem>
#include <QVariant>

#include "shell/paths.h"
#include "shell/prompter.h"

namespace brindle::app {
namespace {

constexpr const char* kBytesProperty = "pathBytes";

QByteArray ToByteArray(const std::string& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

QString DisplayPath(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::optional<std::string> PathBytes(const QString& text) {
    if (text.contains(QChar::ReplacementCharacter)) {
        return std::nullopt;
    }
    return text.toStdString();
}

std::optional<std::string> DialogPathBytes(const QString& chosen, const std::string& offered) {
    for (const std::string& known : {offered, GetFolderName(offered)}) {
        if (known.empty()) {
            continue;
        }
        QString shown = DisplayPath(known);
        if (chosen == shown) {
            return known;
        }
        if (!shown.endsWith(QLatin1Char(kPathSeparator))) {
            shown += QLatin1Char(kPathSeparator);
        }
        if (chosen.startsWith(shown)) {
            const std::optional<std::string> rest = PathBytes(chosen.mid(shown.size()));
            return rest ? std::optional(JoinPath(known, *rest)) : std::nullopt;
        }
    }
    return PathBytes(chosen);
}

void ShowPath(QLineEdit* box, const std::string& bytes) {
    box->setText(DisplayPath(bytes));
    box->setProperty(kBytesProperty, ToByteArray(bytes));
}

std::optional<std::string> PathInBox(const QLineEdit* box) {
    const QByteArray kept = box->property(kBytesProperty).toByteArray();
    if (!kept.isNull() && box->text() == QString::fromUtf8(kept)) {
        return kept.toStdString();
    }
    return PathBytes(box->text());
}

void SetItemBytes(QTreeWidgetItem* item, const std::string& bytes) {
    item->setData(0, Qt::UserRole, ToByteArray(bytes));
}

std::string ItemBytes(const QTreeWidgetItem* item) {
    return item->data(0, Qt::UserRole).toByteArray().toStdString();
}

void RefuseLostName(QWidget* window, const QString& text) {
    CurrentPrompter().Error(
        window,
        QCoreApplication::translate(
            "PathText",
            "This name is not UTF-8 text, so it could not be read exactly and may "
            "stand for another file:\n%1\nRename it in the file manager to use it here.")
            .arg(text),
        QCoreApplication::translate("PathText", "Name Not Readable"));
}

}  // namespace brindle::app

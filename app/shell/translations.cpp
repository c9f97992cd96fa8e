#include "shell/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace brindle::app {

QStringList TranslationFolders() {
    QStringList folders;
    if (const QString forced = qEnvironmentVariable("BRINDLE_TRANSLATIONS_DIR");
        !forced.isEmpty()) {
        folders << forced;
    }
    folders << QDir::cleanPath(QCoreApplication::applicationDirPath() +
                               QStringLiteral("/../share/tarnwick-brindle/translations"));
    return folders;
}

QStringList DesktopLanguageList(const std::string& languages) {
    return QString::fromStdString(languages).split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

QString LoadTranslations(const QStringList& languages) {
    auto* own = new QTranslator(QCoreApplication::instance());
    // English is the source language, so reaching it ends the search.
    for (const QString& name : languages) {
        const QLocale language(name);
        if (language.language() == QLocale::English || language.language() == QLocale::C) {
            break;
        }
        for (const QString& folder : TranslationFolders()) {
            if (!own->load(language, QStringLiteral("tarnwick-brindle"), QStringLiteral("_"),
                           folder)) {
                continue;
            }
            QCoreApplication::installTranslator(own);
            // Qt's own dialog buttons and file dialogs, in the same language.
            auto* qt = new QTranslator(QCoreApplication::instance());
            if (qt->load(language, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
                QCoreApplication::installTranslator(qt);
            } else {
                delete qt;
            }
            return own->filePath();
        }
    }
    delete own;
    return {};
}

}  // namespace brindle::app

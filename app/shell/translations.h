#pragma once

#include <QString>
#include <QStringList>
#include <string>

#include "shell/translate.h"

namespace brindle::app {

// The folders searched for the windows' catalogues (tarnwick-brindle_LL.qm), first match
// wins: $BRINDLE_TRANSLATIONS_DIR (tests, a build tree), then the installed one beside the
// program (<prefix>/share/tarnwick-brindle/translations).
QStringList TranslationFolders();

// The desktop's languages, most wanted first, by the rule the core's texts follow
// (DesktopLanguages, "de:fr"): the windows and the command speak alike.
QStringList DesktopLanguageList(const std::string& languages = DesktopLanguages());

// Installs the windows' catalogue and Qt's own texts for the first of `languages` that has
// one; reaching English or C ends the search, as English needs none. Returns the catalogue
// file loaded, or an empty string.
QString LoadTranslations(const QStringList& languages = DesktopLanguageList());

}  // namespace brindle::app

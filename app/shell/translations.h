#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

namespace brindle::app {

// The folders searched for the windows' catalogues (tarnwick-brindle_LL.qm), first match
// wins: $BRINDLE_TRANSLATIONS_DIR (tests, a build tree), then the installed one beside the
// program (<prefix>/share/tarnwick-brindle/translations).
QStringList TranslationFolders();

// Installs the windows' catalogue and Qt's own texts for `locale`'s languages (by default the
// desktop's: LANGUAGE first, then LC_ALL, LC_MESSAGES, LANG). English needs none. Returns the
// catalogue file loaded, or an empty string.
QString LoadTranslations(const QLocale& locale = QLocale());

}  // namespace brindle::app

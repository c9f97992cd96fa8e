#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QTranslator>
#include <QtTest>
#include <map>
#include <set>
#include <string>

#include "join/frm_join.h"
#include "join/frm_join2.h"
#include "join/frm_simple_join.h"
#include "rename/frm_rename.h"
#include "rename/frm_rename2.h"
#include "shell/frm_main.h"
#include "shell/translations.h"
#include "split/frm_simple.h"
#include "split/frm_split.h"
#include "split/frm_split2.h"
#include "split/frm_split3.h"
#include "support/layout_fit.h"
#include "support/window_helpers.h"

namespace brindle::app {
namespace {

// One entry of a .po catalogue, its strings as written (escapes kept).
struct PoEntry {
    int line = 0;
    bool fuzzy = false;
    QString context;
    QString id;
    QString idPlural;
    QStringList strings;  // msgstr, or msgstr[0], msgstr[1] ...
};

QList<PoEntry> ReadPo(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    QList<PoEntry> entries;
    PoEntry entry;
    QString* field = nullptr;
    auto flush = [&] {
        if (!entry.id.isEmpty()) {
            entries << entry;
        }
        entry = {};
        field = nullptr;
    };
    static const QRegularExpression keyword(
        QString::fromLatin1("^(msgctxt|msgid_plural|msgid|msgstr(\\[\\d+\\])?) \"(.*)\"$"));
    int number = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        ++number;
        if (line.isEmpty()) {
            flush();
        } else if (line.startsWith(QLatin1String("#,"))) {
            entry.fuzzy = line.contains(QLatin1String("fuzzy"));
        } else if (const QRegularExpressionMatch m = keyword.match(line); m.hasMatch()) {
            const QString key = m.captured(1);
            if (key == QLatin1String("msgctxt")) {
                field = &entry.context;
                entry.line = number;
            } else if (key == QLatin1String("msgid")) {
                field = &entry.id;
                entry.line = entry.line == 0 ? number : entry.line;
            } else if (key == QLatin1String("msgid_plural")) {
                field = &entry.idPlural;
            } else {
                entry.strings << QString();
                field = &entry.strings.last();
            }
            *field += m.captured(3);
        } else if (line.startsWith(QLatin1Char('"')) && field != nullptr) {
            *field += line.mid(1, line.size() - 2);
        }
    }
    flush();
    return entries;
}

// %1 to %99 and %n, as a sorted list: a translation may move them but not drop or add one.
QStringList Placeholders(const QString& text) {
    static const QRegularExpression placeholder(QStringLiteral("%(\\d{1,2}|n)"));
    QStringList found;
    for (const QRegularExpressionMatch& m : placeholder.globalMatch(text)) {
        found << m.captured(0);
    }
    found.sort();
    return found;
}

// The keyboard letters: "&&" is a plain ampersand.
qsizetype Accelerators(QString text) {
    return text.remove(QStringLiteral("&&")).count(QLatin1Char('&'));
}

const QString kPoFolder = QStringLiteral(BRINDLE_PO_DIR);

template <typename Window>
ChromeWindow* Make() {
    return new Window;
}

const struct {
    const char* name;
    ChromeWindow* (*make)();
} kWindows[] = {
    {"frmMain", Make<frmMain>},     {"frmSplit", Make<frmSplit>},
    {"frmSplit2", Make<frmSplit2>}, {"frmSplit3", Make<frmSplit3>},
    {"frmSimple", Make<frmSimple>}, {"frmJoin", Make<frmJoin>},
    {"frmJoin2", Make<frmJoin2>},   {"frmSimpleJoin", Make<frmSimpleJoin>},
    {"frmRename", Make<frmRename>}, {"frmRename2", Make<frmRename2>},
};

}  // namespace

class TranslationsTest : public QObject {
    Q_OBJECT

private slots:
    void catalogue_data() {
        QTest::addColumn<QString>("language");
        for (const char* language : {"de", "fr", "es"}) {
            QTest::newRow(language) << QString::fromLatin1(language);
        }
    }

    // Complete against the template, nothing fuzzy, and every form keeps its source's
    // placeholders and keyboard letter.
    void catalogue() {
        QFETCH(QString, language);
        const QList<PoEntry> entries =
            ReadPo(kPoFolder + QLatin1Char('/') + language + QStringLiteral(".po"));
        std::set<std::pair<QString, QString>> present;
        for (const PoEntry& e : entries) {
            const QString where = QStringLiteral("%1.po:%2 %3").arg(language).arg(e.line).arg(e.id);
            present.emplace(e.context, e.id);
            QVERIFY2(!e.fuzzy, qPrintable(where + QStringLiteral(": fuzzy")));
            QVERIFY2(e.strings.size() == (e.idPlural.isEmpty() ? 1 : 2),
                     qPrintable(where + QStringLiteral(": forms")));
            for (const QString& translated : e.strings) {
                QVERIFY2(!translated.isEmpty(),
                         qPrintable(where + QStringLiteral(": untranslated")));
                QCOMPARE(Placeholders(translated), Placeholders(e.id));
                QVERIFY2(Accelerators(translated) == Accelerators(e.id),
                         qPrintable(where + QStringLiteral(": keyboard letter")));
            }
        }
        const QList<PoEntry> wanted = ReadPo(kPoFolder + QStringLiteral("/tarnwick-brindle.pot"));
        QVERIFY(wanted.size() > 100);
        for (const PoEntry& e : wanted) {
            QVERIFY2(
                present.count({e.context, e.id}) == 1,
                qPrintable(QStringLiteral("%1.po lacks %2 %3").arg(language, e.context, e.id)));
        }
    }

    void everyCaptionFits_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("window");
        for (const char* language : {"de", "fr", "es"}) {
            for (int i = 0; i < static_cast<int>(std::size(kWindows)); ++i) {
                QTest::addRow("%s %s", language, kWindows[i].name)
                    << QString::fromLatin1(language) << i;
            }
        }
    }

    void everyCaptionFits() {
        QFETCH(QString, language);
        QFETCH(int, window);
        QTranslator translator;
        QVERIFY(translator.load(QLocale(language), QStringLiteral("tarnwick-brindle"),
                                QStringLiteral("_"),
                                qEnvironmentVariable("BRINDLE_TRANSLATIONS_DIR")));
        QCoreApplication::installTranslator(&translator);
        ChromeWindow* page = kWindows[window].make();
        page->show();
        QVERIFY(QTest::qWaitForWindowExposed(page->window()));
        const QStringList problems = test::FitProblems(page);
        test::CloseAllWindows();
        QCoreApplication::removeTranslator(&translator);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    // Every text the code marks is in the template: lupdate skips some calls silently, and a
    // changed text needs scripts/update-translations.
    void templateHoldsEveryMarkedText() {
        std::set<std::pair<QString, QString>> wanted;
        for (const PoEntry& e : ReadPo(kPoFolder + QStringLiteral("/tarnwick-brindle.pot"))) {
            if (!e.context.isEmpty()) {  // the command's texts have none
                wanted.emplace(e.context.chopped(1), e.id);  // lconvert's msgctxt is "context|"
            }
        }
        static const QRegularExpression call(
            QString::fromLatin1("(?:translate|QT_TRANSLATE_NOOP)\\(\\s*\"(\\w+)\",\\s*((?:\"(?:[^"
                                "\"\\\\]|\\\\.)*\"\\s*)+)"));
        static const QRegularExpression piece(QString::fromLatin1("\"((?:[^\"\\\\]|\\\\.)*)\""));
        int marked = 0;
        QDirIterator files(QStringLiteral(BRINDLE_APP_DIR),
                           {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString code = QString::fromUtf8(file.readAll());
            for (const QRegularExpressionMatch& m : call.globalMatch(code)) {
                QString text;
                for (const QRegularExpressionMatch& p : piece.globalMatch(m.captured(2))) {
                    text += p.captured(1);
                }
                ++marked;
                QVERIFY2(
                    wanted.count({m.captured(1), text}) == 1,
                    qPrintable(
                        QStringLiteral("%1: %2 %3").arg(file.fileName(), m.captured(1), text)));
            }
        }
        QVERIFY(marked > 150);
    }

    // The command's rule: a C or POSIX messages locale silences LANGUAGE, C.UTF-8 does not.
    void languageRule_data() {
        QTest::addColumn<QString>("environment");  // NAME=value, ';' between
        QTest::addColumn<QString>("catalogue");    // empty: English
        QTest::newRow("C.UTF-8") << QStringLiteral("LC_ALL=C.UTF-8;LANGUAGE=es:de")
                                 << QStringLiteral("_es.qm");
        QTest::newRow("locale alone")
            << QStringLiteral("LANG=fr_FR.UTF-8") << QStringLiteral("_fr.qm");
    }

    void languageRule() {
        QFETCH(QString, environment);
        QFETCH(QString, catalogue);
        std::map<std::string, std::string> set;
        for (const QString& pair : environment.split(QLatin1Char(';'))) {
            set[pair.section(QLatin1Char('='), 0, 0).toStdString()] =
                pair.section(QLatin1Char('='), 1).toStdString();
        }
        const std::string languages = DesktopLanguages([&set](const char* name) {
            const auto found = set.find(name);
            return found == set.end() ? nullptr : found->second.c_str();
        });
        const QString loaded = LoadTranslations(DesktopLanguageList(languages));
        qDeleteAll(QCoreApplication::instance()->findChildren<QTranslator*>());
        QVERIFY2(catalogue.isEmpty() ? loaded.isEmpty() : loaded.endsWith(catalogue),
                 qPrintable(loaded));
    }

    // Run with LANGUAGE=de:fr and LC_ALL=fr_FR.UTF-8: LANGUAGE's first entry decides.
    void desktopLanguage() {
        QVERIFY(LoadTranslations({QStringLiteral("en_US")}).isEmpty());
        QVERIFY(LoadTranslations({QStringLiteral("C"), QStringLiteral("de")}).isEmpty());
        QVERIFY(LoadTranslations().endsWith(QLatin1String("tarnwick-brindle_de.qm")));
        // Plural forms survive the build's conversion.
        QCOMPARE(QCoreApplication::translate("AddFolder", "%n File(s)", nullptr, 1),
                 QStringLiteral("1 Datei"));
        QCOMPARE(QCoreApplication::translate("AddFolder", "%n File(s)", nullptr, 3),
                 QStringLiteral("3 Dateien"));
        // Qt's own texts follow.
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Ja"));

        auto* window = new frmSplit;  // deletes itself on close
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->findChild<QPushButton*>(QStringLiteral("cmdNext"))->text(),
                 QStringLiteral("&Weiter"));
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("Label2"))->text(),
                 QStringLiteral("Informationen"));
        QVERIFY(window->windowTitle().contains(QStringLiteral("Datei aufteilen")));
        test::CloseAllWindows();
    }
};

}  // namespace brindle::app

QTEST_MAIN(brindle::app::TranslationsTest)
#include "translations_test.moc"

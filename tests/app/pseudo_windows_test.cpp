// Every window under the build's pseudo-translation, where every catalogue text reads "⟦…⟧"
// and is 40% longer: a text people read that is not wrapped skipped the catalogue, and a
// caption that no longer fits shows where a longer translation would be cut.

#include <QAbstractItemView>
#include <QFile>
#include <QHeaderView>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTranslator>
#include <QtTest>
#include <functional>
#include <memory>

#include "join/frm_join.h"
#include "join/frm_join2.h"
#include "join/frm_simple_join.h"
#include "rename/add_folder.h"
#include "rename/file_add.h"
#include "rename/form3.h"
#include "rename/frm_rename.h"
#include "rename/frm_rename2.h"
#include "rename/rename_dialogs.h"
#include "shell/translate.h"
#include "shell/frm_main.h"
#include "split/frm_simple.h"
#include "split/frm_split.h"
#include "split/frm_split2.h"
#include "split/frm_split3.h"
#include "split/split_engine.h"
#include "support/layout_fit.h"
#include "support/recording_prompter.h"
#include "support/window_helpers.h"

namespace brindle::app {
namespace {

using test::RecordingPrompter;

// Every text `root` shows to people or to a screen reader, with where it is.
QList<std::pair<QString, QString>> TextsIn(QWidget* root) {
    QList<std::pair<QString, QString>> texts;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        if (!widget->isVisibleTo(root) && widget != root)
            continue;
        const QString where = test::Describe(widget);
        const auto add = [&](const char* what, const QString& text) {
            texts.append({where + QLatin1Char(' ') + QLatin1String(what), text});
        };
        add("caption", test::CaptionOf(widget));
        add("tool tip", widget->toolTip());
        add("accessible name", widget->accessibleName());
        add("accessible description", widget->accessibleDescription());
        if (widget->isWindow())
            add("title", widget->windowTitle());
        if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
            add("placeholder", edit->placeholderText());
        }
        if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
            add("placeholder", combo->placeholderText());
            for (int i = 0; i < combo->count(); ++i) add("item", combo->itemText(i));
        }
        // A file system model's headings are Qt's own texts, from Qt's catalogue.
        if (const auto* view = qobject_cast<const QAbstractItemView*>(widget);
            view != nullptr && view->model() != nullptr &&
            !view->model()->inherits("QFileSystemModel")) {
            const QAbstractItemModel* model = view->model();
            for (int column = 0; column < model->columnCount(); ++column) {
                add("heading", model->headerData(column, Qt::Horizontal).toString());
            }
        }
    }
    return texts;
}

// Forms the description fixes in every language: the size units and the date formats' names.
bool FixedForm(const QString& text) {
    static const QStringList units{QStringLiteral("KB"), QStringLiteral("MB"),
                                   QStringLiteral("GB")};
    if (units.contains(text))
        return true;
    return std::any_of(kDateFormats.begin(), kDateFormats.end(),
                       [&](std::string_view format) { return text == QLatin1String(format); });
}

// Whether `text` shows something that did not come through the catalogue: a letter outside its
// ⟦…⟧ texts and the given data.
bool Unwrapped(QString text, const QStringList& data) {
    if (FixedForm(text))
        return false;
    for (qsizetype open = text.indexOf(u'⟦'); open >= 0; open = text.indexOf(u'⟦', open)) {
        const qsizetype close = text.indexOf(u'⟧', open);
        text.remove(open, close < 0 ? text.size() : close + 1 - open);
    }
    for (const QString& value : data) {
        text.remove(value);
    }
    // A size keeps its unit word in every language.
    static const QRegularExpression size(QStringLiteral("\\d+([.,]\\d+)? (BYTE|KB|MB|GB)\\b"));
    text.remove(size);
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); });
}

// Each unwrapped text of `root`, and each caption that does not fit.
QStringList Problems(QWidget* root, const QStringList& data) {
    QStringList problems;
    for (const auto& [where, text] : TextsIn(root)) {
        if (Unwrapped(text, data))
            problems << where + QStringLiteral(": \"") + text + QLatin1Char('"');
    }
    return problems << test::FitProblems(root);
}

struct Window {
    const char* name;
    std::function<QWidget*()> make;
};

// A rename list with its rule editor open, as "Apply R&ule" opens it.
QWidget* ListWithEditor() {
    auto* list = new frmRename;
    list->show();
    list->findChild<QPushButton*>(QStringLiteral("cmdSetting"))->click();
    QCoreApplication::processEvents();
    return list;
}

// The join's first page on the folder the prompter gives, the group "film" clicked; null if
// the folder did not list that one group.
frmJoin* JoinWithFilmChosen() {
    auto* join = new frmJoin;
    join->show();
    join->findChild<QToolButton*>(QStringLiteral("cmdBrowse"))->click();
    if (!QTest::qWaitFor([join] { return !join->IsListing(); })) {
        return nullptr;
    }
    const QList<QTreeWidgetItem*> group =
        join->group->findItems(QStringLiteral("film"), Qt::MatchExactly);
    if (group.size() != 1) {
        return nullptr;
    }
    join->group->setCurrentItem(group[0]);
    QTest::mouseClick(join->group->viewport(), Qt::LeftButton, {},
                      join->group->visualItemRect(group[0]).center());
    return join;
}

const Window kWindows[] = {
    {"frmMain", [] { return new frmMain; }},
    {"frmSplit", [] { return new frmSplit; }},
    {"frmSplit2", [] { return new frmSplit2; }},
    {"frmSplit3", [] { return new frmSplit3; }},
    {"frmSimple", [] { return new frmSimple; }},
    {"frmJoin", [] { return new frmJoin; }},
    {"frmJoin2", [] { return new frmJoin2; }},
    {"frmSimpleJoin", [] { return new frmSimpleJoin; }},
    {"frmRename", [] { return new frmRename; }},
    {"frmRename2", [] { return new frmRename2; }},
    {"list with its editor", ListWithEditor},
    {"Form3", [] { return new Form3("photo.JPG"); }},
    {"fileAdd", [] { return new fileAdd; }},
    {"addFolder", [] { return new addFolder; }},
};

}  // namespace

class PseudoWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(translator_.load(QStringLiteral("tarnwick-brindle_" BRINDLE_PSEUDO_LANGUAGE),
                                 QStringLiteral(BRINDLE_QM_DIR)));
        QCoreApplication::installTranslator(&translator_);
        // The core's reasons and reviews come through gettext: the same language for them.
        qputenv("LC_ALL", "C.UTF-8");
        qputenv("LANGUAGE", BRINDLE_PSEUDO_LANGUAGE);
        qputenv("BRINDLE_LOCALE_DIR", BRINDLE_LOCALE_BUILD_DIR);
        UseDesktopLanguage();
        // Wrapped, 40% longer, its keyboard letter kept; a count fills its plural entry.
        const QString next = QCoreApplication::translate("frmJoin", "&Next");
        QVERIFY2(next.startsWith(u'⟦') && next.endsWith(u'⟧') &&
                     next.count(QLatin1Char('&')) == 1 &&
                     next.size() >= 2 + 7,  // the brackets and 140% of five
                 qPrintable(next));
        const QString three = QCoreApplication::translate("AddFolder", "%n File(s)", nullptr, 3);
        QVERIFY2(three.startsWith(QStringLiteral("⟦3 ")), qPrintable(three));
        QVERIFY(QCoreApplication::translate("AddFolder", "%n File(s)", nullptr, 1)
                    .startsWith(QStringLiteral("⟦1 ")));
    }

    void cleanup() { test::CloseAllWindows(); }

    void everyTextIsTranslatedAndFits_data() {
        QTest::addColumn<int>("window");
        for (int i = 0; i < static_cast<int>(std::size(kWindows)); ++i) {
            QTest::newRow(kWindows[i].name) << i;
        }
    }

    void everyTextIsTranslatedAndFits() {
        QFETCH(int, window);
        std::unique_ptr<QWidget> owned(kWindows[window].make());
        QWidget* shown = owned.get();
        if (ChromeWindow::PageIn(shown->window()) == shown) {
            owned.release();  // a page deletes itself on close
        } else {
            shown->setAttribute(Qt::WA_DeleteOnClose, false);
        }
        shown->show();
        QVERIFY(QTest::qWaitForWindowExposed(shown->window()));
        QList<QWidget*> roots{shown};
        if (auto* list = qobject_cast<frmRename*>(shown);
            list != nullptr && list->RuleEditor() != nullptr && list->RuleEditor()->isWindow()) {
            roots << list->RuleEditor();
        }
        QStringList problems;
        for (QWidget* root : roots) {
            // The product's name and the file the dialog was opened for are data.
            problems << Problems(root, {QStringLiteral("Tarnwick Brindle"),
                                        QStringLiteral("photo.JPG"), QStringLiteral("JPG")});
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    // The rename list, its editor and the two docked, at a larger desktop font.
    void renameWindowsFitAtLargerFonts_data() {
        QTest::addColumn<int>("window");
        QTest::addColumn<int>("points");
        for (int i = 0; i < static_cast<int>(std::size(kWindows)); ++i) {
            const QByteArray name(kWindows[i].name);
            if (name.contains("Rename") || name.contains("editor")) {
                for (const int points : {13, 16}) {
                    QTest::addRow("%s at %d pt", kWindows[i].name, points) << i << points;
                }
            }
        }
    }

    void renameWindowsFitAtLargerFonts() {
        QFETCH(int, window);
        QFETCH(int, points);
        const QFont desktop = QApplication::font();
        QFont large = desktop;
        large.setPointSize(points);
        QApplication::setFont(large);
        const auto restore = qScopeGuard([&desktop] { QApplication::setFont(desktop); });
        // Each is a page of its own window, which closes it at the end.
        QWidget* shown = kWindows[window].make();
        auto* list = qobject_cast<frmRename*>(shown);
        shown->show();
        QVERIFY(QTest::qWaitForWindowExposed(shown->window()));
        QStringList problems = test::FitProblems(shown);
        if (list != nullptr && list->RuleEditor() != nullptr && list->RuleEditor()->isWindow()) {
            problems << test::FitProblems(list->RuleEditor());
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    // The wizards' pages filled in, a split and merges run, and every message and dialog they
    // raise through the test's prompter.
    void filledPagesAndMessages() {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("film.avi"));
        QVERIFY(QFile(source).open(QIODevice::WriteOnly) && QFile::resize(source, 1234567));
        const QStringList data{dir.path(), QStringLiteral("joined.avi"), QStringLiteral("film.avi"),
                               QStringLiteral("film"), QStringLiteral("Tarnwick Brindle")};
        QStringList problems;
        const auto check = [&](QWidget* page) { problems << Problems(page, data); };
        RecordingPrompter prompter;
        // No file chosen for the split, then its folder and the join's.
        prompter.paths = {QString(), dir.path(), dir.path()};

        auto* split = new frmSplit;
        split->show();
        split->findChild<QPushButton*>(QStringLiteral("cmdNext"))->click();  // no file yet
        split->findChild<QLineEdit*>(QStringLiteral("txtPath"))->setText(source);
        split->RefreshFileInfo();
        check(split);
        split->findChild<QPushButton*>(QStringLiteral("cmdNext"))->click();
        QList<QWidget*> open = test::OpenWindows();
        QCOMPARE(open.size(), 1);
        auto* split2 = qobject_cast<frmSplit2*>(open[0]);
        QVERIFY(split2 != nullptr);
        split2->findChild<QLineEdit*>(QStringLiteral("txtPath"))->clear();
        split2->findChild<QPushButton*>(QStringLiteral("cmdNext"))
            ->click();  // no folder: warns, asks
        check(split2);
        split2->findChild<QPushButton*>(QStringLiteral("cmdNext"))->click();
        open = test::OpenWindows();
        QCOMPARE(open.size(), 1);
        auto* split3 = qobject_cast<frmSplit3*>(open[0]);
        QVERIFY(split3 != nullptr);
        check(split3);
        const qsizetype asked = prompter.calls.size();
        split3->findChild<QPushButton*>(QStringLiteral("cmdSplit"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(prompter.calls.size() > asked, 30000);
        test::CloseAllWindows();

        // The group just split, its pieces' facts, a merge and a merge that lacks a piece.
        frmJoin* join = JoinWithFilmChosen();
        QVERIFY(join != nullptr);
        check(join);
        join->findChild<QPushButton*>(QStringLiteral("cmdNext"))->click();
        open = test::OpenWindows();
        QCOMPARE(open.size(), 1);
        auto* join2 = qobject_cast<frmJoin2*>(open[0]);
        QVERIFY(join2 != nullptr);
        join2->txtTarget->setText(dir.filePath(QStringLiteral("joined.avi")));
        for (int run = 0; run < 2; ++run) {
            const qsizetype before = prompter.calls.size();
            join2->cmdJoin->click();
            QTRY_VERIFY(join2->cmdJoin->isEnabled() && prompter.calls.size() > before);
            check(join2);
            QVERIFY(run == 1 || QFile::remove(dir.filePath(QStringLiteral("film(2).qmf002"))));
        }
        test::CloseAllWindows();

        // A rename that would replace a file.
        for (const char* name : {"a.txt", "b.txt", "B.txt"}) {
            QFile text(dir.filePath(QLatin1String(name)));
            QVERIFY(text.open(QIODevice::WriteOnly) && text.write(name) > 0);
        }
        auto* list = new frmRename;
        list->show();
        list->AddFileString(dir.path().toStdString() + std::string("\0a.txt\0b.txt", 12),
                            AddSource::kAddFiles);
        list->findChild<QPushButton*>(QStringLiteral("cmdSelectAll"))->click();
        list->List().rows()[1].newFileName = "B.txt";
        const qsizetype before = prompter.calls.size();
        list->findChild<QPushButton*>(QStringLiteral("Command4"))->click();
        QTRY_VERIFY(!list->IsBusy());
        QVERIFY(prompter.calls.size() > before);
        check(list);
        test::CloseAllWindows();

        // The rename dialogs' refusals.
        Form3 rename("photo.JPG");
        rename.findChild<QLineEdit*>(QStringLiteral("Text1"))->clear();
        rename.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
        rename.findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QStringLiteral("x"));
        rename.findChild<QComboBox*>(QStringLiteral("Combo1"))->setEditText(QStringLiteral("png"));
        rename.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
        fileAdd files;
        addFolder folder;
        for (QDialog* dialog : std::initializer_list<QDialog*>{&files, &folder}) {
            auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("Command1"));
            QTRY_VERIFY(ok->isEnabled());  // once the folder is listed
            ok->click();
        }

        QVERIFY(prompter.calls.size() >= 12);
        for (const RecordingPrompter::Call& call : prompter.calls) {
            for (const QString& text : {call.text, call.title, call.reason}) {
                if (Unwrapped(text, data))
                    problems << call.kind + QStringLiteral(": \"") + text + QLatin1Char('"');
            }
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    // Sizes and counts follow the locale where the description leaves their form open, on the
    // split's pages and the join's and in the rename list; what a piece stores (its split date)
    // is shown as stored.
    void numbersFollowTheLocale_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("kilobytes");
        QTest::addColumn<QString>("megabytes");
        QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates)
                                 << QStringLiteral("1,234,567 KB") << QStringLiteral("1.18 MB");
        QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany)
                                << QStringLiteral("1.234.567 KB") << QStringLiteral("1,18 MB");
        QTest::newRow("C") << QLocale(QLocale::C) << QStringLiteral("1234567 KB")
                           << QStringLiteral("1.18 MB");
    }

    void numbersFollowTheLocale() {
        QFETCH(QLocale, locale);
        QFETCH(QString, kilobytes);
        QFETCH(QString, megabytes);
        QCoreApplication::removeTranslator(&translator_);
        QLocale::setDefault(locale);
        const auto restore = qScopeGuard([this] {
            QLocale::setDefault(QLocale::system());
            QCoreApplication::installTranslator(&translator_);
        });
        QCOMPARE(SizeText(std::int64_t{1234567} * 1024), kilobytes);

        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("film.avi"));
        QVERIFY(QFile(source).open(QIODevice::WriteOnly) && QFile::resize(source, 1234567));
        RecordingPrompter prompter;
        auto* split = new frmSplit;
        split->Values().wizard.SavedDestText = dir.path().toStdString();  // page 2's folder
        split->show();
        split->findChild<QLineEdit*>(QStringLiteral("txtPath"))->setText(source);
        split->RefreshFileInfo();
        QCOMPARE(split->findChild<QLabel*>(QStringLiteral("Label5_1"))->text(), megabytes);
        split->findChild<QPushButton*>(QStringLiteral("cmdNext"))->click();
        test::OpenWindows().at(0)->findChild<QPushButton*>(QStringLiteral("cmdNext"))->click();
        const QList<QWidget*> review = test::OpenWindows();
        QVERIFY(review.size() == 1 && qobject_cast<frmSplit3*>(review[0]) != nullptr);
        const QString summary = review[0]->findChild<QLabel*>(QStringLiteral("lblinfo"))->text();
        // Its second line, whatever its words: the size as the locale writes it.
        QVERIFY2(summary.section(QLatin1Char('\n'), 1, 1).contains(QStringLiteral(": ") + megabytes),
                 qPrintable(summary));
        test::CloseAllWindows();

        test::QuietProgress progress;
        QVERIFY(SplitFile({source.toStdString(), dir.path().toStdString(), "film", 500000, "qmf",
                           "03/04/2025", 7},
                          progress)
                    .status.ok());
        prompter.paths = {dir.path()};
        frmJoin* join = JoinWithFilmChosen();
        QVERIFY(join != nullptr);
        QCOMPARE(join->findChild<QLabel*>(QStringLiteral("Label5_1"))->text(), megabytes);
        QCOMPARE(join->findChild<QLabel*>(QStringLiteral("Label5_2"))->text(),
                 QStringLiteral("03/04/2025"));
    }

private:
    QTranslator translator_;
};

}  // namespace brindle::app

QTEST_MAIN(brindle::app::PseudoWindowsTest)
#include "pseudo_windows_test.moc"

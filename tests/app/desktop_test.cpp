#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QAccessible>
#include <QCheckBox>
#include <QDir>
#include <QComboBox>
#include <QFile>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScopeGuard>
#include <QTreeView>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <functional>

#include "join/frm_join.h"
#include "join/frm_join2.h"
#include "join/frm_simple_join.h"
#include "rename/add_folder.h"
#include "rename/file_add.h"
#include "rename/folder_tree.h"
#include "rename/form3.h"
#include "rename/frm_rename.h"
#include "rename/frm_rename2.h"
#include "shell/frm_main.h"
#include "shell/navigation.h"
#include "shell/theme.h"
#include "split/frm_simple.h"
#include "split/frm_split.h"
#include "split/frm_split2.h"
#include "split/frm_split3.h"
#include "split/split_engine.h"
#include "support/recording_prompter.h"
#include "support/window_helpers.h"

namespace brindle::app {
namespace {

using test::CloseAllWindows;
using test::QuietProgress;

QPalette DarkPalette() {
    // Colours of a common dark desktop style; the rest as Qt derives them.
    QPalette dark(QColor(0x35, 0x35, 0x35), QColor(0x2b, 0x2b, 0x2b));
    const QColor ink(0xee, 0xee, 0xec);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                                     QPalette::BrightText, QPalette::HighlightedText}) {
        dark.setColor(role, ink);
    }
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x26));
    dark.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    dark.setColor(QPalette::PlaceholderText, QColor(0x9a, 0x9a, 0x99));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        dark.setColor(QPalette::Disabled, role, QColor(0x7f, 0x7f, 0x7f));
    }
    return dark;
}

// Black, white and yellow, as the desktops' high-contrast themes give them.
QPalette HighContrastPalette() {
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    const QColor yellow(0xff, 0xff, 0x00);
    QPalette contrast(white, black, black, black, black, white, white, black, black);
    contrast.setColor(QPalette::Highlight, yellow);
    contrast.setColor(QPalette::HighlightedText, black);
    contrast.setColor(QPalette::PlaceholderText, yellow);
    contrast.setColor(QPalette::ToolTipBase, black);
    contrast.setColor(QPalette::ToolTipText, yellow);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        contrast.setColor(QPalette::Disabled, role, yellow);
    }
    return contrast;
}

// The colour most pixels of the band `inner`..`outer` have, and the one that differs most
// from `against` there.
struct Band {
    QColor most;
    QColor farthest;
};
Band BandOf(const QImage& image, const QRect& outer, const QRect& inner, const QColor& against) {
    QHash<QRgb, int> counts;
    QColor farthest = against;
    const QRect inside = outer.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (inner.contains(x, y)) {
                continue;
            }
            const QColor pixel = QColor::fromRgb(image.pixel(x, y) | 0xff000000u);
            ++counts[pixel.rgb()];
            if (against.isValid() && ContrastRatio(pixel, against) > ContrastRatio(farthest, against)) {
                farthest = pixel;
            }
        }
    }
    QRgb best = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            best = it.key();
        }
    }
    return {QColor::fromRgb(best), farthest};
}

// The colour that covers most of `area` in the rendered window: what lies behind the text.
QColor Behind(const QImage& image, const QRect& area) {
    return BandOf(image, area, QRect(), QColor()).most;
}

struct Shown {
    QString what;
    QColor text;
    QRect area;  // in the window's coordinates
};

QRect InWindow(const QWidget* widget, const QRect& local) {
    return QRect(widget->mapTo(widget->window(), local.topLeft()), local.size());
}

// Every enabled text of a window: the colour it is drawn in (the palette's, style sheets
// included) and where it lies.
QList<Shown> TextsOf(QWidget* window) {
    QList<Shown> shown;
    const QPalette::ColorGroup group = window->isActiveWindow() ? QPalette::Active : QPalette::Inactive;
    const auto add = [&](const QWidget* widget, const QString& text, QPalette::ColorRole role,
                         const QRect& local) {
        if (!text.isEmpty() && local.isValid()) {
            shown.append({widget->objectName() + QStringLiteral(" \"") + text + QLatin1Char('"'),
                          widget->palette().color(group, role), InWindow(widget, local)});
        }
    };
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || !w->isEnabled()) {
            continue;
        }
        if (auto* label = qobject_cast<QLabel*>(w)) {
            add(label, label->text(), label->foregroundRole(), label->contentsRect());
        } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
            QStyleOptionButton option;
            option.initFrom(check);
            add(check, check->text(), check->foregroundRole(),
                check->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, check));
        } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
            QStyleOptionButton option;
            option.initFrom(radio);
            add(radio, radio->text(), radio->foregroundRole(),
                radio->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, radio));
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            add(button, button->text(), button->foregroundRole(), button->rect().adjusted(5, 5, -5, -5));
        } else if (auto* box = qobject_cast<QLineEdit*>(w)) {
            const bool hint = box->text().isEmpty();
            add(box, hint ? box->placeholderText() : box->text(),
                hint ? QPalette::PlaceholderText : QPalette::Text, box->rect().adjusted(4, 4, -4, -4));
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            QStyleOptionComboBox option;
            option.initFrom(combo);
            option.editable = combo->isEditable();
            const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                               QStyle::SC_ComboBoxEditField, combo);
            if (!combo->isEditable()) {
                add(combo, combo->currentText(), QPalette::ButtonText, field);
            }
        } else if (auto* header = qobject_cast<QHeaderView*>(w)) {
            if (header->isHidden() || header->count() == 0) {
                continue;
            }
            const QString text = header->model()->headerData(0, header->orientation()).toString();
            add(header, text, QPalette::ButtonText,
                QRect(header->sectionViewportPosition(0), 0, header->sectionSize(0), header->height())
                    .adjusted(3, 3, -3, -3));
        } else if (auto* view = qobject_cast<QAbstractItemView*>(w)) {
            QAbstractItemModel* model = view->model();
            for (int row = 0; row < std::min(model->rowCount(view->rootIndex()), 3); ++row) {
                const QModelIndex index = model->index(row, 0, view->rootIndex());
                const QRect rect = view->visualRect(index);
                const bool chosen = view->selectionModel()->isSelected(index);
                add(view->viewport(), index.data().toString(),
                    chosen ? QPalette::HighlightedText : QPalette::Text,
                    rect.intersected(view->viewport()->rect()));
            }
        }
    }
    return shown;
}

struct Window {
    const char* name;
    std::function<QWidget*()> open;
};

// Each control's outline against what lies around it, and its state (a check mark, a radio
// dot, the progress bar's filled part) against the control's own fill: the lower of the two.
QList<QPair<QString, double>> OutlinesOf(QWidget* window, const QImage& image) {
    QList<QPair<QString, double>> found;
    const auto measure = [&](const QWidget* widget, const QRect& local, bool stateShown) {
        const QRect box(widget->mapTo(window, local.topLeft()), local.size());
        const QColor around = BandOf(image, box.adjusted(-3, -3, 3, 3), box, QColor()).most;
        const QColor edge = BandOf(image, box, box.adjusted(2, 2, -2, -2), around).farthest;
        double worst = ContrastRatio(edge, around);
        if (stateShown) {
            const QRect inside = box.adjusted(3, 3, -3, -3);
            const QColor fill = Behind(image, inside);
            worst = std::min(worst, ContrastRatio(BandOf(image, inside, QRect(), fill).farthest, fill));
        }
        found.append({widget->objectName() + QLatin1Char(' ') + QLatin1String(widget->metaObject()->className()), worst});
    };
    for (QWidget* w : window->findChildren<QWidget*>()) {
        // A control that cannot be used need not stand out, as with texts.
        if (!w->isVisibleTo(window) || !w->isEnabled()) {
            continue;
        }
        if (auto* check = qobject_cast<QCheckBox*>(w)) {
            QStyleOptionButton option;
            option.initFrom(check);
            measure(check, check->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, check),
                    check->isChecked());
        } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
            QStyleOptionButton option;
            option.initFrom(radio);
            measure(radio, radio->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, radio),
                    radio->isChecked());
        } else if (qobject_cast<QAbstractSpinBox*>(w) != nullptr ||
                   (qobject_cast<QLineEdit*>(w) != nullptr && qobject_cast<QComboBox*>(w->parentWidget()) == nullptr &&
                    qobject_cast<QAbstractSpinBox*>(w->parentWidget()) == nullptr)) {
            measure(w, w->rect(), false);
        } else if (auto* bar = qobject_cast<QProgressBar*>(w)) {
            measure(bar, bar->rect(), false);
            // The filled half against the empty half.
            const QRect box(bar->mapTo(window, QPoint(0, 0)), bar->size());
            const QColor filled = Behind(image, QRect(box.left() + 4, box.top() + 3, 6, box.height() - 6));
            const QColor empty = Behind(image, QRect(box.right() - 10, box.top() + 3, 6, box.height() - 6));
            found.append({bar->objectName() + QStringLiteral(" filled part"), ContrastRatio(filled, empty)});
        }
    }
    return found;
}

}  // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home_;
    QString piece_;

    // Every window of the program, filled as a user would find it.
    QList<Window> Windows() const {
        const std::string piece = piece_.toStdString();
        const std::vector<std::string> files = {home_.filePath(QStringLiteral("a.jpg")).toStdString()};
        return {
            {"main", [] { return new frmMain; }},
            {"split 1", [piece] {
                 auto* page = new frmSplit;
                 page->ChooseFile(piece);
                 return page;
             }},
            {"split 2", [] { return new frmSplit2; }},
            {"split 3", [] { return new frmSplit3; }},
            {"quick split", [] { return new frmSimple; }},
            {"join 1", [piece] {
                 auto* page = new frmJoin;
                 page->ShowGroupOf(piece);
                 (void)QTest::qWaitFor([page] { return !page->IsListing(); });  // listed off-thread
                 return page;
             }},
            {"join 2", [] { return new frmJoin2; }},
            {"quick join", [] { return new frmSimpleJoin; }},
            {"rename list", [files] {
                 auto* list = new frmRename;
                 list->AddPaths(files);
                 return list;
             }},
            {"rule editor", [] {
                 auto* list = new frmRename;
                 list->show();
                 return new frmRename2(list);
             }},
            {"add files", [] {
                 auto* dialog = new fileAdd;
                 (void)QTest::qWaitFor([dialog] { return !dialog->IsListing(); });
                 return dialog;
             }},
            {"add folder", [] {
                 auto* dialog = new addFolder;
                 (void)QTest::qWaitFor([dialog] { return !dialog->IsListing(); });
                 return dialog;
             }},
            {"new name", [] { return new Form3("a.jpg"); }},
        };
    }

private slots:
    void initTestCase() {
        // As the program runs it: the desktop's style, here Fusion, with readable outlines.
        QApplication::setStyle(new ReadableStyle(QStringLiteral("Fusion")));
        // The add dialogs list the home folder.
        qputenv("HOME", home_.path().toLocal8Bit());
        for (const char* name : {"a.jpg", "b.txt"}) {
            QFile file(home_.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("0123456789") == 10);
        }
        QuietProgress progress;
        const std::string home = home_.path().toStdString();
        QVERIFY(SplitFile({home + "/b.txt", home, "b", 5, "qmf", "03/04/2025", 7}, progress).status.ok());
        piece_ = home_.filePath(QStringLiteral("b(1).qmf"));
    }
    void cleanup() {
        CloseAllWindows();
        QApplication::setPalette(QApplication::style()->standardPalette());
    }

    void everyTextStandsOutFromWhatLiesBehindIt_data() {
        QTest::addColumn<QPalette>("palette");
        QTest::newRow("light") << QApplication::style()->standardPalette();
        QTest::newRow("dark") << DarkPalette();
        QTest::newRow("high contrast") << HighContrastPalette();
    }
    void everyTextStandsOutFromWhatLiesBehindIt() {
        QFETCH(QPalette, palette);
        QApplication::setPalette(palette);
        test::RecordingPrompter prompter;
        const QList<Window> windows = Windows();
        QStringList failures;
        int measured = 0;
        for (const Window& window : windows) {
            QWidget* shown = window.open();
            shown->setAttribute(Qt::WA_DeleteOnClose);
            shown->show();
            QVERIFY(QTest::qWaitForWindowExposed(shown));
            const QImage image = shown->grab().toImage();
            double lowest = 21;
            QString lowestText;
            for (const Shown& text : TextsOf(shown)) {
                const QColor behind = Behind(image, text.area);
                const double ratio = ContrastRatio(text.text, behind);
                ++measured;
                if (ratio < lowest) {
                    lowest = ratio;
                    lowestText = text.what;
                }
                if (ratio < 4.5) {
                    failures << QStringLiteral("%1: %2 %3 on %4 = %5:1")
                                    .arg(QLatin1String(window.name), text.what, text.text.name(),
                                         behind.name())
                                    .arg(ratio, 0, 'f', 2);
                }
            }
            qInfo("%s: lowest %.2f:1 (%s)", window.name, lowest, qPrintable(lowestText));
            shown->close();
            CloseAllWindows();
        }
        QVERIFY(measured > 100);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
    }

    // Outlines of check boxes, radio buttons, text boxes and progress bars, and what shows
    // their state, at 3:1 or more in every palette; Fusion alone leaves them at the window's
    // own colour under black or white.
    void everyControlStandsOutFromWhatLiesBehindIt_data() { everyTextStandsOutFromWhatLiesBehindIt_data(); }
    void everyControlStandsOutFromWhatLiesBehindIt() {
        QFETCH(QPalette, palette);
        QApplication::setPalette(palette);
        test::RecordingPrompter prompter;
        QStringList failures;
        int measured = 0;
        for (const Window& window : Windows()) {
            QWidget* shown = window.open();
            shown->setAttribute(Qt::WA_DeleteOnClose);
            for (QProgressBar* bar : shown->findChildren<QProgressBar*>()) {
                bar->setValue((bar->minimum() + bar->maximum()) / 2);
                bar->setTextVisible(false);
            }
            for (QCheckBox* check : shown->findChildren<QCheckBox*>()) {
                check->setChecked(true);
            }
            shown->show();
            QVERIFY(QTest::qWaitForWindowExposed(shown));
            const QImage image = shown->grab().toImage();
            for (const auto& [what, ratio] : OutlinesOf(shown, image)) {
                ++measured;
                if (ratio < 3) {
                    failures << QStringLiteral("%1: %2 = %3:1").arg(QLatin1String(window.name), what).arg(ratio, 0, 'f', 2);
                }
            }
            shown->close();
            CloseAllWindows();
        }
        QVERIFY(measured > 20);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
    }

    // The chosen file and the destination: read-only, yet enabled, so that Tab reaches them,
    // they can be selected and copied, are named by their label, and the palette tests above
    // measure their text as every enabled text (disabled, it was 1.6:1).
    void pathFieldsAreReadOnlyNotDisabled() {
        for (const Window& window : Windows()) {
            if (qstrcmp(window.name, "split 1") != 0 && qstrcmp(window.name, "split 2") != 0) {
                continue;
            }
            QWidget* shown = window.open();
            auto* box = shown->findChild<QLineEdit*>(QStringLiteral("txtPath"));
            QVERIFY(box->isReadOnly() && box->isEnabled() && (box->focusPolicy() & Qt::TabFocus));
            box->setText(home_.path());
            box->selectAll();
            QCOMPARE(box->selectedText(), home_.path());
            QCOMPARE(QAccessible::queryAccessibleInterface(box)->text(QAccessible::Name),
                     QString(qstrcmp(window.name, "split 2") == 0 ? "Select Destination" : "File to split"));
            CloseAllWindows();
        }
    }

    // The folder tree's places: home, the user folders that exist, as user-dirs.dirs names
    // them; a place chosen moves the tree, and the next dialog opens where files were added.
    void addDialogsOfferTheUsersPlaces() {
        QTemporaryDir home;
        QTemporaryDir config;
        for (const char* folder : {"Desktop", "Dokumente", "Music"}) {
            QVERIFY(QDir(home.path()).mkdir(QLatin1String(folder)));
        }
        QFile dirs(config.filePath(QStringLiteral("user-dirs.dirs")));
        QVERIFY(dirs.open(QIODevice::WriteOnly));
        // Pictures is named but not made; Downloads is the home folder itself.
        dirs.write("XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n"
                   "XDG_DOWNLOAD_DIR=\"$HOME/\"\n");
        dirs.close();
        QFile file(home.filePath(QStringLiteral("Dokumente/letter.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        qputenv("HOME", home.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        RememberAddedFolder(QString());  // nothing added yet
        const auto restore = qScopeGuard([this] {
            qputenv("HOME", home_.path().toLocal8Bit());
            qunsetenv("XDG_CONFIG_HOME");
            RememberAddedFolder(QString());
        });

        QStringList places;
        for (const Place& place : UserPlaces()) {
            places << (place.drive ? QString() : place.name + QLatin1Char('=') + place.path);
        }
        const QString root = home.path();
        places.removeAll(QString());  // the machine's own drives
        QCOMPARE(places, QStringList({"Home=" + root, "Desktop=" + root + "/Desktop",
                                      "Dokumente=" + root + "/Dokumente", "Music=" + root + "/Music"}));

        test::RecordingPrompter prompter;
        auto* folder = new addFolder;
        folder->setAttribute(Qt::WA_DeleteOnClose);
        folder->show();
        QVERIFY(QTest::qWaitForWindowExposed(folder));
        auto* tree = folder->findChild<QTreeView*>(QStringLiteral("ft1"));
        QCOMPARE(TreeFolder(tree), root);
        auto* list = folder->findChild<QListWidget*>(QStringLiteral("places"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
        QCOMPARE(TreeFolder(tree), root + "/Dokumente");
        QTRY_VERIFY(!folder->IsListing());
        folder->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
        QVERIFY(prompter.calls.isEmpty());

        auto* files = new fileAdd;
        files->setAttribute(Qt::WA_DeleteOnClose);
        QCOMPARE(TreeFolder(files->findChild<QTreeView*>(QStringLiteral("FolderTreeview1"))), root + "/Dokumente");
        files->close();
    }

    void theRuleEditorOpensBesideTheList() {
        const QRect screen(0, 0, 1920, 1080);
        const QSize editor(560, 424);
        const struct {
            QRect list;
            QPoint at;
        } cases[] = {
            {{100, 200, 640, 384}, {752, 200}},    // room on the right
            {{1200, 200, 640, 384}, {628, 200}},   // room only on the left
            {{500, 900, 900, 384}, {1360, 656}},   // neither: the roomier right, lifted on screen
            {{520, 100, 1000, 384}, {0, 100}},     // neither: the roomier left
        };
        for (const auto& c : cases) {
            const QPoint at = PlaceBeside(c.list, editor, screen, 12);
            QCOMPARE(at, c.at);
            QVERIFY(screen.contains(QRect(at, editor)));
        }
    }

    void aFileDroppedOnTheMainWindowStartsItsJob() {
        test::RecordingPrompter prompter;
        auto* main = new frmMain;
        main->show();
        const QString file = home_.filePath(QStringLiteral("a.jpg"));
        QVERIFY(!test::DropUrls(main, {QUrl(QStringLiteral("https://example.org/a.jpg"))}));
        QVERIFY(!test::DropUrls(main, {test::FileUrl(home_.path())}));
        QVERIFY(!test::DropUrls(main, {test::FileUrl(file), test::FileUrl(piece_)}));
        QVERIFY(prompter.calls.isEmpty());

        QVERIFY(test::DropUrls(main, {test::FileUrl(file)}));
        QList<QWidget*> open = test::OpenWindows();
        QCOMPARE(open.size(), 1);
        auto* split = qobject_cast<frmSplit*>(open.front());
        QVERIFY(split != nullptr);
        QCOMPARE(split->PathBox()->text(), file);

        // Back on the main window, a later piece of a group opens the join wizard on it.
        split->findChild<QPushButton*>(QStringLiteral("cmdPrevious"))->click();
        open = test::OpenWindows();
        QCOMPARE(open.size(), 1);
        QVERIFY(test::DropUrls(open.front(), {test::FileUrl(home_.filePath(QStringLiteral("b(2).qmf002")))}));
        open = test::OpenWindows();
        auto* join = open.size() == 1 ? qobject_cast<frmJoin*>(open.front()) : nullptr;
        QVERIFY(join != nullptr);
        QCOMPARE(join->txtPath->text(), home_.path());
        QTRY_VERIFY(!join->IsListing());
        QVERIFY(join->group->currentItem() != nullptr);
        QCOMPARE(join->group->currentItem()->text(0), QStringLiteral("b"));
        QVERIFY(join->cmdNext->isEnabled());
    }
};

}  // namespace brindle::app

QTEST_MAIN(brindle::app::DesktopTest)
#include "desktop_test.moc"

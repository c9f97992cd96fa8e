#include <QHeaderView>
#include <QLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QScreen>
#include <QTreeWidget>
#include <QtTest>
#include <functional>
#include <memory>

#include "rename/add_folder.h"
#include "rename/file_add.h"
#include "rename/form3.h"
#include "rename/frm_rename.h"
#include "rename/frm_rename2.h"
#include "rename/item_strip.h"
#include "rename/rule_strip.h"
#include "support/layout_fit.h"
#include "support/window_helpers.h"

namespace brindle::app {
namespace {

// The application font at `points` while it lives, the desktop's own afterwards.
class FontAt {
public:
    explicit FontAt(double points) : old_(QApplication::font()) {
        QFont font = old_;
        if (points > 0) {
            font.setPointSizeF(points);
        }
        QApplication::setFont(font);
    }
    ~FontAt() { QApplication::setFont(old_); }

private:
    QFont old_;
};

// The list with its rule editor open, as "Apply R&ule" opens it.
frmRename* ListWithEditor() {
    auto* list = new frmRename;
    list->window()->move(0, 0);
    list->show();
    list->findChild<QPushButton*>(QStringLiteral("cmdSetting"))->click();
    QCoreApplication::processEvents();
    return list;
}

}  // namespace

class RenameLayoutFitTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { test::CloseAllWindows(); }

    void everyCaptionFits_data() {
        QTest::addColumn<double>("points");
        QTest::addColumn<double>("longer");
        QTest::newRow("default font") << 0.0 << 0.0;
        QTest::newRow("13 pt") << 13.0 << 0.0;
        QTest::newRow("13 pt, captions 40% longer") << 13.0 << 0.4;
        QTest::newRow("16 pt") << 16.0 << 0.0;
        QTest::newRow("16 pt, captions 40% longer") << 16.0 << 0.4;
    }

    void everyCaptionFits() {
        QFETCH(double, points);
        QFETCH(double, longer);
        const FontAt font(points);
        using Make = std::function<QWidget*()>;
        const std::pair<const char*, Make> windows[] = {
            {"frmRename", [] { return new frmRename; }},
            {"frmRename2", [] { return new frmRename2; }},
            {"list with its editor", [] { return ListWithEditor(); }},
            {"Form3", [] { return new Form3("photo.JPG"); }},
            {"fileAdd", [] { return new fileAdd; }},
            {"addFolder", [] { return new addFolder; }},
        };
        for (const auto& [name, make] : windows) {
            std::unique_ptr<QWidget> window(make());
            window->setAttribute(Qt::WA_DeleteOnClose, false);
            window->show();
            QWidget* editor = nullptr;
            if (auto* list = qobject_cast<frmRename*>(window.get())) {
                editor = list->RuleEditor();
            }
            if (longer > 0) {
                test::LengthenCaptions(window.get(), longer);
                if (editor != nullptr && editor->isWindow()) {
                    test::LengthenCaptions(editor, longer);
                }
            }
            QStringList problems = test::FitProblems(window.get());
            if (editor != nullptr && editor->isWindow()) {
                problems << test::FitProblems(editor);
            }
            QVERIFY2(problems.isEmpty(), qPrintable(name + QStringLiteral(": ") + problems.join(QLatin1Char('\n'))));
        }
    }

    // A larger font widens the strip; labels, separator boxes and drops keep its proportions.
    void theStripKeepsItsProportionsAtALargerFont() {
        const FontAt font(13);
        frmRename2 editor;
        editor.show();
        auto* strip = editor.findChild<ItemStrip*>(QStringLiteral("Picture1"));
        const double scale = strip->width() / static_cast<double>(kStripWidth);
        QVERIFY(scale > 1.0 / 15.0);
        // Ext in slot 1, centred between 1200 and 2400 twips.
        const QRect ext = editor.findChild<QLabel*>(QStringLiteral("lblItem_1"))->geometry();
        QVERIFY(qAbs(ext.x() + ext.width() / 2.0 - 1800 * scale) <= 1.0);
        // The third box under the third divider.
        auto* box = editor.findChild<QLineEdit*>(QStringLiteral("Text1_2"));
        const double boxCentre =
            box->mapTo(&editor, QPoint(0, 0)).x() + box->width() / 2.0 - strip->mapTo(&editor, QPoint(0, 0)).x();
        QVERIFY2(qAbs(boxCentre - kStripDividers[2] * scale) <= 1.0, qPrintable(QString::number(boxCentre)));

        for (int i = 0; i < 4; ++i) {
            editor.findChild<QLineEdit*>(QStringLiteral("Text1_%1").arg(i))->setText(QString(QChar('a' + i)));
        }
        editor.DropItem(QStringLiteral("FileName"), 4500 * scale);  // the middle of slot 3
        QCOMPARE(editor.findChild<QLineEdit*>(QStringLiteral("txtNewFileName"))->text(),
                 QStringLiteral("a.###bcOriginal FileNamed"));
    }

    void theEditorStandsBesideOrDocksNeverOver() {
        const QRect screen(0, 0, 1280, 800);
        const QSize editor(580, 424);
        const struct {
            const char* name;
            QRect list;
            QRect room;
            bool placesWindows;
            bool docked;
            QPoint listAt;
            QPoint editorAt;
        } cases[] = {
            {"room on the right", {0, 100, 640, 384}, screen, true, false, {0, 100}, {652, 100}},
            {"centred: the pair moves", {320, 208, 640, 384}, screen, true, false, {48, 208}, {700, 208}},
            {"no window placing", {0, 100, 640, 384}, screen, false, true, {0, 100}, {}},
            {"too narrow a screen", {0, 0, 640, 384}, {0, 0, 1024, 768}, true, true, {0, 0}, {}},
        };
        for (const auto& c : cases) {
            const EditorPlace place = PlaceRuleEditor(c.list, editor, c.room, c.placesWindows);
            QVERIFY2(place.docked == c.docked, c.name);
            QVERIFY2(place.list == c.listAt, c.name);
            if (!c.docked) {
                QVERIFY2(place.editor == c.editorAt, c.name);
                const QRect list(place.list, c.list.size());
                QVERIFY2(!list.intersects(QRect(place.editor, editor)), c.name);
                QVERIFY2(c.room.contains(list) && c.room.contains(QRect(place.editor, editor)), c.name);
            }
        }
    }

    // Run on the platform's screen: the offscreen one (800 by 600) docks the editor, the
    // 1280 by 800 one of the second run places it beside the list, Wayland docks it.
    void theOpenEditorLeavesTheNamesAndPreviewInView_data() {
        QTest::addColumn<double>("points");
        QTest::newRow("default font") << 0.0;
        QTest::newRow("13 pt") << 13.0;
    }

    void theOpenEditorLeavesTheNamesAndPreviewInView() {
        QFETCH(double, points);
        const FontAt font(points);
        auto* list = new frmRename;
        list->window()->move(0, 0);
        list->show();
        const QSize alone = list->window()->size();
        const QRect room = list->screen()->availableGeometry();
        frmRename2 probe;  // the editor as a window of its own
        probe.layout()->activate();
        list->findChild<QPushButton*>(QStringLiteral("cmdSetting"))->click();
        QCoreApplication::processEvents();
        frmRename2* editor = list->RuleEditor();
        QVERIFY(editor != nullptr && editor->isVisible());

        // Wayland lets no program place its windows.
        const bool pairFits = alone.width() + kEditorGap + probe.width() <= room.width() &&
                              !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
        QCOMPARE(list->EditorDocked(), !pairFits);
        QCOMPARE(editor->isWindow(), pairFits);
        auto* view = list->findChild<QTreeWidget*>(QStringLiteral("ListView1"));
        auto* preview = editor->findChild<QWidget*>(QStringLiteral("txtNewFileName"));
        const QRect names(view->viewport()->mapToGlobal(QPoint(view->header()->sectionViewportPosition(1), 0)),
                          QSize(view->header()->sectionSize(1), view->viewport()->height()));
        const auto area = [](const QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); };
        // The New File Name column is wholly in the list's view; the editor is clear of the
        // list's window, or docked, of the list; the preview is in the editor's window.
        QVERIFY(area(view).contains(names));
        QVERIFY(!area(editor).intersects(pairFits ? area(list) : area(view)));
        // Where the screen is too small for the docked editor it scrolls: the preview's
        // beginning is in view, or one scroll away.
        auto* scroll = list->findChild<QScrollArea*>(QStringLiteral("editorScroll"));
        if (scroll != nullptr) {
            QCoreApplication::processEvents();
            // The whole box: a text box alone would only bring its cursor into view.
            const QRect box(preview->mapTo(scroll->widget(), QPoint()), preview->size());
            scroll->ensureVisible(box.left(), box.center().y(), 0, box.height() / 2 + 1);
        }
        const QRect shown = area(scroll != nullptr ? scroll->viewport() : editor->window()) & area(preview);
        QVERIFY(shown.topLeft() == area(preview).topLeft() && shown.height() == preview->height() &&
                shown.width() >= std::min(preview->width(), 200));
        QVERIFY(!pairFits || room.contains(editor->frameGeometry()));

        // Closing a docked editor gives the list its size back.
        editor->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        QCOMPARE(list->window()->size(), alone);
    }

    // Docked at a larger font, the list's window grows: it moves left and up as far as it
    // must to stay wholly on the screen, or where it cannot fit, starts at the screen's edge.
    void aGrownWindowStaysOnTheScreen_data() {
        QTest::addColumn<double>("points");
        QTest::newRow("13 pt") << 13.0;
        QTest::newRow("16 pt") << 16.0;
    }

    void aGrownWindowStaysOnTheScreen() {
        QFETCH(double, points);
        if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
            QSKIP("Wayland places windows itself");
        }
        const FontAt font(points);
        auto* list = new frmRename;
        QWidget* window = list->window();
        window->move(320, 208);
        list->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QRect room = list->screen()->availableGeometry();
        list->findChild<QPushButton*>(QStringLiteral("cmdSetting"))->click();
        QCoreApplication::processEvents();
        QVERIFY(list->EditorDocked());
        const QRect frame = window->frameGeometry();
        QVERIFY2(frame.width() > room.width() - 320, "the window grew past the screen's edge");
        // Wholly on a 1280 by 800 screen at any font: the list gives up width first, then the
        // editor scrolls in what is left; a smaller screen at least shows the window's left part.
        const bool fits = room.contains(frame);
        QVERIFY2(fits ? true : room.width() < 1280 && frame.x() == room.x() && frame.y() >= room.y(),
                 qPrintable(QStringLiteral("%1,%2 %3x%4").arg(frame.x()).arg(frame.y())
                                .arg(frame.width()).arg(frame.height())));
        auto* scroll = list->findChild<QScrollArea*>(QStringLiteral("editorScroll"));
        // A 1280 by 800 screen holds both at 13 pt without scrolling.
        QVERIFY(scroll == nullptr || points > 13 || room.width() < 1280);
        if (scroll != nullptr) {
            // The editor's buttons on its far side can still be scrolled to.
            auto* apply = list->findChild<QPushButton*>(QStringLiteral("cmdApply"));
            QVERIFY(apply != nullptr);
            QCoreApplication::processEvents();
            scroll->ensureWidgetVisible(apply, 0, 0);
            const QRect shown(apply->mapTo(scroll->viewport(), QPoint()), apply->size());
            QVERIFY(scroll->viewport()->rect().contains(shown));
        }
    }
};

}  // namespace brindle::app

QTEST_MAIN(brindle::app::RenameLayoutFitTest)
#include "rename_layout_fit_test.moc"

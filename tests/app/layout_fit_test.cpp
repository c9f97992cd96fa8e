// The shell, split and join windows at a larger font and with longer captions, and the one
// top-level window that their pages change in. Also run at scale factor 2 and, where a
// compositor can start, on Wayland (see CMakeLists.txt).

#include <QPointer>
#include <QWindow>
#include <QLayout>
#include <QtTest>
#include <functional>

#include "join/frm_join.h"
#include "join/frm_join2.h"
#include "join/frm_simple_join.h"
#include "shell/frm_main.h"
#include "shell/image_control.h"
#include "split/frm_simple.h"
#include "split/frm_split.h"
#include "split/frm_split2.h"
#include "split/frm_split3.h"
#include "support/layout_fit.h"
#include "support/window_helpers.h"

namespace brindle::app {
namespace {

using Factory = std::function<ChromeWindow*()>;

template <typename Window>
Factory Make() {
    return [] { return new Window; };
}

// Each window and its size at the default font.
const struct {
    const char* name;
    Factory make;
    QSize look;
} kWindows[] = {
    {"frmMain", Make<frmMain>(), {420, 210}},        {"frmSplit", Make<frmSplit>(), {480, 384}},
    {"frmSplit2", Make<frmSplit2>(), {480, 384}},    {"frmSplit3", Make<frmSplit3>(), {480, 384}},
    {"frmSimple", Make<frmSimple>(), {400, 280}},    {"frmJoin", Make<frmJoin>(), {480, 384}},
    {"frmJoin2", Make<frmJoin2>(), {480, 384}},      {"frmSimpleJoin", Make<frmSimpleJoin>(), {400, 214}},
};

enum class Stress { None, LargeFont, LongerCaptions, LargestFontLongerCaptions };

// The program's visible top-level windows.
QList<QWidget*> VisibleTopLevels() {
    QList<QWidget*> visible;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible()) {
            visible.append(widget);
        }
    }
    return visible;
}

}  // namespace

class LayoutFitTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        qInfo("platform: %s", qPrintable(QGuiApplication::platformName()));
        defaultFont_ = QApplication::font();
    }

    void cleanup() {
        test::CloseAllWindows();
        QApplication::setFont(defaultFont_);
    }

    void everyCaptionFitsItsControl_data() {
        QTest::addColumn<int>("window");
        QTest::addColumn<Stress>("stress");
        for (int i = 0; i < static_cast<int>(std::size(kWindows)); ++i) {
            QTest::addRow("%s", kWindows[i].name) << i << Stress::None;
            QTest::addRow("%s at 13 pt", kWindows[i].name) << i << Stress::LargeFont;
            QTest::addRow("%s, captions 40%% longer", kWindows[i].name) << i << Stress::LongerCaptions;
            QTest::addRow("%s at 16 pt, captions 40%% longer", kWindows[i].name)
                << i << Stress::LargestFontLongerCaptions;
        }
    }

    void everyCaptionFitsItsControl() {
        QFETCH(int, window);
        QFETCH(Stress, stress);
        if (stress == Stress::LargeFont || stress == Stress::LargestFontLongerCaptions) {
            QFont large = defaultFont_;
            large.setPointSize(stress == Stress::LargeFont ? 13 : 16);
            QApplication::setFont(large);
        }
        ChromeWindow* page = kWindows[window].make();
        page->show();
        QVERIFY(QTest::qWaitForWindowExposed(page->window()));
        if (stress == Stress::LongerCaptions || stress == Stress::LargestFontLongerCaptions) {
            test::LengthenCaptions(page, 0.4);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            QCoreApplication::processEvents();
        }
        // The window holds the whole page, also once its controls grew with their captions.
        QTRY_COMPARE(page->window()->size(), page->size());

        const QStringList problems = test::FitProblems(page);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        // It never drops below its default size.
        const QSize look = kWindows[window].look;
        QVERIFY2(page->width() >= look.width() && page->height() >= look.height(),
                 qPrintable(QStringLiteral("%1x%2").arg(page->width()).arg(page->height())));
        if (stress == Stress::None) {
            QCOMPARE(page->size(), look);
        }
    }

    // Every move between windows changes the page inside one top-level window: the same
    // platform window, where it was, titled after the new page, with the focus in it.
    void pageChangesKeepOneTopLevelWindow() {
        QPointer<ChromeWindow> page = new frmMain;
        page->show();
        QVERIFY(QTest::qWaitForWindowExposed(page->window()));
        test::MoveWindow(page, QPoint(150, 120));
        QWindow* const handle = page->window()->windowHandle();
        QPoint place = test::WindowPos(page);

        const std::function<void(ChromeWindow*)> moves[] = {
            [](ChromeWindow* from) { test::Click(from->findChild<ImageControl*>(QStringLiteral("imgAction_0"))); },
            [](ChromeWindow* from) { test::Click(from->findChild<ImageControl*>(QStringLiteral("imgButton_1"))); },
            [](ChromeWindow* from) { test::Click(from->findChild<ImageControl*>(QStringLiteral("imgButton_0"))); },
            [](ChromeWindow* from) { from->findChild<QPushButton*>(QStringLiteral("cmdPrevious"))->click(); },
        };
        const char* const reached[] = {"frmSplit", "frmJoin", "frmSplit", "frmMain"};
        for (int i = 0; i < 4; ++i) {
            QPointer<ChromeWindow> before = page;
            moves[i](page);
            const QList<QWidget*> open = test::OpenWindows();
            QCOMPARE(open.size(), 1);
            page = qobject_cast<ChromeWindow*>(open.front());
            QCOMPARE(page->objectName(), QLatin1String(reached[i]));
            QVERIFY(before.isNull());  // the page it came from is discarded
            QCOMPARE(VisibleTopLevels(), QList<QWidget*>{page->window()});
            QCOMPARE(page->window()->windowHandle(), handle);
            // Where it was, as far as the screen holds the new page.
            QCOMPARE(test::WindowPos(page), test::KeptOnScreen(place, page));
            place = test::WindowPos(page);
            QCOMPARE(page->window()->windowTitle(), page->windowTitle());
            QCOMPARE(page->window()->size(), page->size());
            QVERIFY(page->focusWidget() != nullptr && page->isAncestorOf(page->focusWidget()));
        }

        // Its Close closes the window, which goes with the page.
        QPointer<QWidget> top = page->window();
        test::Click(page->findChild<QWidget*>(QStringLiteral("Image1")));
        QVERIFY(test::OpenWindows().isEmpty());
        QVERIFY(top.isNull());
    }

    // Closed from outside (the desktop's close), the window asks its page, which closes.
    void closingTheWindowClosesItsPage() {
        QPointer<ChromeWindow> page = new frmJoin2;
        page->show();
        QVERIFY(page->window()->close());
        QVERIFY(test::OpenWindows().isEmpty());
        QVERIFY(page.isNull());
    }

private:
    QFont defaultFont_;
};

}  // namespace brindle::app

QTEST_MAIN(brindle::app::LayoutFitTest)
#include "layout_fit_test.moc"

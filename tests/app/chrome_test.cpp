#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QAbstractButton>
#include <QTemporaryDir>
#include <QWindow>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>
#include <functional>

#include "join/frm_join.h"
#include "join/frm_join2.h"
#include "join/frm_simple_join.h"
#include "rename/frm_rename.h"
#include "rename/frm_rename2.h"
#include "shell/frm_main.h"
#include "shell/image_control.h"
#include "shell/navigation.h"
#include "shell/wizard_state.h"
#include "split/frm_simple.h"
#include "split/frm_split.h"
#include "split/frm_split2.h"
#include "split/frm_split3.h"
#include "split/split_engine.h"
#include "split/split_pages.h"
#include "support/recording_prompter.h"
#include "support/window_helpers.h"

Q_DECLARE_METATYPE(std::function<brindle::app::ChromeWindow*()>)

namespace brindle::app {
namespace {

using Factory = std::function<ChromeWindow*()>;
using test::Click;
using test::CloseAllWindows;
using test::Hover;
using test::OpenWindows;
using test::MoveWindow;
using test::WindowPos;
using test::SendMouse;

template <typename Window>
Factory Make() {
    return [] { return new Window; };
}

struct WindowRow {
    const char* name;
    Factory make;
    int current;  // -1 without a navigation bar
};

const WindowRow kBarWindows[] = {
    {"frmSplit", Make<frmSplit>(), 0},   {"frmSplit2", Make<frmSplit2>(), 0},
    {"frmSplit3", Make<frmSplit3>(), 0}, {"frmJoin", Make<frmJoin>(), 1},
    {"frmJoin2", Make<frmJoin2>(), 1},   {"frmRename", Make<frmRename>(), 2},
};

const char* const kTargets[] = {"frmSplit", "frmJoin", "frmRename"};
const char* const kTips[] = {"Split a file", "Merge Files", "Batch Renaming"};
const char* const kKeys[] = {"split", "merge", "rename"};

ImageControl* Button(QWidget* window, int index) {
    return window->findChild<ImageControl*>(QStringLiteral("imgButton_%1").arg(index));
}

QAccessibleInterface* Accessible(QWidget* widget) {
    QAccessibleInterface* item = QAccessible::queryAccessibleInterface(widget);
    Q_ASSERT(item != nullptr);
    return item;
}

QString Key(int index, const char* form = "") {
    return QLatin1String(kKeys[index]) + QLatin1String(form);
}

}  // namespace

class ChromeTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { CloseAllWindows(); }

    void barSetUpOnLoad_data() {
        QTest::addColumn<Factory>("make");
        QTest::addColumn<int>("current");
        for (const WindowRow& row : kBarWindows) {
            QTest::newRow(row.name) << row.make << row.current;
        }
    }

    void barSetUpOnLoad() {
        QFETCH(Factory, make);
        QFETCH(int, current);
        ChromeWindow* window = make();
        window->show();
        const ImageList& images = window->ImageList2();
        for (int i = 0; i < 3; ++i) {
            ImageControl* button = Button(window, i);
            QVERIFY(button != nullptr);
            QCOMPARE(button->toolTip(), QLatin1String(kTips[i]));
            QCOMPARE(images.Tag(Key(i, "over")), QLatin1String(kTips[i]));
            QCOMPARE(button->isEnabled(), i != current);
            QVERIFY(images.Shows(button, i == current ? Key(i, "current") : Key(i)));
        }
        // The three states of a button are three different pictures.
        for (int i = 0; i < 3; ++i) {
            const QImage plain = images.Picture(Key(i)).toImage();
            QVERIFY(plain != images.Picture(Key(i, "over")).toImage());
            QVERIFY(plain != images.Picture(Key(i, "current")).toImage());
            QVERIFY(images.Picture(Key(i, "over")).toImage() !=
                    images.Picture(Key(i, "current")).toImage());
        }
    }

    void hoverMovesFromButtonToButton() {
        frmSplit2* page = new frmSplit2;
        page->show();
        const ImageList& images = page->ImageList2();
        Hover(Button(page, 1));
        QVERIFY(images.Shows(Button(page, 1), Key(1, "over")));
        Hover(Button(page, 2));
        QVERIFY(images.Shows(Button(page, 1), Key(1)));
        QVERIFY(images.Shows(Button(page, 2), Key(2, "over")));
        // The current button gets no pointer events and never changes.
        Hover(Button(page, 0));
        QVERIFY(images.Shows(Button(page, 0), Key(0, "current")));
        QVERIFY(images.Shows(Button(page, 2), Key(2, "over")));
        // Moving over the rest of the window leaves the bar alone.
        SendMouse(page, QEvent::MouseMove, QPoint(300, 200), Qt::NoButton, Qt::NoButton);
        QVERIFY(images.Shows(Button(page, 2), Key(2, "over")));

        // A refresh turns hover pictures and empty buttons back to plain, keeps current.
        Button(page, 1)->setPixmap({});
        RefreshNavigationBar(*page);
        QVERIFY(images.Shows(Button(page, 1), Key(1)));
        QVERIFY(images.Shows(Button(page, 2), Key(2)));
        QVERIFY(images.Shows(Button(page, 0), Key(0, "current")));
    }

    void navigationReplacesTheWindow_data() {
        QTest::addColumn<Factory>("make");
        QTest::addColumn<int>("target");
        for (const WindowRow& row : kBarWindows) {
            for (int target = 0; target < 3; ++target) {
                if (target != row.current) {
                    QTest::addRow("%s to %s", row.name, kTargets[target]) << row.make << target;
                }
            }
        }
    }

    void navigationReplacesTheWindow() {
        QFETCH(Factory, make);
        QFETCH(int, target);
        test::RecordingPrompter prompter;
        QPointer<ChromeWindow> source = make();
        source->show();
        MoveWindow(source, QPoint(211, 143));
        Hover(Button(source, target));
        Click(Button(source, target));

        const QList<QWidget*> open = OpenWindows();
        QVERIFY(source.isNull());
        QCOMPARE(open.size(), 1);
        QCOMPARE(open.front()->objectName(), QLatin1String(kTargets[target]));
        QCOMPARE(WindowPos(open.front()), test::KeptOnScreen(QPoint(211, 143), open.front()));
        QVERIFY(prompter.calls.isEmpty());
    }

    void disabledCurrentButtonIgnoresClicks() {
        QPointer<ChromeWindow> page = new frmJoin;
        page->show();
        Click(Button(page, 1));
        QCOMPARE(OpenWindows(), QList<QWidget*>{page.data()});
    }

    void restoreSplitPage1FillsThePageFromTheSavedState() {
        frmSplit* page = new frmSplit;
        auto* path = page->findChild<QLineEdit*>(QStringLiteral("txtPath"));
        path->setText(QStringLiteral("typed"));
        auto* count = page->findChild<QLineEdit*>(QStringLiteral("txtNum"));
        auto* size = page->findChild<QLineEdit*>(QStringLiteral("txtSize"));
        auto* unit = page->findChild<QComboBox*>(QStringLiteral("cboType"));
        auto* floppy = page->findChild<QRadioButton*>(QStringLiteral("optSolution_2"));

        WizardState& saved = page->Values().wizard;
        saved.SavedSplitMode = 2;
        saved.SavedPieceSize = "700";
        saved.SavedSizeUnit = 1;
        RestoreSplitPage1(*page);
        QCOMPARE(path->text(), QStringLiteral("typed"));  // empty saved texts change nothing
        QCOMPARE(count->text(), QStringLiteral("2"));
        QCOMPARE(size->text(), QStringLiteral("700"));
        QVERIFY(floppy->isChecked());
        QCOMPARE(unit->currentIndex(), 1);
        delete page;
    }

    void closeImageClosesTheWindow() {
        QPointer<frmMain> main = new frmMain;
        main->show();
        QPointer<ChromeWindow> join = new frmJoin;
        join->show();
        Click(join->findChild<QWidget*>(QStringLiteral("Image1")));
        QCOMPARE(OpenWindows(), QList<QWidget*>{main.data()});
        QVERIFY(join.isNull());

        // A split wizard page takes the main window with it.
        QPointer<ChromeWindow> split = new frmSplit3;
        split->show();
        Click(split->findChild<QWidget*>(QStringLiteral("Image1")));
        QVERIFY(OpenWindows().isEmpty());
        QVERIFY(split.isNull());
        QVERIFY(main.isNull());
    }

    void minimiseImageMinimises() {
        frmRename* list = new frmRename;
        list->show();
        auto* minimise = list->findChild<QWidget*>(QStringLiteral("Image2"));
        QCOMPARE(minimise->toolTip(), QStringLiteral("Minimise"));
        QCOMPARE(Accessible(minimise)->text(QAccessible::Description), QStringLiteral("Minimise"));
        Click(minimise);
        QVERIFY(list->window()->isMinimized());
    }

    void quickSplitsSecondImageClosesToo() {
        QPointer<frmSimple> quick = new frmSimple;
        quick->show();
        auto* second = quick->findChild<QWidget*>(QStringLiteral("Image2"));
        QCOMPARE(second->toolTip(), QStringLiteral("Close"));
        Click(second);
        QVERIFY(OpenWindows().isEmpty());
        QVERIFY(quick.isNull());
    }

    void chromeMatchesEachWindow_data() {
        QTest::addColumn<Factory>("make");
        QTest::addColumn<QString>("strip");
        QTest::addColumn<bool>("minimise");
        QTest::addColumn<bool>("bar");
        for (const WindowRow& row : kBarWindows) {
            QTest::newRow(row.name) << row.make << "Picture5" << true << true;
        }
        QTest::newRow("frmMain") << Factory(Make<frmMain>()) << "Picture5" << true << false;
        QTest::newRow("frmRename2") << Factory(Make<frmRename2>()) << "Picture5" << false << false;
        QTest::newRow("frmSimple") << Factory(Make<frmSimple>()) << "Picture2" << true << false;
        QTest::newRow("frmSimpleJoin")
            << Factory(Make<frmSimpleJoin>()) << "Picture2" << false << false;
    }

    void chromeMatchesEachWindow() {
        QFETCH(Factory, make);
        QFETCH(QString, strip);
        QFETCH(bool, minimise);
        QFETCH(bool, bar);
        std::unique_ptr<ChromeWindow> window(make());
        QVERIFY(window->windowFlags() & Qt::FramelessWindowHint);
        // Named after the window and step, so the desktop's window list tells them apart.
        QVERIFY(window->windowTitle().endsWith(QStringLiteral("Tarnwick Brindle")));
        QCOMPARE(Accessible(window->findChild<QWidget*>(strip))->text(QAccessible::Name),
                 window->windowTitle());
        QVERIFY(window->findChild<QWidget*>(strip) != nullptr);
        QCOMPARE(window->findChild<QWidget*>(QStringLiteral("Image1"))->toolTip(),
                 QStringLiteral("Close"));
        QCOMPARE(window->findChild<QWidget*>(QStringLiteral("Image2")) != nullptr, minimise);
        QCOMPARE(Button(window.get(), 0) != nullptr, bar);
    }

    // What a screen reader finds: named buttons, the current page's one disabled.
    void chromeImagesAreNamedButtons() {
        std::unique_ptr<ChromeWindow> window(new frmJoin2);
        const QStringList names = {QStringLiteral("Image1"), QStringLiteral("Image2"),
                                   QStringLiteral("imgButton_0"), QStringLiteral("imgButton_1"),
                                   QStringLiteral("imgButton_2")};
        const QStringList expected = {QStringLiteral("Close"), QStringLiteral("Minimise"),
                                      kTips[0], kTips[1], kTips[2]};
        for (int i = 0; i < names.size(); ++i) {
            QAccessibleInterface* image = Accessible(window->findChild<QWidget*>(names[i]));
            QCOMPARE(image->role(), QAccessible::Button);
            QCOMPARE(image->text(QAccessible::Name), expected[i]);
            QCOMPARE(image->state().disabled, names[i] == QStringLiteral("imgButton_1"));
            QVERIFY(image->actionInterface()->actionNames().contains(
                QAccessibleActionInterface::pressAction()));
        }
    }

    // Every page change keeps the one window: the same native window, never hidden (so never
    // unmapped, or made anew under Wayland), still active, its top-left corner where it was,
    // and the focus on one of the new page's own controls.
    void everyPageChangeKeepsTheWindowActiveAndFocused() {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("film.avi"));
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(3000, 'f')) == 3000);
        }
        test::QuietProgress progress;
        QVERIFY(SplitFile({source.toStdString(), dir.path().toStdString(), "g", 1000, "qmf", "03/04/2025", 7},
                          progress).status.ok());
        test::RecordingPrompter prompter;
        auto* main = new frmMain;
        main->Load({}, QDir::tempPath().toStdString());
        QWidget* host = main->window();
        QVERIFY(QTest::qWaitForWindowActive(host));
        const WId native = host->winId();
        QPoint place = host->pos();
        // Hidden, or unmapped with the window still shown (as a window sized to nothing is).
        int hidden = 0;
        test::OnEvent watch(host, QEvent::Hide, [&hidden] { ++hidden; });
        QWindow* surface = host->windowHandle();
        test::OnEvent unmapped(surface, QEvent::Expose, [&hidden, surface] { hidden += surface->isExposed() ? 0 : 1; });
        // Weston's headless compositor has no seat, so no window there is ever active.
        const bool activates = QGuiApplication::platformName() != QLatin1String("wayland");

        const auto page = [host] { return ChromeWindow::PageIn(host); };
        const auto press = [&page](const char* name) {
            QWidget* target = page()->findChild<QWidget*>(QLatin1String(name));
            QVERIFY2(target != nullptr, name);
            if (auto* button = qobject_cast<QAbstractButton*>(target)) {
                button->click();
            } else {
                Click(target);
            }
        };
        const auto check = [&](const char* shown) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCOMPARE(page()->objectName(), QLatin1String(shown));
            QCOMPARE(host->winId(), native);
            QCOMPARE(hidden, 0);
            QVERIFY(host->isVisible());
            QCOMPARE(host->pos(), test::KeptOnScreen(place, host));
            place = host->pos();
            // A screen reader's frame, named by the page's title.
            QCOMPARE(Accessible(host)->role(), QAccessible::Window);
            QCOMPARE(Accessible(host)->text(QAccessible::Name), page()->windowTitle());
            QWidget* focus = host->focusWidget();
            if (activates) {
                QTRY_COMPARE(QApplication::activeWindow(), host);
                focus = QApplication::focusWidget();
            }
            // One of the page's own controls: the chrome's images come after them.
            QVERIFY2(focus != nullptr && page()->isAncestorOf(focus) && qobject_cast<ImageControl*>(focus) == nullptr,
                     shown);
        };

        press("imgAction_0");
        check("frmSplit");
        page()->findChild<QLineEdit*>(QStringLiteral("txtPath"))->setText(source);
        page()->findChild<QLineEdit*>(QStringLiteral("txtNum"))->setText(QStringLiteral("2"));
        press("cmdNext");
        check("frmSplit2");
        press("cmdPrevious");
        check("frmSplit");
        press("cmdNext");
        prompter.paths = {dir.path()};
        press("cmdNext");  // asks for the folder first, and stays
        press("cmdNext");
        check("frmSplit3");
        press("cmdPrevious");
        check("frmSplit2");
        Click(page()->NavigationButton(1));
        check("frmJoin");
        auto* join = qobject_cast<frmJoin*>(page());
        join->ShowGroupOf(dir.filePath(QStringLiteral("g(1).qmf")).toStdString());
        QTRY_VERIFY(join->cmdNext->isEnabled());
        press("cmdNext");
        check("frmJoin2");
        press("cmdPrevious");
        check("frmJoin");
        Click(page()->NavigationButton(2));
        check("frmRename");
        Click(page()->NavigationButton(0));
        check("frmSplit");
        // A second start's quick window takes an idle window's place the same way.
        ReplaceWindow(page(), new frmSimple);
        check("frmSimple");
    }

    // Centred on the size it opens at, not on a window's default size before its layout ran.
    void theMainWindowOpensCentred() {
        auto* main = new frmMain;
        main->Load({}, QDir::tempPath().toStdString());
        QVERIFY(QTest::qWaitForWindowExposed(main->window()));
        const QPoint off = main->window()->frameGeometry().center() - main->screen()->availableGeometry().center();
        QVERIFY2(off.manhattanLength() <= 2, qPrintable(QStringLiteral("%1,%2").arg(off.x()).arg(off.y())));
    }

    // A larger page keeps the window's corner only as far as the screen holds the whole window.
    void aLargerPageStaysOnTheScreen() {
        if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
            QSKIP("Wayland places windows itself");
        }
        auto* main = new frmMain;
        main->Load({}, QDir::tempPath().toStdString());
        QWidget* host = main->window();
        QVERIFY(QTest::qWaitForWindowExposed(host));
        const QRect room = host->screen()->availableGeometry();
        host->move(room.bottomRight() - QPoint(host->frameGeometry().width(), host->frameGeometry().height()));
        QTRY_VERIFY(room.contains(host->frameGeometry()));
        Click(main->findChild<ImageControl*>(QStringLiteral("imgAction_2")));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(ChromeWindow::PageIn(host)->objectName(), QStringLiteral("frmRename"));
        QTRY_VERIFY2(room.contains(host->frameGeometry()),
                     qPrintable(QStringLiteral("%1,%2 %3x%4").arg(host->frameGeometry().x()).arg(host->frameGeometry().y())
                                    .arg(host->frameGeometry().width()).arg(host->frameGeometry().height())));
    }

    void mainWindowWorksFromTheKeyboard() {
        auto* main = new frmMain;
        main->Load({}, QDir::tempPath().toStdString());
        QVERIFY(QTest::qWaitForWindowActive(main));
        const QPoint place = WindowPos(main);
        QStringList reached;
        for (int i = 0; i < 5; ++i) {
            QWidget* focus = QApplication::focusWidget();
            QAccessibleInterface* item = Accessible(focus);
            QCOMPARE(item->role(), QAccessible::Button);
            reached << item->text(QAccessible::Name);
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        QCOMPARE(reached, (QStringList{QStringLiteral("Split file"), QStringLiteral("Merge files"),
                                       QStringLiteral("Batch renaming"), QStringLiteral("Minimise"),
                                       QStringLiteral("Close")}));
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("imgAction_0"));

        QTest::keyClick(main->findChild<QWidget*>(QStringLiteral("imgAction_1")), Qt::Key_Return);
        const QList<QWidget*> open = OpenWindows();
        QCOMPARE(open.size(), 1);
        QCOMPARE(open.first()->objectName(), QStringLiteral("frmJoin"));
        QCOMPARE(WindowPos(open.first()), place);
    }

    void enterInATextBoxPressesThePagesDefaultButton() {
        test::RecordingPrompter prompter;
        std::unique_ptr<ChromeWindow> page(new frmSplit);
        page->show();
        QTest::keyClick(page->findChild<QLineEdit*>(QStringLiteral("txtNum")), Qt::Key_Return);
        QVERIFY(!prompter.calls.isEmpty());
        QCOMPARE(prompter.calls.first().text, QStringLiteral("Please select a file to split"));
    }

    void titleStripDragsWithTheLeftButtonOnly() {
        frmSimple* window = new frmSimple;
        window->show();
        MoveWindow(window, QPoint(200, 150));
        QWidget* strip = window->findChild<QWidget*>(QStringLiteral("Picture2"));

        SendMouse(strip, QEvent::MouseButtonPress, QPoint(100, 10), Qt::RightButton,
                  Qt::RightButton);
        SendMouse(strip, QEvent::MouseMove, QPoint(160, 40), Qt::NoButton, Qt::RightButton);
        SendMouse(strip, QEvent::MouseButtonRelease, QPoint(160, 40), Qt::RightButton,
                  Qt::NoButton);
        QCOMPARE(WindowPos(window), QPoint(200, 150));

        SendMouse(strip, QEvent::MouseButtonPress, QPoint(100, 10), Qt::LeftButton, Qt::LeftButton);
        SendMouse(strip, QEvent::MouseMove, QPoint(160, 40), Qt::NoButton, Qt::LeftButton);
        SendMouse(strip, QEvent::MouseButtonRelease, QPoint(160, 40), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(WindowPos(window), QPoint(260, 180));
    }
};

}  // namespace brindle::app

QTEST_MAIN(brindle::app::ChromeTest)
#include "chrome_test.moc"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <fstream>

#include "rename/add_folder.h"
#include "rename/apply_renames.h"
#include "rename/conflict_marks.h"
#include "rename/file_add.h"
#include "rename/form3.h"
#include "rename/frm_rename.h"
#include "rename/frm_rename2.h"
#include "rename/rename_journal.h"
#include "rename/rule_strip.h"
#include "shell/job_runner.h"
#include "support/recording_prompter.h"
#include "support/tiny_jpeg.h"
#include "support/window_helpers.h"

namespace brindle::app {
namespace {

using test::CloseAllWindows;
using test::RecordingPrompter;

void Write(const QString& path, const QByteArray& bytes = "x") {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QTreeWidget* View(QWidget* window) {
    return window->findChild<QTreeWidget*>(QStringLiteral("ListView1"));
}

void Press(QWidget* window, const char* name) {
    auto* button = window->findChild<QPushButton*>(QLatin1String(name));
    QVERIFY2(button != nullptr, name);
    button->click();
}

QStringList Column(QTreeWidget* view, int column) {
    QStringList texts;
    for (int i = 0; i < view->topLevelItemCount(); ++i) {
        texts << view->topLevelItem(i)->text(column);
    }
    return texts;
}

QPushButton* Button(QWidget* window, const char* name) {
    return window->findChild<QPushButton*>(QLatin1String(name));
}

QString LastMessage(const RecordingPrompter& prompter) {
    return prompter.calls.isEmpty() ? QString() : prompter.calls.last().text;
}

std::string Bytes(const QString& text) {
    return text.toStdString();
}

// Clicks a row where its text is, away from the check box.
void ClickRow(QTreeWidget* view, int row) {
    const QRect rect = view->visualItemRect(view->topLevelItem(row));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(rect.left() + 120, rect.center().y()));
}

}  // namespace

class RenameWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { CloseAllWindows(); }

    void stripDropsFindTheirSlot() {
        struct Case {
            double x;
            int slot;
        };
        // Each divider belongs to the slot on its right; drops past the edges land in the outer
        // slots; a drop half a twip short of a divider rounds to even.
        const Case cases[] = {{-40, 0},   {0, 0},       {1199, 0},   {1199.5, 1}, {1198.5, 0},
                              {1200, 1},  {2399, 1},    {2400, 2},   {3839, 2},   {3840, 3},
                              {5159, 3},  {5160, 4},    {6374, 4},   {9000, 4}};
        for (const Case& c : cases) {
            QCOMPARE(SlotAtPosition(DropPosition(c.x)), c.slot);
        }
    }

    void stripLabelsCentreInUnequalSlots() {
        QCOMPARE(CentredLabelLeft(0, 1000), 100);
        QCOMPARE(CentredLabelLeft(2, 1000), 2620);  // 2400 + (1440 - 1000) / 2
        QCOMPARE(CentredLabelLeft(4, 1000), 5267);  // the last slot ends at 6375, not a divider
        QCOMPARE(CentredLabelLeft(4, 1215), 5160);  // a label as wide as its slot fills it
    }

    void sizeColumnIsWholeKilobytesHalvesToEvenAtLeastOne() {
        const std::pair<std::optional<std::int64_t>, const char*> cases[] = {
            {0, "1 KB"},       {511, "1 KB"},     {512, "1 KB"},      {1536, "2 KB"},
            {2560, "2 KB"},    {2600, "3 KB"},    {3584, "4 KB"},     {-10, "1 KB"},
            {std::int64_t{5} << 30, "5242880 KB"}, {std::nullopt, ""},
        };
        for (const auto& [bytes, text] : cases) {
            QCOMPARE(SizeText(bytes), QLatin1String(text));
        }
    }

    void listAddsRemovesAndTogglesRows() {
        QTemporaryDir dir;
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) {
            Write(dir.filePath(QLatin1String(name)));
        }
        QTemporaryDir other;
        Write(other.filePath(QStringLiteral("z.txt")));
        auto* list = new frmRename;
        list->show();

        // Add Files through the dialog: c is chosen twice, the second time it is skipped.
        for (const QStringList& ticks : {QStringList{"a.jpg", "b.jpg", "c.jpg"},
                                         QStringList{"c.jpg", "d.jpg"}}) {
            Press(list, "Command1");
            auto* dialog = list->findChild<fileAdd*>();
            QVERIFY(dialog != nullptr && dialog->isVisible());
            dialog->ShowFolder(dir.path());
            QTRY_VERIFY(!dialog->IsListing());
            auto* files = View(dialog);
            for (int i = 0; i < files->topLevelItemCount(); ++i) {
                if (ticks.contains(files->topLevelItem(i)->text(0))) {
                    ClickRow(files, i);
                }
            }
            Press(dialog, "Command1");
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        QTreeWidget* view = View(list);
        QCOMPARE(Column(view, 0), (QStringList{"a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
        QCOMPARE(view->topLevelItem(3)->data(0, Qt::UserRole).toString(), dir.filePath("d.jpg"));

        // A click on the row's text toggles its check, and the list behind it follows.
        ClickRow(view, 1);
        ClickRow(view, 2);
        ClickRow(view, 3);
        ClickRow(view, 3);
        QCOMPARE(view->topLevelItem(1)->checkState(0), Qt::Checked);
        QCOMPARE(list->List().CheckedCount(), std::size_t{2});
        Press(list, "cmdRemove");
        QCOMPARE(Column(view, 0), (QStringList{"a.jpg", "d.jpg"}));

        // Add Folder puts the folder's files first; a cancelled dialog changes nothing.
        Press(list, "cmdAddFolder");
        auto* folder = list->findChild<addFolder*>();
        folder->ShowFolder(other.path());
        QTRY_VERIFY(!folder->IsListing());
        Press(folder, "Command1");
        Press(list, "cmdAddFolder");
        Press(list->findChild<addFolder*>(), "Command2");
        QCOMPARE(Column(view, 0), (QStringList{"z.txt", "a.jpg", "d.jpg"}));
        QCOMPARE(Column(view, 2), (QStringList{"1 KB", "1 KB", "1 KB"}));
    }

    // Dropped files come in as Add File(s) adds them, a folder as Add Folder does, and a file
    // already listed is not listed again; anything else is refused without a word.
    void droppedFilesAndFoldersAreAddedAsTheDialogsAddThem() {
        QTemporaryDir dir;
        Write(dir.filePath(QStringLiteral("a.jpg")));
        QDir(dir.path()).mkdir(QStringLiteral("sub"));
        Write(dir.filePath(QStringLiteral("sub/x.txt")));
        Write(dir.filePath(QStringLiteral("sub/y.txt")));
        RecordingPrompter prompter;
        auto* list = new frmRename;
        list->show();
        const QUrl a = test::FileUrl(dir.filePath(QStringLiteral("a.jpg")));
        QVERIFY(!test::DropUrls(list, {a, QUrl(QStringLiteral("https://example.org/b.jpg"))}));
        QVERIFY(!test::DropUrls(list, {test::FileUrl(dir.filePath(QStringLiteral("gone.jpg")))}));
        QVERIFY(test::DropUrls(list, {a}));
        QVERIFY(test::DropUrls(list, {a, test::FileUrl(dir.filePath(QStringLiteral("sub")))}));
        QTreeWidget* view = View(list);
        QCOMPARE(Column(view, 0), (QStringList{"x.txt", "y.txt", "a.jpg"}));
        QCOMPARE(Column(view, 3).at(0), dir.filePath(QStringLiteral("sub")));

        // A name that is not UTF-8 comes in with its bytes, as the address escapes them.
        const std::string latin = dir.path().toStdString() + "/caf\xe9.jpg";
        QVERIFY(std::ofstream(latin).good());
        QVERIFY(test::DropUrls(list, {QUrl::fromEncoded(QUrl::fromLocalFile(dir.path()).toEncoded() + "/caf%E9.jpg")}));
        QCOMPARE(list->List().rows().back().key, latin);
        QVERIFY(prompter.calls.isEmpty());
    }

    void doubleClickOpensTheNewNameDialogOnRowsOnly() {
        QTemporaryDir dir;
        Write(dir.filePath("photo.JPG"));
        auto* list = new frmRename;
        list->show();
        list->AddFileString(Bytes(dir.path()) + std::string("\0photo.JPG", 10), AddSource::kAddFiles);
        QTreeWidget* view = View(list);

        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(100, view->viewport()->height() - 5));
        QVERIFY(list->findChild<Form3*>() == nullptr);
        const QRect row = view->visualItemRect(view->topLevelItem(0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, row.center());
        auto* dialog = list->findChild<Form3*>();
        QVERIFY(dialog != nullptr);
        dialog->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QStringLiteral("holiday"));
        Press(dialog, "Command1");
        QCOMPARE(view->topLevelItem(0)->text(1), QStringLiteral("holiday.JPG"));
        QCOMPARE(list->List().rows()[0].newFileName, std::string("holiday.JPG"));
    }

    void newNameDialogAsksBeforeChangingTheExtension() {
        RecordingPrompter prompter;
        Form3 empty("photo.JPG");
        QCOMPARE(empty.windowTitle(), QStringLiteral("New File Name"));
        Press(&empty, "Command1");
        QCOMPARE(LastMessage(prompter), QStringLiteral("Please enter the filename."));
        QCOMPARE(empty.result(), int(QDialog::Rejected));

        for (const auto answer : {Prompter::Answer::Cancel, Prompter::Answer::Ok}) {
            Form3 dialog("photo.JPG");
            dialog.findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QStringLiteral("holiday"));
            dialog.findChild<QComboBox*>(QStringLiteral("Combo1"))->setEditText(QStringLiteral("jpg"));
            prompter.nextAnswer = answer;
            Press(&dialog, "Command1");
            QCOMPARE(prompter.calls.last().buttons, Prompter::Buttons::OkCancel);
            QCOMPARE(prompter.calls.last().icon, Prompter::Icon::Warning);
            QCOMPARE(LastMessage(prompter), QStringLiteral("File property may be lost. Continue?"));
            const bool ok = answer == Prompter::Answer::Ok;
            QCOMPARE(dialog.result(), ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
            QCOMPARE(dialog.newName(), std::string(ok ? "holiday.jpg" : ""));
        }

        // A name without a dot has no extension to keep: the typed name alone.
        Form3 bare("README");
        bare.findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QStringLiteral("NOTES"));
        Press(&bare, "Command1");
        QCOMPARE(bare.newName(), std::string("NOTES"));
    }

    void addDialogsHandOverTheirChoice() {
        RecordingPrompter prompter;
        QTemporaryDir dir;
        for (const char* name : {"a.jpg", "b.gif", "c.jpg", ".hidden.jpg"}) {
            Write(dir.filePath(QLatin1String(name)));
        }
        QTemporaryDir empty;

        fileAdd files;
        files.show();
        files.ShowFolder(dir.path());
        QTRY_VERIFY(!files.IsListing());
        QTreeWidget* list = View(&files);
        QCOMPARE(Column(list, 0), (QStringList{"a.jpg", "b.gif", "c.jpg"}));
        Press(&files, "Command1");
        QCOMPARE(LastMessage(prompter), QStringLiteral("No file selected."));
        QVERIFY(files.filestring().empty());
        auto* type = files.findChild<QComboBox*>(QStringLiteral("cboType"));
        Press(&files, "Command3");
        type->setCurrentText(QStringLiteral("GIF Files(*.gif)"));
        QTRY_VERIFY(!files.IsListing());
        QCOMPARE(Column(list, 0), QStringList{"b.gif"});
        QCOMPARE(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
        type->setCurrentIndex(0);
        QTRY_VERIFY(!files.IsListing());
        ClickRow(list, 0);
        ClickRow(list, 2);
        Press(&files, "Command1");
        QCOMPARE(files.filestring(), Bytes(dir.path()) + std::string("\0a.jpg\0c.jpg", 12));

        fileAdd closed;
        closed.show();
        closed.close();
        QCOMPARE(closed.filestring(), std::string("cancel"));
        fileAdd escaped;  // Escape is Cancel
        escaped.show();
        QTest::keyClick(escaped.focusWidget() ? escaped.focusWidget() : &escaped, Qt::Key_Escape);
        QVERIFY(!escaped.isVisible());
        QCOMPARE(escaped.filestring(), std::string("cancel"));

        addFolder folder;
        auto* count = folder.findChild<QLabel*>(QStringLiteral("Label1"));
        folder.ShowFolder(empty.path());
        QTRY_VERIFY(!folder.IsListing());
        QCOMPARE(count->text(), QStringLiteral("0 File(s)"));
        Press(&folder, "Command1");
        QCOMPARE(LastMessage(prompter), QStringLiteral("There is no image inside the folder."));
        QVERIFY(folder.filestring().empty());
        folder.ShowFolder(dir.path());
        QTRY_VERIFY(!folder.IsListing());
        QCOMPARE(count->text(), QStringLiteral("3 File(s)"));
        Press(&folder, "Command1");
        QCOMPARE(folder.filestring(),
                 Bytes(dir.path()) + std::string("\0a.jpg\0b.gif\0c.jpg\0", 19));

        addFolder cancelled;
        Press(&cancelled, "Command2");
        QCOMPARE(cancelled.filestring(), std::string("cancel"));
    }

    void ruleEditorOrdersItemsByOptionsAndDrops() {
        frmRename2 editor;
        editor.show();
        auto* preview = editor.findChild<QLineEdit*>(QStringLiteral("txtNewFileName"));
        auto* strip = editor.findChild<QWidget*>(QStringLiteral("Picture1"));
        const auto label = [&](int i) {
            return editor.findChild<QLabel*>(QStringLiteral("lblItem_%1").arg(i));
        };
        // Labels by their place on the strip, left to right.
        const auto order = [&] {
            QList<QLabel*> shown;
            for (int i = 0; i < 4; ++i) {
                if (label(i)->isVisible()) {
                    shown << label(i);
                }
            }
            std::sort(shown.begin(), shown.end(), [](QLabel* a, QLabel* b) { return a->x() < b->x(); });
            QStringList names;
            for (QLabel* l : shown) {
                names << l->text();
            }
            return names;
        };
        const auto drop = [&](int item, int x) {
            QMimeData mime;
            mime.setData(QStringLiteral("application/x-tarnwick-brindle-rule-item"),
                         label(item)->text().toUtf8());
            QDragEnterEvent enter(QPoint(x, 10), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(strip, &enter);
            QDropEvent event(QPointF(x, 10), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(strip, &event);
        };
        QCOMPARE(preview->text(), QStringLiteral("Original FileName.###"));

        editor.findChild<QCheckBox*>(QStringLiteral("chkDate"))->click();
        editor.findChild<QCheckBox*>(QStringLiteral("chkNum"))->click();
        QCOMPARE(order(), (QStringList{"FileName", "Date", "Number", "Ext"}));
        const QString today = QDate::currentDate().toString(QStringLiteral("ddMMyyyy"));
        QCOMPARE(preview->text(), "Original FileName" + today + "(01).###");
        // Slot 1 runs from 80 to 160 pixels: the Date label is centred there.
        QCOMPARE(label(2)->x() + label(2)->width() / 2, 120);

        editor.findChild<QCheckBox*>(QStringLiteral("chkDate"))->click();
        QCOMPARE(order(), (QStringList{"FileName", "Number", "Ext"}));
        QCOMPARE(preview->text(), QStringLiteral("Original FileName(01).###"));
        QVERIFY(!label(2)->isVisible());

        drop(1, 10);  // Ext left of the first divider swaps with FileName
        QCOMPARE(preview->text(), QStringLiteral(".###(01)Original FileName"));
    }

    void droppingIntoAnEmptySlotLeavesAGap() {
        frmRename2 editor;
        editor.show();
        for (int i = 0; i < 4; ++i) {
            editor.findChild<QLineEdit*>(QStringLiteral("Text1_%1").arg(i))->setText(QString(QChar('a' + i)));
        }
        editor.DropItem(QStringLiteral("FileName"), 400);  // right of the last divider, at 344
        QCOMPARE(editor.findChild<QLineEdit*>(QStringLiteral("txtNewFileName"))->text(),
                 QStringLiteral("a.###bcdOriginal FileName"));
    }

    void applyWritesNewNamesAndRenamingNeverReplaces() {
        RecordingPrompter prompter;
        QTemporaryDir dir;
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            Write(dir.filePath(QLatin1String(name)), name);
        }
        Write(dir.filePath("B.txt"), "keep me");
        auto* list = new frmRename;
        list->show();
        list->AddFileString(Bytes(dir.path()) + std::string("\0a.txt\0b.txt\0c.txt", 18),
                            AddSource::kAddFiles);
        Press(list, "cmdSetting");
        frmRename2* editor = list->RuleEditor();
        QVERIFY(editor != nullptr && editor->isVisible());

        Press(editor, "cmdApply");
        QCOMPARE(LastMessage(prompter), QStringLiteral("No file selected."));
        QCOMPARE(list->List().rows()[0].newFileName, std::string());

        // Upper-case base names by prefix: b's target B.txt is already there.
        Press(list, "cmdSelectAll");
        editor->findChild<QCheckBox*>(QStringLiteral("chkPrefix"))->click();
        auto* prefix = editor->findChild<QLineEdit*>(QStringLiteral("txtPrefix"));
        prefix->setText(QStringLiteral("X"));
        editor->findChild<QCheckBox*>(QStringLiteral("chkNum"))->click();
        Press(editor, "cmdApply");
        QCOMPARE(LastMessage(prompter), QStringLiteral("Rule applied successfully."));
        QCOMPARE(Column(View(list), 1), (QStringList{"X(01).txt", "X(02).txt", "X(03).txt"}));

        // "Apply R&ule" again brings the same editor forward, unchanged.
        Press(list, "cmdSetting");
        QCOMPARE(list->RuleEditor(), editor);
        QCOMPARE(prefix->text(), QStringLiteral("X"));

        list->List().rows()[1].newFileName = "B.txt";
        Press(list, "Command4");
        QVERIFY(list->IsBusy());  // the renames run off the window's thread
        QTRY_VERIFY(!list->IsBusy());
        // Nothing is renamed; the row says why.
        QCOMPARE(LastMessage(prompter), QStringLiteral("1 row(s) have a new name that cannot be given, so no file "
                                                       "was renamed. The marked rows say why."));
        const QString taken = QStringLiteral("a file of that name is already there");
        QCOMPARE(prompter.calls.last().reason, taken);
        QCOMPARE(prompter.calls.last().icon, Prompter::Icon::None);
        QTreeWidgetItem* marked = View(list)->topLevelItem(1);
        QCOMPARE(marked->toolTip(1), taken);
        QCOMPARE(marked->data(1, Qt::AccessibleDescriptionRole).toString(), taken);
        QVERIFY(!marked->icon(1).isNull());
        QCOMPARE(marked->foreground(1).color(), ErrorText(View(list)->palette()));
        QVERIFY(View(list)->topLevelItem(0)->icon(1).isNull());
        QVERIFY(QFile::exists(dir.filePath("a.txt")));
        QVERIFY(QFile::exists(dir.filePath("b.txt")));
        QVERIFY(QFile::exists(dir.filePath("c.txt")));
        QFile kept(dir.filePath("B.txt"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("keep me"));

        // A template without digits cannot count.
        editor->findChild<QLineEdit*>(QStringLiteral("txtAutoNum"))->setText(QStringLiteral("#"));
        Press(editor, "cmdApply");
        QCOMPARE(LastMessage(prompter), QStringLiteral("Fail to apply rule"));

        // Closing the list takes the editor with it.
        QPointer<frmRename2> watch(editor);
        list->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(watch.isNull());
    }

    // A click on a heading sorts the rows themselves, so a rule counts in the order shown;
    // a conflict's mark is there as soon as the names are, and follows its row.
    void headingsSortTheRowsAndConflictMarksFollow() {
        QTemporaryDir dir;
        const char* names[] = {"IMG_10.txt", "img_2.txt", "IMG_1.txt"};
        for (int i = 0; i < 3; ++i) {
            Write(dir.filePath(QLatin1String(names[i])), QString(2000 * (3 - i), QLatin1Char('x')).toLatin1());
        }
        auto* list = new frmRename;
        list->show();
        list->AddFileString(Bytes(dir.path()) + std::string("\0IMG_10.txt\0img_2.txt\0IMG_1.txt", 32),
                            AddSource::kAddFiles);
        QHeaderView* header = View(list)->header();
        const auto click = [&](int column) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
        };
        click(0);
        QCOMPARE(Column(View(list), 0), (QStringList{"IMG_1.txt", "img_2.txt", "IMG_10.txt"}));
        click(0);
        QCOMPARE(Column(View(list), 0), (QStringList{"IMG_10.txt", "img_2.txt", "IMG_1.txt"}));
        click(2);
        QCOMPARE(Column(View(list), 0), (QStringList{"IMG_1.txt", "img_2.txt", "IMG_10.txt"}));
        QCOMPARE(list->List().rows()[0].fileName, std::string("IMG_1.txt"));

        list->List().rows()[0].newFileName = "same.txt";
        list->List().rows()[2].newFileName = "same.txt";
        list->ShowNewNames();
        QTRY_VERIFY(!list->IsPlanning());
        QCOMPARE(View(list)->topLevelItem(2)->toolTip(1), QStringLiteral("IMG_1.txt of this run gets that name too"));
        click(0);  // back to IMG_10 first: its mark goes with it
        QCOMPARE(View(list)->topLevelItem(0)->text(0), QStringLiteral("IMG_1.txt"));
        QCOMPARE(View(list)->topLevelItem(2)->toolTip(1), QStringLiteral("IMG_1.txt of this run gets that name too"));
        QVERIFY(View(list)->topLevelItem(0)->toolTip(1).isEmpty());
    }

    // Tens of thousands of rows are looked up on disk while the window's events still come,
    // and named and marked a slice at a time: a mark far down the list comes, and goes again.
    void planningManyRowsKeepsTheWindowFree() {
        QTemporaryDir dir;
        constexpr int kRows = 25000;
        constexpr int kFar = 22000;  // past the first slices of marks
        std::string files = Bytes(dir.path());
        for (int i = 0; i < kRows; ++i) {
            const std::string name = "f" + std::to_string(i);
            std::ofstream(Bytes(dir.path()) + "/" + name);
            files += '\0' + name;
        }
        auto* list = new frmRename;
        list->show();
        list->AddFileString(files, AddSource::kAddFiles);
        QCOMPARE(View(list)->topLevelItemCount(), kRows);
        QTRY_VERIFY(!list->IsPlanning());
        for (RenameRow& row : list->List().rows()) {
            row.newFileName = "new-" + row.fileName;
        }
        list->List().rows()[kFar].newFileName = "new-f0";
        QSignalSpy marked(list, &frmRename::conflictsMarked);
        list->ShowNewNames();
        // Off the window's thread: the window answers while the plan runs, however long it
        // takes (how long is the benchmarks' business, not a test's).
        QVERIFY(list->IsPlanning());
        QVERIFY(marked.wait(60000));
        QVERIFY(!list->IsPlanning());
        QTRY_COMPARE(View(list)->topLevelItem(kFar)->text(1), QStringLiteral("new-f0"));
        QCOMPARE(View(list)->topLevelItem(kFar)->toolTip(1), QStringLiteral("f0 of this run gets that name too"));
        QVERIFY(View(list)->topLevelItem(kFar - 1)->toolTip(1).isEmpty());

        list->List().rows()[kFar].newFileName = "new-f" + std::to_string(kFar);
        list->ShowNewNames();
        QVERIFY(marked.wait(60000));
        QVERIFY(View(list)->topLevelItem(kFar)->toolTip(1).isEmpty());
        QVERIFY(View(list)->topLevelItem(kFar)->icon(1).isNull());
    }

    // A sort while the plan is under way: the marks go to the rows planned, wherever they
    // stand by then.
    void marksOfAPlanFollowARowSortedMeanwhile() {
        QTemporaryDir dir;
        for (const char* name : {"IMG_10.txt", "img_2.txt", "IMG_1.txt"}) {
            Write(dir.filePath(QLatin1String(name)), "x");
        }
        auto* list = new frmRename;
        list->show();
        list->AddFileString(Bytes(dir.path()) + std::string("\0IMG_10.txt\0img_2.txt\0IMG_1.txt", 32),
                            AddSource::kAddFiles);
        QTRY_VERIFY(!list->IsPlanning());
        list->List().rows()[1].newFileName = "same.txt";
        list->List().rows()[2].newFileName = "same.txt";
        QSignalSpy marked(list, &frmRename::conflictsMarked);
        list->ShowNewNames();
        list->SortByColumn(0);  // IMG_1, img_2, IMG_10: the planned row 2 is now row 0
        QVERIFY(marked.wait(10000));
        QCOMPARE(Column(View(list), 0), (QStringList{"IMG_1.txt", "img_2.txt", "IMG_10.txt"}));
        QCOMPARE(View(list)->topLevelItem(0)->toolTip(1), QStringLiteral("img_2.txt of this run gets that name too"));
        QVERIFY(View(list)->topLevelItem(2)->toolTip(1).isEmpty());
    }

    void undoRevertsTheLastRunOfEitherFrontEndAndRowsFollow() {
        RecordingPrompter prompter;
        QTemporaryDir state;
        qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
        QTemporaryDir dir;
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            Write(dir.filePath(QLatin1String(name)), name);
        }
        auto* list = new frmRename;
        list->show();
        QVERIFY(!Button(list, "cmdUndo")->isEnabled());
        list->AddFileString(Bytes(dir.path()) + std::string("\0a.txt\0b.txt", 12), AddSource::kAddFiles);
        list->List().rows()[0].newFileName = "1.txt";
        list->List().rows()[1].newFileName = "2.txt";
        Press(list, "Command4");
        QTRY_VERIFY(!list->IsBusy());
        QCOMPARE(LastMessage(prompter), QStringLiteral("Process Finish."));
        QVERIFY(Button(list, "cmdUndo")->isEnabled());
        // The list now names the files by their new names only.
        Press(list, "cmdSelectAll");
        Press(list, "cmdRemove");
        list->AddFileString(Bytes(dir.path()) + std::string("\0""1.txt\0""2.txt", 12), AddSource::kAddFiles);

        // A later run of the command's, whose new name is then taken again.
        std::vector<RenameRow> command = {{true, Bytes(dir.filePath("c.txt")), "c.txt", "3.txt", {}, Bytes(dir.path())}};
        QVERIFY(RenameAndRecord(command).ok());
        Write(dir.filePath("c.txt"), "taken again");
        const QString retry = QStringLiteral("Some files could not be renamed back. Try again later?");
        Press(list, "cmdUndo");
        QTRY_COMPARE(LastMessage(prompter), retry);
        const auto failed = prompter.calls[prompter.calls.size() - 2];
        QCOMPARE(failed.text, QStringLiteral("Fail to rename some files."));
        QVERIFY2(failed.reason.contains(QStringLiteral("3.txt")), qPrintable(failed.reason));
        QVERIFY(QFile::exists(dir.filePath("3.txt")));

        // Yes kept the run: the next undo tries 3.txt again, and No forgets it.
        prompter.nextAnswer = Prompter::Answer::No;
        QTRY_VERIFY(Button(list, "cmdUndo")->isEnabled());
        Press(list, "cmdUndo");
        QTRY_COMPARE(prompter.calls.size(), 5);
        QCOMPARE(LastMessage(prompter), retry);
        QVERIFY(QFile::exists(dir.filePath("3.txt")));
        prompter.nextAnswer = Prompter::Answer::Yes;
        QTRY_VERIFY(Button(list, "cmdUndo")->isEnabled());
        Press(list, "cmdUndo");
        QTRY_COMPARE(prompter.calls.size(), 6);
        QCOMPARE(LastMessage(prompter), QStringLiteral("Process Finish."));
        QVERIFY(QFile::exists(dir.filePath("a.txt")) && QFile::exists(dir.filePath("b.txt")));
        QCOMPARE(Column(View(list), 0), (QStringList{"a.txt", "b.txt"}));
        QCOMPARE(list->List().rows()[1].key, Bytes(dir.filePath("b.txt")));
        QTRY_VERIFY(Button(list, "Command4")->isEnabled());  // the undo has ended
        QVERIFY(!Button(list, "cmdUndo")->isEnabled());
    }

    // Leaving the list asks about the job it runs; Yes stops it after the current file and
    // keeps what is done, told with the window gone. A job's outcome reaches its window only
    // through the event loop, so the job still counts as running when the window is left
    // at once; another rename holding the journals keeps a run or undo waiting its turn.
    void leavingTheListAsksAboutItsOwnJobAndYesKeepsWhatIsDone() {
        RecordingPrompter prompter;
        QTemporaryDir state;
        qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
        QTemporaryDir dir;
        Write(dir.filePath("a.jpg"), QByteArray::fromStdString(brindle::test::TinyJpeg("2019:07:14 09:30:00")));
        Write(dir.filePath("c.jpg"));
        std::vector<RenameRow> command = {{true, Bytes(dir.filePath("c.jpg")), "c.jpg", "3.jpg", {}, Bytes(dir.path())}};
        QVERIFY(RenameAndRecord(command).ok());
        JournalTurn other;
        QVERIFY(other.Take(DefaultJournalFolder(), {}).ok());

        const struct {
            const char* button;
            QString question, told;
        } cases[] = {
            {"cmdApply", QStringLiteral("Dates are being read. Stop it?"), QString()},
            {"Command4", QStringLiteral("A rename is running. Stop it?"),
             QStringLiteral("The rename was stopped.\n\n0 file(s) were renamed; Undo Rename renames them back.")},
            {"cmdUndo", QStringLiteral("An undo is running. Stop it?"),
             QStringLiteral("The undo was stopped.\n\n0 file(s) were renamed back; Undo Rename renames the rest back.")},
        };
        for (const auto& c : cases) {
            auto* list = new frmRename;
            list->show();
            list->AddFileString(Bytes(dir.path()) + std::string("\0a.jpg", 6), AddSource::kAddFiles);
            list->List().CheckAll();
            list->List().rows()[0].newFileName = "1.jpg";
            Press(list, "cmdSetting");
            list->RuleEditor()->findChild<QCheckBox*>(QStringLiteral("chkDate"))->click();
            list->RuleEditor()->findChild<QComboBox*>(QStringLiteral("cboDateFrom"))->setCurrentText(QStringLiteral("photo taken"));
            Press(c.button == std::string("cmdApply") ? static_cast<QWidget*>(list->RuleEditor()) : list, c.button);
            const qsizetype before = prompter.calls.size();
            list->close();
            QCOMPARE(prompter.calls.value(before).text, c.question);
            JobRunner::WaitForAll();
            QCOMPARE(prompter.calls.value(before + 1).text, c.told);
        }
        QVERIFY(QFile::exists(dir.filePath("a.jpg")) && QFile::exists(dir.filePath("3.jpg")));
        QVERIFY(HasRunToUndo(DefaultJournalFolder()));  // the undo stopped keeps its run
    }

    void fileDatesDisableTheStepAndAreReadOffTheInterfaceThread() {
        RecordingPrompter prompter;
        QTemporaryDir dir;
        Write(dir.filePath("p.jpg"), QByteArray::fromStdString(brindle::test::TinyJpeg("2019:07:14 09:30:00")));
        auto* list = new frmRename;
        list->show();
        list->AddFileString(Bytes(dir.path()) + std::string("\0p.jpg", 6), AddSource::kAddFiles);
        Press(list, "cmdSelectAll");
        Press(list, "cmdSetting");
        frmRename2* editor = list->RuleEditor();
        auto* from = editor->findChild<QComboBox*>(QStringLiteral("cboDateFrom"));
        auto* step = editor->findChild<QLineEdit*>(QStringLiteral("txtNum"));
        auto* mode = editor->findChild<QComboBox*>(QStringLiteral("cboMode"));
        QVERIFY(!from->isEnabled());
        editor->findChild<QCheckBox*>(QStringLiteral("chkDate"))->click();
        mode->setCurrentIndex(0);  // Increment
        QVERIFY(from->isEnabled() && step->isEnabled());
        from->setCurrentText(QStringLiteral("photo taken"));
        QVERIFY(!step->isEnabled() && !mode->isEnabled());
        Press(editor, "cmdApply");
        QVERIFY(!Button(editor, "cmdApply")->isEnabled());
        QTRY_COMPARE(LastMessage(prompter), QStringLiteral("Rule applied successfully."));
        QCOMPARE(Column(View(list), 1), QStringList{"p14072019.jpg"});
        from->setCurrentText(QStringLiteral("chosen"));
        QVERIFY(step->isEnabled() && mode->isEnabled());
    }

    void findReplaceCaseAndTagsInTheEditorAndItsPreview() {
        RecordingPrompter prompter;
        QTemporaryDir dir;
        // An ID3v2.3 tag with one title frame, "Blue / Green".
        const QByteArray title("\0Blue / Green", 13);
        QByteArray mp3("ID3\x03\x00\x00\x00\x00\x00", 10);
        mp3 += QByteArray("TIT2\x00\x00\x00", 7) + char(title.size()) + QByteArray(2, '\0') + title;
        mp3[9] = char(mp3.size() - 10);
        Write(dir.filePath("song.mp3"), mp3 + QByteArray(32, '\0'));
        Write(dir.filePath("other.txt"));
        auto* list = new frmRename;
        list->show();
        list->AddFileString(Bytes(dir.path()) + std::string("\0song.mp3\0other.txt", 20), AddSource::kAddFiles);
        Press(list, "cmdSetting");
        frmRename2* editor = list->RuleEditor();
        auto* preview = editor->findChild<QLineEdit*>(QStringLiteral("txtNewFileName"));
        auto* problem = editor->findChild<QLabel*>(QStringLiteral("lblFindProblem"));
        QCOMPARE(preview->text(), QStringLiteral("Original FileName.###"));  // nothing checked yet

        auto* find = editor->findChild<QLineEdit*>(QStringLiteral("txtFind"));
        editor->findChild<QCheckBox*>(QStringLiteral("chkRegex"))->click();
        find->setText(QStringLiteral("(e"));
        QVERIFY(problem->text().contains(QLatin1String("offset 2")));
        QCOMPARE(preview->text(), QStringLiteral("The pattern is not valid."));
        QVERIFY(!Button(editor, "cmdApply")->isEnabled());

        find->setText(QStringLiteral("(e+)"));
        editor->findChild<QLineEdit*>(QStringLiteral("txtReplace"))->setText(QStringLiteral("<$1>"));
        QVERIFY(problem->text().isEmpty() && Button(editor, "cmdApply")->isEnabled());
        editor->findChild<QCheckBox*>(QStringLiteral("chkPrefix"))->click();
        editor->findChild<QLineEdit*>(QStringLiteral("txtPrefix"))->setText(QStringLiteral("{title}"));
        editor->findChild<QComboBox*>(QStringLiteral("cboCase"))->setCurrentIndex(2);     // UPPER CASE
        editor->findChild<QComboBox*>(QStringLiteral("cboExtCase"))->setCurrentIndex(2);  // UPPER CASE
        QCOMPARE(preview->text(), QStringLiteral("{title}.###"));  // the rule alone, without a file
        Press(list, "cmdSelectAll");
        // The first checked row, read from its own tag, with every change applied.
        QCOMPARE(preview->text(), QStringLiteral("BLU<E> _ GR<EE>N.MP3"));

        Press(editor, "cmdApply");
        QVERIFY(!Button(editor, "cmdApply")->isEnabled());  // the tags are read off this thread
        QTRY_COMPARE(LastMessage(prompter), QStringLiteral("Rule applied successfully."));
        QCOMPARE(Column(View(list), 1), (QStringList{"BLU<E> _ GR<EE>N.MP3", ".TXT"}));
    }
};

}  // namespace brindle::app

QTEST_MAIN(brindle::app::RenameWindowsTest)
#include "rename_windows_test.moc"

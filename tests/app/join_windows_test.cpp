#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <csignal>

#include "checks/digest.h"
#include "format/checksums.h"
#include "join/frm_join.h"
#include "join/frm_join2.h"
#include "join/frm_simple_join.h"
#include "join/join_state.h"
#include "shell/frm_main.h"
#include "shell/job_runner.h"
#include "shell/paths.h"
#include "shell/startup.h"
#include "shell/stop_signals.h"
#include "shell/wizard_state.h"
#include "split/raw_split.h"
#include "split/split_engine.h"
#include "support/checksum_files.h"
#include "support/recording_prompter.h"
#include "support/sparse_group.h"
#include "support/window_helpers.h"

namespace brindle::app {
namespace {

using namespace test;

QByteArray Bytes(int n, int seed) {
    QByteArray bytes(n, '\0');
    for (int i = 0; i < n; ++i) {
        bytes[i] = static_cast<char>((i * 31 + seed * 7 + i / 251) & 0xff);
    }
    return bytes;
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Three pieces of `group` in `folder`, their headers naming movie.avi and the given split.
void SplitInThree(const QString& folder, const QString& group, const QByteArray& bytes,
                  std::int32_t groupId) {
    QTemporaryDir sourceDir;
    const QString source = sourceDir.filePath(QStringLiteral("movie.avi"));
    Write(source, bytes);
    QuietProgress progress;
    QVERIFY(
        SplitFile({source.toStdString(), folder.toStdString(), group.toStdString(),
                   static_cast<std::int32_t>((bytes.size() + 2) / 3), "qmf", "03/04/2025", groupId},
                  progress)
            .status.ok());
}

// Two 1 GiB pieces of holes under sound headers: a join long enough to be stopped mid-way.
void SparseGroup(const QString& folder) {
    QVERIFY(brindle::test::WriteSparseGroup(folder.toStdString(), 1 << 30));
}

QString Label5(QWidget* page, int index) {
    return page->findChild<QLabel*>(QStringLiteral("Label5_%1").arg(index))->text();
}

QToolButton* Browse(QWidget* window) {
    return window->findChild<QToolButton*>(QStringLiteral("cmdBrowse"));
}

// A first join window, shown and browsed to `folder`; it lists the folder off its thread.
frmJoin* BrowsedTo(RecordingPrompter& prompter, const QString& folder) {
    auto* page = new frmJoin;
    page->show();
    prompter.paths = {folder};
    Browse(page)->click();
    return page;
}

QStringList Texts(const QList<RecordingPrompter::Call>& calls) {
    QStringList texts;
    for (const auto& call : calls) {
        texts.append(call.text);
    }
    return texts;
}

void ClickItem(QTreeWidget* list, const QString& text) {
    const QList<QTreeWidgetItem*> found = list->findItems(text, Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(found[0]).center());
}

template <typename Window>
Window* OnlyWindow() {
    const QList<QWidget*> open = OpenWindows();
    return open.size() == 1 ? qobject_cast<Window*>(open[0]) : nullptr;
}

// Five pieces of `bytes` in `folder` with recovery data of `percent`: g(1).qmf... or, numbered,
// movie.avi.001...
QStringList SplitInFive(const QString& folder, const QByteArray& bytes, int percent, bool numbered) {
    const QString source = folder + QStringLiteral("/source.bin");
    Write(source, bytes);
    QuietProgress progress;
    const std::int32_t size = static_cast<std::int32_t>((bytes.size() + 4) / 5);
    const SplitResult result =
        numbered ? SplitRaw({source.toStdString(), folder.toStdString(), "movie.avi", size, false, percent}, progress)
                 : SplitFile({source.toStdString(), folder.toStdString(), "g", size, "qmf", "03/04/2025", 7, false,
                              true, true, percent},
                             progress);
    QFile::remove(source);
    QStringList pieces;
    for (const std::string& piece : result.pieces) {
        pieces.append(QString::fromStdString(piece));
    }
    return pieces;
}

JobValuesPtr WithJoin(JoinState join) {
    auto values = std::make_shared<JobValues>();
    values->join = std::move(join);
    return values;
}

}  // namespace

class JoinWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        JobRunner::WaitForAll();
        CloseAllWindows();
    }

    // Browsing lists the groups; a click shows the first piece's header and allows Next.
    void groupsAreListedAndTheFirstPieceDescribed() {
        QTemporaryDir dir;
        SplitInThree(dir.path(), QStringLiteral("a"), Bytes(3000, 1), 7);
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("a(3).qmf003"))));
        Write(dir.filePath(QStringLiteral("b(2).qmf002")), Bytes(400, 2));
        Write(dir.filePath(QStringLiteral("c.txt")), "text");
        RecordingPrompter prompter;
        auto* page = BrowsedTo(prompter, dir.path());
        QVERIFY(page->IsListing());  // the folder is read off the window's thread
        QTRY_VERIFY(!page->IsListing());
        QCOMPARE(prompter.calls[0].text, QStringLiteral("Please Select a Folder"));
        QCOMPARE(page->group->topLevelItemCount(), 2);
        QCOMPARE(page->group->topLevelItem(0)->text(0), QStringLiteral("a"));
        QCOMPARE(page->group->topLevelItem(1)->text(0), QStringLiteral("b"));
        QVERIFY(!page->cmdNext->isEnabled());

        ClickItem(page->group, QStringLiteral("a"));
        QCOMPARE(Label5(page, 0), QStringLiteral("movie.avi"));
        QCOMPARE(Label5(page, 1), QString::fromStdString(FormatSize(3000)));
        QCOMPARE(Label5(page, 2), QStringLiteral("03/04/2025"));
        QCOMPARE(page->Values().join.JoinGroupName, std::string("a"));
        QVERIFY(page->cmdNext->isEnabled());

        // b has no first piece: nothing to describe, and Next cannot be used.
        ClickItem(page->group, QStringLiteral("b"));
        QCOMPARE(Label5(page, 0), QString());
        QVERIFY(!page->cmdNext->isEnabled());

        // A folder without pieces offers the placeholder, which changes nothing.
        ClickItem(page->group, QStringLiteral("a"));
        QTemporaryDir empty;
        prompter.paths = {empty.path()};
        Browse(page)->click();
        QTRY_VERIFY(!page->IsListing());
        ClickItem(page->group, QStringLiteral("No File Group Available"));
        QCOMPARE(Label5(page, 0), QStringLiteral("movie.avi"));
        QCOMPARE(page->Values().join.JoinGroupName, std::string("a"));
        QVERIFY(page->cmdNext->isEnabled());
    }

    // A piece dropped anywhere on the page, its text box too, lists its folder with its group
    // chosen; anything but a piece is refused without a word.
    void aDroppedPieceChoosesItsGroup() {
        QTemporaryDir dir;
        SplitInThree(dir.path(), QStringLiteral("a"), Bytes(900, 1), 7);
        SplitInThree(dir.path(), QStringLiteral("b"), Bytes(900, 2), 8);
        Write(dir.filePath(QStringLiteral("c.txt")), "text");
        RecordingPrompter prompter;
        auto* page = new frmJoin;
        page->show();
        QVERIFY(!test::DropUrls(page, {test::FileUrl(dir.filePath(QStringLiteral("c.txt")))}));
        QVERIFY(!test::DropUrls(page->txtPath, {test::FileUrl(dir.path())}));
        QVERIFY(page->txtPath->text().isEmpty());
        QVERIFY(test::DropUrls(page->txtPath, {test::FileUrl(dir.filePath(QStringLiteral("b(3).qmf003")))}));
        QCOMPARE(page->txtPath->text(), dir.path());
        QTRY_VERIFY(!page->IsListing());
        QCOMPARE(page->group->topLevelItemCount(), 2);
        QCOMPARE(page->group->currentItem()->text(0), QStringLiteral("b"));
        QCOMPARE(Label5(page, 0), QStringLiteral("movie.avi"));
        QCOMPARE(page->Values().join.JoinGroupName, std::string("b"));
        QCOMPARE(page->Values().join.JoinFolder, dir.path().toStdString());
        QVERIFY(page->cmdNext->isEnabled());
        QVERIFY(prompter.calls.isEmpty());
    }

    void nextAndPreviousKeepTheListAndTheTarget() {
        QTemporaryDir dir;
        SplitInThree(dir.path(), QStringLiteral("x|y"), Bytes(900, 3), 9);
        SplitInThree(dir.path(), QStringLiteral("z"), Bytes(900, 4), 10);
        RecordingPrompter prompter;
        auto* page1 = BrowsedTo(prompter, dir.path());
        QTRY_VERIFY(!page1->IsListing());
        ClickItem(page1->group, QStringLiteral("x|y"));
        page1->cmdNext->click();
        auto* page2 = OnlyWindow<frmJoin2>();
        QVERIFY(page2 != nullptr);
        page2->txtTarget->setText(QStringLiteral("/somewhere/x.bin"));
        page2->findChild<QPushButton*>(QStringLiteral("cmdPrevious"))->click();

        page1 = OnlyWindow<frmJoin>();
        QVERIFY(page1 != nullptr);
        QCOMPARE(page1->txtPath->text(), dir.path());
        QCOMPARE(page1->group->topLevelItemCount(), 2);
        QCOMPARE(page1->group->topLevelItem(0)->text(0), QStringLiteral("x|y"));
        QVERIFY(page1->group->selectedItems().isEmpty());
        QCOMPARE(Label5(page1, 0), QString());
        QVERIFY(!page1->cmdNext->isEnabled());

        ClickItem(page1->group, QStringLiteral("z"));
        page1->cmdNext->click();
        page2 = OnlyWindow<frmJoin2>();
        QVERIFY(page2 != nullptr);
        QCOMPARE(page2->txtTarget->text(), QStringLiteral("/somewhere/x.bin"));
    }

    void theSecondPageMergesOrReportsWithoutLosingAFile() {
        QTemporaryDir dir;
        QTemporaryDir out;
        const QByteArray bytes = Bytes(5000, 5);
        SplitInThree(dir.path(), QStringLiteral("g"), bytes, 11);
        const JobValuesPtr values = WithJoin({dir.path().toStdString(), "g", "movie.avi"});
        RecordingPrompter prompter;
        auto* page = new frmJoin2(values);
        page->show();
        const QString target = out.filePath(QStringLiteral("movie.avi"));
        prompter.paths = {target};
        Browse(page)->click();
        QCOMPARE(page->txtTarget->text(), target);

        const auto merge = [&] {
            prompter.calls.clear();
            page->cmdJoin->click();
            QTRY_VERIFY(page->cmdJoin->isEnabled());
        };
        prompter.nextAnswer = RecordingPrompter::Answer::No;
        merge();
        QCOMPARE(Read(target), bytes);
        QCOMPARE(page->pb1->value(), 0);
        QCOMPARE(page->percent->text(), QStringLiteral("0"));
        const QString folder = out.path() + QLatin1Char('/');
        QCOMPARE(
            Texts(prompter.calls),
            QStringList({QStringLiteral("Merge successfully. Do you want to view the folder now?"),
                         QStringLiteral("File stored at '") + folder + QLatin1Char('\'')}));
        prompter.nextAnswer = RecordingPrompter::Answer::Yes;
        merge();
        QCOMPARE(prompter.calls.size(), 2);
        QCOMPARE(prompter.calls[1].kind + prompter.calls[1].text, "show folder" + folder);

        // Every failure below leaves the earlier file as it was.
        Write(target, "earlier");
        const QString third = dir.filePath(QStringLiteral("g(3).qmf003"));
        const QByteArray thirdBytes = Read(third);
        QVERIFY(QFile::remove(third));
        merge();
        QCOMPARE(Texts(prompter.calls), QStringList({QStringLiteral("File Missing.")}));

        // A piece of another split is reported once, as is an empty target.
        QTemporaryDir other;
        SplitInThree(other.path(), QStringLiteral("g"), bytes, 12);
        QVERIFY(QFile::copy(other.filePath(QStringLiteral("g(3).qmf003")), third));
        merge();
        QCOMPARE(Texts(prompter.calls), QStringList({QStringLiteral("Fail to merge the files.")}));
        QCOMPARE(prompter.calls[0].title, QStringLiteral("Error"));
        // Under the fixed text, the reason the command gives too.
        QCOMPARE(prompter.calls[0].reason,
                 QStringLiteral("the piece comes from another split: ") + third);
        QVERIFY(QFile::remove(third));
        Write(third, thirdBytes);
        page->txtTarget->clear();
        merge();
        QCOMPARE(Texts(prompter.calls), QStringList({QStringLiteral("Fail to merge the files.")}));
        QCOMPARE(Read(target), QByteArray("earlier"));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);

        // A checksum file beside the pieces stops a piece with one flipped byte.
        page->txtTarget->setText(target);
        QVERIFY(brindle::test::WriteChecksumFile(dir.path().toStdString(), "g",
                                  {dir.filePath("g(1).qmf").toStdString(), dir.filePath("g(2).qmf002").toStdString(),
                                   third.toStdString()})
                    .ok());
        QByteArray flipped = thirdBytes;
        flipped[300] = static_cast<char>(flipped[300] ^ 1);
        Write(third, flipped);
        merge();
        QCOMPARE(Texts(prompter.calls), QStringList({QStringLiteral("Fail to merge the files.")}));
        QCOMPARE(Read(target), QByteArray("earlier"));
        Write(third, thirdBytes);
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("g.sha256"))));

        // A bare name lands beside the pieces, not in the program's working folder.
        page->txtTarget->setText(QStringLiteral("joined.avi"));
        merge();
        QCOMPARE(Read(dir.filePath(QStringLiteral("joined.avi"))), bytes);
    }

    // Cancel (or Escape) stops a join in either window: no output, the file that was there
    // kept, the window open and ready to merge again.
    void cancelStopsAJoinAndLeavesNothing() {
        QTemporaryDir dir;
        QTemporaryDir out;
        SparseGroup(dir.path());
        const JobValuesPtr values = WithJoin({dir.path().toStdString(), "big", "big.bin"});
        const QString target = out.filePath(QStringLiteral("big.bin"));
        Write(target, "earlier");
        RecordingPrompter prompter;
        auto* page = new frmJoin2(values);
        page->show();
        page->txtTarget->setText(target);
        auto* cancel = page->findChild<QPushButton*>(QStringLiteral("cmdCancel"));
        QVERIFY(!cancel->isEnabled());
        page->cmdJoin->click();
        QTRY_VERIFY(cancel->isEnabled());  // once the pieces are found and the job runs
        cancel->click();
        // After the question about replacing the typed target (answered Yes).
        QTRY_COMPARE(Texts(prompter.calls).value(prompter.calls.size() - 1), QStringLiteral("The join was cancelled."));
        QCOMPARE(prompter.calls.size(), 2);
        QVERIFY(page->isVisible() && page->cmdJoin->isEnabled());
        QCOMPARE(page->pb1->value(), 0);
        QCOMPARE(Read(target), QByteArray("earlier"));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"big.bin"});
        page->close();

        QVERIFY(QFile::remove(target));
        prompter.calls.clear();
        auto* quick = new frmSimpleJoin(values);
        quick->show();
        quick->txtPath->setText(target);
        quick->cmdJoin->click();
        QTRY_VERIFY(quick->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->isEnabled());
        QTest::keyClick(quick, Qt::Key_Escape);
        QTRY_COMPARE(Texts(prompter.calls), QStringList{QStringLiteral("The join was cancelled.")});
        QVERIFY(quick->isVisible() && quick->cmdJoin->isEnabled());
        QVERIFY(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    // A typed target that exists is asked about, as the quick join asks; a path the save
    // dialog confirmed is not asked about again.
    void theWizardAsksBeforeATypedTargetReplacesAFile() {
        QTemporaryDir dir;
        const QByteArray bytes = Bytes(3000, 7);
        SplitInThree(dir.path(), QStringLiteral("g"), bytes, 14);
        const JobValuesPtr values = WithJoin({dir.path().toStdString(), "g", "movie.avi"});
        const QString mine = dir.filePath(QStringLiteral("mine.avi"));
        Write(mine, "mine");
        RecordingPrompter prompter;
        auto* page = new frmJoin2(values);
        page->show();
        page->txtTarget->setText(QStringLiteral("mine.avi"));
        prompter.nextAnswer = RecordingPrompter::Answer::No;
        page->cmdJoin->click();
        QTRY_COMPARE(prompter.calls.size(), 1);
        QVERIFY(prompter.calls[0].text.contains(mine));
        QCOMPARE(prompter.calls[0].buttons, Prompter::Buttons::YesNoDefaultNo);
        QVERIFY(page->cmdJoin->isEnabled());
        QCOMPARE(JobRunner::RunningJobs(), 0);
        QCOMPARE(Read(mine), QByteArray("mine"));

        prompter.nextAnswer = RecordingPrompter::Answer::Yes;
        page->cmdJoin->click();
        QTRY_VERIFY(page->cmdJoin->isEnabled());
        QCOMPARE(Read(mine), bytes);

        prompter.calls.clear();
        prompter.paths = {mine};
        Browse(page)->click();
        page->cmdJoin->click();
        QTRY_VERIFY(page->cmdJoin->isEnabled());
        QCOMPARE(prompter.calls[1].text,
                 QStringLiteral("Merge successfully. Do you want to view the folder now?"));
    }

    void theQuickJoinProposesAsksAndEndsTheProgram() {
        QTemporaryDir dir;
        const QByteArray bytes = Bytes(4000, 6);
        SplitInThree(dir.path(), QStringLiteral("movie"), bytes, 13);
        const JobValuesPtr values = WithJoin({dir.path().toStdString(), "movie", ""});
        RecordingPrompter prompter;
        const QString proposed = dir.filePath(QStringLiteral("movie.avi"));
        const auto open = [values] {
            auto* window = new frmSimpleJoin(values);
            window->show();
            return window;
        };
        frmSimpleJoin* window = open();
        QCOMPARE(window->txtPath->text(), proposed);
        QCOMPARE(window->Label2->text(), QStringLiteral("0"));
        QSignalSpy ending(window, &frmSimpleJoin::programEnding);
        window->cmdJoin->click();
        QVERIFY(ending.wait(5000));
        QCOMPARE(Read(proposed), bytes);
        QVERIFY(prompter.calls.isEmpty());
        QVERIFY(OpenWindows().isEmpty());

        // The proposed file exists now: No keeps it and the window, Yes replaces it.
        Write(proposed, "mine");
        window = open();
        QSignalSpy ending2(window, &frmSimpleJoin::programEnding);
        prompter.nextAnswer = RecordingPrompter::Answer::No;
        window->cmdJoin->click();
        QTRY_COMPARE(prompter.calls.size(), 1);
        QVERIFY(prompter.calls[0].text.contains(proposed));
        QCOMPARE(prompter.calls[0].buttons, Prompter::Buttons::YesNoDefaultNo);
        QVERIFY(window->cmdJoin->isEnabled());
        QCOMPARE(ending2.count(), 0);
        QCOMPARE(Read(proposed), QByteArray("mine"));
        prompter.nextAnswer = RecordingPrompter::Answer::Yes;
        window->cmdJoin->click();
        QVERIFY(ending2.wait(5000));
        QCOMPARE(Read(proposed), bytes);

        // Without a readable first piece the group's name is proposed; Join fails once,
        // writes nothing and ends the program.
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("movie(1).qmf"))));
        QVERIFY(QFile::remove(proposed));
        window = open();
        QCOMPARE(window->txtPath->text(), dir.filePath(QStringLiteral("movie")));
        QSignalSpy ending3(window, &frmSimpleJoin::programEnding);
        prompter.calls.clear();
        window->cmdJoin->click();
        QTRY_COMPARE(ending3.count(), 1);
        QCOMPARE(Texts(prompter.calls), QStringList({QStringLiteral("Fail to merge the files.")}));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    // A piece whose data no longer matches its header's hash: the quick join refuses, names
    // the piece under the fixed text, and writes nothing.
    void theQuickJoinRefusesADamagedPieceAndNamesIt() {
        QTemporaryDir dir;
        SplitInThree(dir.path(), QStringLiteral("movie"), Bytes(3000, 4), 14);
        const QString second = dir.filePath(QStringLiteral("movie(2).qmf002"));
        QByteArray damaged = Read(second);
        damaged[700] = static_cast<char>(damaged[700] ^ 1);
        Write(second, damaged);
        const JobValuesPtr values = WithJoin({dir.path().toStdString(), "movie", ""});
        RecordingPrompter prompter;
        auto* window = new frmSimpleJoin(values);
        window->show();
        QSignalSpy ending(window, &frmSimpleJoin::programEnding);
        window->cmdJoin->click();
        QVERIFY(ending.wait(5000));
        QCOMPARE(Texts(prompter.calls), QStringList({QStringLiteral("Fail to merge the files.")}));
        QCOMPARE(prompter.calls[0].reason,
                 QStringLiteral("movie(2).qmf002: damaged (its data does not match its header's hash)"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
    }

    // A numbered piece named on the command line opens the quick join of its whole group,
    // destination NAME beside the pieces; an .sfv beside them is honoured.
    void theQuickJoinOfANumberedPiece() {
        QTemporaryDir dir;
        const QByteArray bytes = Bytes(2500, 8);
        QString sfv = QStringLiteral("; crc\n");
        for (int i = 0; i < 3; ++i) {
            const QString name = QStringLiteral("clip.mkv.00%1").arg(i + 1);
            const QByteArray piece = bytes.mid(i * 1000, 1000);
            Write(dir.filePath(name), piece);
            Digest crc(DigestKind::kCrc32);
            crc.Update(piece.data(), static_cast<std::size_t>(piece.size()));
            sfv += name + QLatin1Char(' ') + QString::fromStdString(crc.HexDigest()) + QLatin1Char('\n');
        }
        Write(dir.filePath(QStringLiteral("clip.sfv")), sfv.toUtf8());
        RecordingPrompter prompter;
        const QString joined = dir.filePath(QStringLiteral("clip.mkv"));
        const auto open = [&] {
            (new frmMain)->Load({dir.filePath(QStringLiteral("clip.mkv.002")).toStdString()}, "/");
            auto* window = OnlyWindow<frmSimpleJoin>();
            return window;
        };
        frmSimpleJoin* window = open();
        QVERIFY(window != nullptr);
        QCOMPARE(window->txtPath->text(), joined);
        QSignalSpy ending(window, &frmSimpleJoin::programEnding);
        window->cmdJoin->click();
        QVERIFY(ending.wait(5000));
        QCOMPARE(Read(joined), bytes);
        QVERIFY(prompter.calls.isEmpty());

        // A flipped byte in a piece the .sfv lists: one failure, nothing written.
        QVERIFY(QFile::remove(joined));
        QByteArray second = bytes.mid(1000, 1000);
        second[10] = static_cast<char>(second[10] ^ 1);
        Write(dir.filePath(QStringLiteral("clip.mkv.002")), second);
        window = open();
        QSignalSpy ending2(window, &frmSimpleJoin::programEnding);
        window->cmdJoin->click();
        QVERIFY(ending2.wait(5000));
        QCOMPARE(Texts(prompter.calls), QStringList({QStringLiteral("Fail to merge the files.")}));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);
    }

    // The wizard lists a numbered group beside the program's own, by its first piece.
    void theWizardListsAndMergesANumberedGroup() {
        QTemporaryDir dir;
        const QByteArray bytes = Bytes(3000, 9);
        SplitInThree(dir.path(), QStringLiteral("a"), Bytes(3000, 1), 7);
        Write(dir.filePath(QStringLiteral("b.zip.001")), bytes.left(2000));
        Write(dir.filePath(QStringLiteral("b.zip.002")), bytes.mid(2000));
        RecordingPrompter prompter;
        auto* page = BrowsedTo(prompter, dir.path());
        QTRY_VERIFY(!page->IsListing());
        QCOMPARE(page->group->topLevelItemCount(), 2);
        ClickItem(page->group, QStringLiteral("b.zip.001"));
        QCOMPARE(Label5(page, 0), QStringLiteral("b.zip"));
        QCOMPARE(Label5(page, 1), QStringLiteral("2.93 KB, 2 pieces"));
        QVERIFY(!Label5(page, 2).isEmpty());
        QVERIFY(page->Values().join.JoinNumbered);
        page->cmdNext->click();
        auto* page2 = OnlyWindow<frmJoin2>();
        QVERIFY(page2 != nullptr);
        page2->txtTarget->setText(QStringLiteral("b.zip"));
        prompter.nextAnswer = RecordingPrompter::Answer::No;
        page2->cmdJoin->click();
        QTRY_VERIFY(page2->cmdJoin->isEnabled());
        QCOMPARE(Read(dir.filePath(QStringLiteral("b.zip"))), bytes);
    }
    // A piece dropped while a large folder is still listed: the newer listing wins, however
    // the two end.
    void aNewerListingSupersedesAnOlderOne() {
        QTemporaryDir many;
        for (int i = 0; i < 2500; ++i) {
            Write(many.filePath(QStringLiteral("g%1(1).qmf").arg(i)), {});
        }
        QTemporaryDir dir;
        SplitInThree(dir.path(), QStringLiteral("b"), Bytes(900, 1), 7);
        auto* page = new frmJoin;
        page->show();
        QSignalSpy filled(page, &frmJoin::listFilled);
        page->ShowGroupOf(many.filePath(QStringLiteral("g0(1).qmf")).toStdString());
        page->ShowGroupOf(dir.filePath(QStringLiteral("b(2).qmf002")).toStdString());
        QTRY_VERIFY(!page->IsListing());
        QThreadPool::globalInstance()->waitForDone();
        QTest::qWait(200);  // room for what is left of the older listing to land
        QCOMPARE(filled.size(), 1);
        QCOMPARE(page->group->topLevelItemCount(), 1);
        QCOMPARE(page->group->currentItem()->text(0), QStringLiteral("b"));
        QCOMPARE(page->Values().join.JoinGroupName, std::string("b"));
        QCOMPARE(page->txtPath->text(), dir.path());
    }

    // SIGTERM, as at log-out, mid-join: the join stops and takes its temporary back, the
    // instance lock and socket go, and the program ends with 143.
    void aStopSignalEndsTheProgramLeavingNothing() {
        QTemporaryDir settings;
        QTemporaryDir runtime;
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, settings.path());
        qputenv("BRINDLE_RUNTIME_DIR", runtime.path().toLocal8Bit());
        const auto instanceFiles = [&runtime] {
            return QDir(runtime.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
        };
        QTemporaryDir dir;
        QTemporaryDir out;
        SparseGroup(dir.path());
        const JobValuesPtr values = WithJoin({dir.path().toStdString(), "big", "big.bin"});
        RecordingPrompter prompter;
        QVERIFY(StartUp({}, "/"));
        QCOMPARE(instanceFiles().size(), 2);
        auto* page = new frmJoin2(values);
        page->show();
        page->txtTarget->setText(out.filePath(QStringLiteral("big.bin")));
        page->cmdJoin->click();
        QTRY_VERIFY(!QDir(out.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());

        int exitCode = 0;
        SetStopExit([&exitCode](int code) { exitCode = code; });
        EndOnStopSignals();
        std::raise(SIGTERM);
        QTRY_COMPARE(exitCode, 143);
        QCOMPARE(JobRunner::RunningJobs(), 0);
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(instanceFiles(), QStringList());
        // Only here, where the process lives on, does the window hear of it.
        QTRY_COMPARE(Texts(prompter.calls), QStringList{QStringLiteral("The join was cancelled.")});
        SetStopExit([](int) {});
        qunsetenv("BRINDLE_RUNTIME_DIR");
    }

    void theQuickJoinRebuildsAMissingAndADamagedPiece_data() {
        QTest::addColumn<bool>("numbered");
        QTest::newRow("own pieces") << false;
        QTest::newRow("numbered pieces") << true;
    }

    // Asked once; rebuilt beside the pieces and joined byte for byte, the pieces left as they were.
    void theQuickJoinRebuildsAMissingAndADamagedPiece() {
        QFETCH(bool, numbered);
        QTemporaryDir dir;
        const QByteArray bytes = Bytes(50000, 3);
        const QStringList pieces = SplitInFive(dir.path(), bytes, 50, numbered);
        QVERIFY(QFile::remove(pieces.value(1)));
        const QString fourth = pieces.value(3);
        QByteArray damaged = Read(fourth);
        damaged[3000] = static_cast<char>(damaged[3000] ^ 0x40);
        Write(fourth, damaged);
        const QStringList before = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        const JobValuesPtr values = WithJoin({dir.path().toStdString(), numbered ? "movie.avi" : "g", "", numbered});
        RecordingPrompter prompter;
        auto* window = new frmSimpleJoin(values);
        window->show();
        window->txtPath->setText(dir.filePath(QStringLiteral("joined")));
        QSignalSpy ending(window, &frmSimpleJoin::programEnding);
        window->cmdJoin->click();
        QVERIFY(ending.wait(30000));
        QCOMPARE(Texts(prompter.calls),
                 QStringList{QStringLiteral("2 pieces are missing or damaged. Rebuild them from the recovery files?")});
        QCOMPARE(prompter.calls[0].buttons, Prompter::Buttons::YesNo);
        QCOMPARE(Read(dir.filePath(QStringLiteral("joined"))), bytes);
        QCOMPARE(Read(fourth), damaged);
        QStringList after = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        after.removeOne(QStringLiteral("joined"));
        QCOMPARE(after, before);
    }

    // A lost first piece that recovery files can rebuild does not stop the wizard: the group
    // is told from a later piece and Next leads on; the quick join proposes the stored name
    // and joins byte for byte.
    void aLostFirstPieceIsToldFromALaterOne() {
        QTemporaryDir dir;
        QTemporaryDir out;
        const QByteArray bytes = Bytes(50000, 5);
        QVERIFY(QFile::remove(SplitInFive(dir.path(), bytes, 30, false).value(0)));
        RecordingPrompter prompter;
        auto* page = BrowsedTo(prompter, dir.path());
        QTRY_VERIFY(!page->IsListing());
        ClickItem(page->group, QStringLiteral("g"));
        QCOMPARE(Label5(page, 0), QStringLiteral("source.bin"));
        QCOMPARE(Label5(page, 2), QStringLiteral("03/04/2025"));
        QVERIFY(page->cmdNext->isEnabled());
        const JobValuesPtr values = page->ValuesToHandOn();
        CloseAllWindows();

        auto* quick = new frmSimpleJoin(values);
        quick->show();
        QCOMPARE(quick->txtPath->text(), dir.filePath(QStringLiteral("source.bin")));
        quick->txtPath->setText(out.filePath(QStringLiteral("joined")));
        QSignalSpy ending(quick, &frmSimpleJoin::programEnding);
        quick->cmdJoin->click();
        QVERIFY(ending.wait(30000));
        QCOMPARE(Read(out.filePath(QStringLiteral("joined"))), bytes);
    }

    // No question with nothing wrong; too little recovery data: refused, naming the pieces
    // lost and how much is missing; a damaged piece the join finds (nothing written) is rebuilt after one question.
    void theWizardRebuildsOnlyWhatTheRecoveryFilesCan() {
        QTemporaryDir dir;
        QTemporaryDir out;
        const QByteArray bytes = Bytes(50000, 4);
        const QStringList pieces = SplitInFive(dir.path(), bytes, 30, false);
        const JobValuesPtr values = WithJoin({dir.path().toStdString(), "g", "movie.avi"});
        RecordingPrompter prompter;
        prompter.nextAnswer = RecordingPrompter::Answer::No;
        auto* page = new frmJoin2(values);
        page->show();
        const QString target = out.filePath(QStringLiteral("movie.avi"));
        page->txtTarget->setText(target);
        const auto merge = [&] {
            prompter.calls.clear();
            page->cmdJoin->click();
            QTRY_VERIFY_WITH_TIMEOUT(page->cmdJoin->isEnabled(), 30000);
        };
        merge();
        QCOMPARE(Texts(prompter.calls).value(0), QStringLiteral("Merge successfully. Do you want to view the folder now?"));
        QVERIFY(QFile::remove(target));

        QVERIFY(QFile::remove(pieces.value(0)));
        QVERIFY(QFile::remove(pieces.value(4)));
        merge();
        QCOMPARE(Texts(prompter.calls), QStringList{QStringLiteral("Fail to merge the files.")});
        QCOMPARE(prompter.calls[0].reason,
                 QStringLiteral("The recovery files cannot rebuild g(1).qmf, g(5).qmf005: 4 blocks of recovery "
                                "data are missing (5.02 KB)."));
        QCOMPARE(page->pb1->value(), 0);
        QVERIFY(QDir(out.path()).isEmpty(QDir::Files | QDir::Hidden));

        const QString third = SplitInFive(dir.path(), bytes, 30, false).value(2);
        Write(third, Read(third).replace(700, 1, "?"));
        prompter.nextAnswer = RecordingPrompter::Answer::Yes;
        merge();
        QCOMPARE(Texts(prompter.calls).mid(0, 2),
                 QStringList({QStringLiteral("1 piece is missing or damaged. Rebuild it from the recovery files?"),
                              QStringLiteral("Merge successfully. Do you want to view the folder now?")}));
        QCOMPARE(Read(target), bytes);
    }
};

}  // namespace brindle::app

QTEST_MAIN(brindle::app::JoinWindowsTest)
#include "join_windows_test.moc"

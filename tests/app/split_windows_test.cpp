#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <functional>

#include "join/join_controls.h"
#include "recovery/recovery.h"
#include "shell/job_runner.h"
#include "shell/paths.h"
#include "shell/prompter.h"
#include "shell/wizard_state.h"
#include "split/frm_simple.h"
#include "split/frm_split.h"
#include "split/frm_split2.h"
#include "split/frm_split3.h"
#include "split/split_choice.h"
#include "split/split_engine.h"
#include "split/split_pages.h"
#include "split/split_planning.h"
#include "split/split_state.h"
#include "support/recording_prompter.h"
#include "support/window_helpers.h"

namespace brindle::app {
namespace {

using namespace test;
constexpr int kJobWait = 30000;

template <typename T>
T* Get(QWidget* window, const QString& name) {
    T* child = window->findChild<T*>(name);
    if (child == nullptr) {
        qFatal("no control %s", qPrintable(name));
    }
    return child;
}
QLineEdit* Box(QWidget* w, const char* name) { return Get<QLineEdit>(w, QLatin1String(name)); }
QPushButton* Button(QWidget* w, const char* name) { return Get<QPushButton>(w, QLatin1String(name)); }
QRadioButton* Option(QWidget* w, int i) {
    return Get<QRadioButton>(w, QStringLiteral("optSolution_%1").arg(i));
}

QString MakeFile(const QString& path, qint64 size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qFatal("cannot create %s", qPrintable(path));
    }
    QByteArray bytes(static_cast<int>(size), Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i) {
        bytes[static_cast<int>(i)] = static_cast<char>((i * 131 + i / 997) & 0xff);
    }
    file.write(bytes);
    return path;
}

// A 512 MiB file of holes, recorded as the split's source in 1 MiB pieces beside it: long
// enough to be stopped mid-way, quick to make.
QString SparseSource(const QTemporaryDir& dir, const char* name, SplitState& state) {
    const QString source = dir.filePath(QLatin1String(name));
    QFile file(source);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(512) << 20)) {
        qFatal("cannot create %s", qPrintable(source));
    }
    state.SplitSourcePath = source.toStdString();
    state.SplitDestFolder = dir.path().toStdString();
    state.SplitGroupName = "big";
    state.SplitBySize = true;
    state.SplitPieceSize = 1 << 20;
    return source;
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The only window open, of the expected kind.
template <typename Window>
Window* Only() {
    const QList<QWidget*> open = OpenWindows();
    return open.size() == 1 ? qobject_cast<Window*>(open.front()) : nullptr;
}

// Pieces equal the engine's own for the same split, but for the group id and the date.
void ComparePiecesWithEngine(const QString& folder, const QString& group, const QString& source,
                             std::int32_t pieceSize, int count) {
    QTemporaryDir engineDir;
    SplitParams params;
    params.sourcePath = source.toStdString();
    params.destFolder = engineDir.path().toStdString();
    params.groupName = group.toStdString();
    params.pieceSize = pieceSize;
    QuietProgress progress;
    QVERIFY(SplitFile(params, progress).status.ok());
    QCOMPARE(QDir(folder).entryList({group + QStringLiteral("(*")}, QDir::Files).size(), count);
    QCOMPARE(QDir(engineDir.path()).entryList(QDir::Files).size(), count);
    const QByteArray firstId = Read(folder + "/" + group + "(1).qmf").left(4);
    for (int k = 1; k <= count; ++k) {
        const QString name = k == 1 ? group + QStringLiteral("(1).qmf")
                                    : group + QStringLiteral("(%1).qmf%2").arg(k).arg(k, 3, 10, QLatin1Char('0'));
        QByteArray mine = Read(folder + "/" + name);
        QByteArray engine = Read(engineDir.path() + "/" + name);
        QCOMPARE(mine.left(4), firstId);
        QCOMPARE(mine.size(), engine.size());
        // The GroupId, the date and the data hash that covers them differ.
        const auto common = [](QByteArray& piece) {
            piece.replace(120, 36, QByteArray(36, ' ')).replace(0, 4, QByteArray(4, 0));
            piece.replace(qsizetype(kDataHashOffset), qsizetype(kDataHashWidth), QByteArray(kDataHashWidth, 0));
        };
        common(mine);
        common(engine);
        QVERIFY2(mine == engine, qPrintable(name));
    }
}

// Answers the folder chooser after pressing the page's Next and Previous while it is open,
// as a screen reader can past a modal dialog; every other dialog is only recorded.
class PressingPrompter final : public Prompter {
public:
    PressingPrompter() { SetPrompter(this); }
    ~PressingPrompter() override { SetPrompter(nullptr); }
    PressingPrompter(const PressingPrompter&) = delete;
    PressingPrompter& operator=(const PressingPrompter&) = delete;

    QString answer;
    int messages = 0;
    int folders = 0;

    Answer Message(QWidget*, const QString&, const QString&, Icon, Buttons) override {
        ++messages;
        return Answer::No;
    }
    QString OpenFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString SaveFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString Folder(QWidget* parent, const QString&, const QString&) override {
        const DialogScope open(parent);
        if (++folders == 1) {
            for (const char* name : {"cmdNext", "cmdPrevious"}) {
                parent->findChild<QPushButton*>(QLatin1String(name))->click();
            }
        }
        return answer;
    }
    void ShowFolder(const QString&) override {}
};

}  // namespace

class SplitWindowsTest : public QObject {
    Q_OBJECT

private:
    // One window's values, as a main window starts them, for each test's windows.
    JobValuesPtr values_;

private slots:
    void init() {
        values_ = std::make_shared<JobValues>();
        values_->wizard.SetStartValues();
    }
    void cleanup() { CloseAllWindows(); }

    void optionsEnableFieldsAndMoveFocusOnlyInTheWizard() {
        auto* page = new frmSplit(values_);
        page->show();
        Option(page, 2)->click();
        QVERIFY(!Box(page, "txtNum")->isEnabled() && !Box(page, "txtSize")->isEnabled());
        QVERIFY(!Get<QComboBox>(page, QStringLiteral("cboType"))->isEnabled());
        Option(page, 1)->click();
        QVERIFY(!Box(page, "txtNum")->isEnabled() && Box(page, "txtSize")->isEnabled());
        QCOMPARE(page->focusWidget(), Box(page, "txtSize"));
        Option(page, 0)->click();
        QCOMPARE(page->focusWidget(), Box(page, "txtNum"));
        QCOMPARE(Box(page, "txtNum")->selectedText(), QStringLiteral("2"));

        auto* quick = new frmSimple(values_);
        quick->show();
        QCOMPARE(Get<QComboBox>(quick, QStringLiteral("cboType"))->currentIndex(), -1);
        QWidget* focus = quick->focusWidget();
        Option(quick, 2)->click();
        QVERIFY(Box(quick, "txtNum")->isEnabled() && Box(quick, "txtSize")->isEnabled());
        QCOMPARE(quick->focusWidget(), focus);
    }

    void presetFillsSizeAndUnitInBothWindows() {
        auto* page = new frmSplit(values_);
        auto* quick = new frmSimple(values_);
        for (QWidget* window : {static_cast<QWidget*>(page), static_cast<QWidget*>(quick)}) {
            window->show();
            auto* preset = Get<QComboBox>(window, QStringLiteral("cboPreset"));
            auto* unit = Get<QComboBox>(window, QStringLiteral("cboType"));
            QCOMPARE(preset->count(), 6);
            preset->setCurrentIndex(1);
            emit preset->activated(1);  // cd
            QCOMPARE(Box(window, "txtSize")->text(), QStringLiteral("700"));
            QCOMPARE(unit->currentText(), QStringLiteral("MB"));
            QVERIFY(Option(window, 1)->isChecked());
            emit preset->activated(3);  // mail-10: bytes, no unit
            QCOMPARE(Box(window, "txtSize")->text(), QStringLiteral("7000000"));
            QCOMPARE(unit->currentIndex(), -1);
        }
    }

    void pageOneRejectsAndFocusesItsField_data() {
        QTest::addColumn<QString>("path");  // "dir" for the temporary folder itself
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("focus");
        QTest::newRow("empty path") << "" << 0 << "2" << "File Not Selected" << "";
        QTest::newRow("folder, not a file") << "dir" << 0 << "2" << "File Not Selected" << "";
        QTest::newRow("missing file") << "dir/gone" << 0 << "2" << "File Not Selected" << "";
        QTest::newRow("one piece") << "file" << 0 << "1" << "Invalid number" << "txtNum";
        QTest::newRow("size above the file") << "file" << 1 << "2" << "Invalid size" << "txtSize";
    }

    void pageOneRejectsAndFocusesItsField() {
        QFETCH(QString, path);
        QFETCH(int, option);
        QFETCH(QString, number);
        QTemporaryDir dir;
        MakeFile(dir.filePath("film.avi"), 1000);
        path.replace(QStringLiteral("dir"), dir.path());
        if (path == QStringLiteral("file")) {
            path = dir.filePath("film.avi");
        }
        RecordingPrompter prompter;
        auto* page = new frmSplit(values_);
        page->show();
        Box(page, "txtPath")->setText(path);
        page->RefreshFileInfo();  // a path that names no file must not upset the refresh
        Option(page, option)->click();
        Box(page, "txtNum")->setText(number);
        Get<QComboBox>(page, QStringLiteral("cboType"))->setCurrentIndex(0);  // 1 KB > 1000 bytes
        Button(page, "cmdNext")->click();

        QFETCH(QString, title);
        QFETCH(QString, focus);
        QCOMPARE(Only<frmSplit>(), page);
        QCOMPARE(prompter.calls.at(0).title, title);
        if (focus.isEmpty()) {
            // No file: say so, then offer the file dialog at once.
            QCOMPARE(prompter.calls.at(0).text, QStringLiteral("Please select a file to split"));
            QCOMPARE(prompter.calls.at(0).icon, Prompter::Icon::Error);
            QCOMPARE(prompter.calls.size(), 2);
            QCOMPARE(prompter.calls.at(1).kind, QStringLiteral("open"));
            QVERIFY(Get<QLabel>(page, QStringLiteral("Label5_1"))->text().isEmpty());
        } else {
            QCOMPARE(page->focusWidget(), Box(page, qPrintable(focus)));
            QVERIFY(Box(page, qPrintable(focus))->hasSelectedText());
        }
    }

    // Each refusal of a split choice in its message box's title and icon, with the field that
    // holds the problem focused and selected.
    void rejectionsShowTheirTitleIconAndField() {
        struct Case {
            SplitProblem problem;
            const char* title;
            Prompter::Icon icon;
            const char* focus;  // "" for none
        };
        const Case cases[] = {
            {SplitProblem::kPieceCount, "Invalid number", Prompter::Icon::Error, "txtNum"},
            {SplitProblem::kEmptyFile, "No splitting required", Prompter::Icon::Information, "txtNum"},
            {SplitProblem::kPiecesOver2GB, "Invalid size", Prompter::Icon::Error, "txtNum"},
            {SplitProblem::kFileTooLarge, "File too large", Prompter::Icon::Error, ""},
            {SplitProblem::kSmallerThanFloppy, "No splitting required", Prompter::Icon::Information, ""},
            {SplitProblem::kTooLargeForFloppy, "Invalid size", Prompter::Icon::Error, ""},
            {SplitProblem::kSizeTooSmall, "Size Invalid", Prompter::Icon::Error, "txtSize"},
            {SplitProblem::kSizeOverFile, "Invalid size", Prompter::Icon::Error, "txtSize"},
        };
        for (const Case& c : cases) {
            RecordingPrompter prompter;
            auto* quick = new frmSimple(values_);
            quick->show();
            Button(quick, "cmdSplit")->setFocus();
            ShowRejection(quick, quick->Choice(), {c.problem, "why"});
            QCOMPARE(prompter.calls.size(), 1);
            QCOMPARE(prompter.calls.at(0).text, QStringLiteral("why"));
            QCOMPARE(prompter.calls.at(0).title, QLatin1String(c.title));
            QCOMPARE(prompter.calls.at(0).icon, c.icon);
            if (*c.focus == '\0') {
                QCOMPARE(quick->focusWidget(), Button(quick, "cmdSplit"));
            } else {
                QCOMPARE(quick->focusWidget(), Box(quick, c.focus));
                QVERIFY(Box(quick, c.focus)->hasSelectedText());
            }
            quick->close();
        }
    }

    // Back and forth through the wizard: page 1's choices and page 2's texts come back, the
    // summary is the planned one, and however often page 3 is shown the pieces keep the size
    // the user chose.
    void wizardRoundTripsThenSplits() {
        QTemporaryDir dir;
        const QString source = MakeFile(dir.filePath("archive.tar.gz"), 3'000'000);
        const QString out = dir.filePath("out");
        QDir().mkpath(out);
        RecordingPrompter prompter;
        prompter.paths = {out};
        prompter.nextAnswer = Prompter::Answer::No;

        auto* page1 = new frmSplit(values_);
        page1->show();
        Box(page1, "txtPath")->setText(source);
        Option(page1, 2)->click();
        Box(page1, "txtNum")->setText(QStringLiteral("7"));
        Get<QComboBox>(page1, QStringLiteral("cboType"))->setCurrentIndex(1);
        Button(page1, "cmdNext")->click();
        auto* page2 = Only<frmSplit2>();
        QVERIFY(page2 != nullptr);
        QCOMPARE(Box(page2, "txtGP")->text(), QStringLiteral("archive.tar"));

        Button(page2, "cmdPrevious")->click();
        page1 = Only<frmSplit>();
        QVERIFY(page1 != nullptr);
        QVERIFY(Option(page1, 2)->isChecked());
        QCOMPARE(Box(page1, "txtNum")->text(), QStringLiteral("7"));
        QCOMPARE(Get<QComboBox>(page1, QStringLiteral("cboType"))->currentIndex(), 1);
        QCOMPARE(Get<QLabel>(page1, QStringLiteral("Label5_0"))->text(),
                 QStringLiteral("archive.tar.gz"));

        Button(page1, "cmdNext")->click();
        page2 = Only<frmSplit2>();
        Button(page2, "cmdNext")->click();  // no destination yet: warn, pick, stay
        QCOMPARE(prompter.calls.at(0).text, QStringLiteral("Please select a destination."));
        QCOMPARE(prompter.calls.at(1).kind, QStringLiteral("folder"));
        QCOMPARE(Only<frmSplit2>(), page2);
        QCOMPARE(Box(page2, "txtPath")->text(), out);
        Box(page2, "txtGP")->setText(QStringLiteral("parts"));
        Button(page2, "cmdNext")->click();

        for (int visit = 0; visit < 3; ++visit) {
            auto* page3 = Only<frmSplit3>();
            QVERIFY(page3 != nullptr);
            SplitState planned = values_->split;
            ComputePieceDataSize(3'000'000, planned);
            QCOMPARE(Get<QLabel>(page3, QStringLiteral("lblinfo"))->text(),
                     QString::fromStdString(BuildSplitSummary(planned, 3'000'000)));
            QCOMPARE(page3->PieceDataSize(), 1'457'664 - 256);
            if (visit < 2) {
                Button(page3, "cmdPrevious")->click();
                page2 = Only<frmSplit2>();
                QCOMPARE(Box(page2, "txtGP")->text(), QStringLiteral("parts"));
                QCOMPARE(Box(page2, "txtPath")->text(), out);
                Button(page2, "cmdNext")->click();
            }
        }
        auto* page3 = Only<frmSplit3>();
        prompter.calls.clear();
        // The bar and its percentage are set back together, before the question.
        QString shownWhileAsked;
        prompter.whileAsked = [&] {
            shownWhileAsked = QString::number(Get<QProgressBar>(page3, QStringLiteral("progress1"))->value()) +
                              QStringLiteral(" ") + Get<QLabel>(page3, QStringLiteral("percent"))->text();
        };
        Button(page3, "cmdSplit")->click();
        QVERIFY(!Button(page3, "cmdSplit")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(prompter.calls.size(), 1, kJobWait);
        prompter.whileAsked = nullptr;
        QCOMPARE(shownWhileAsked, QStringLiteral("0 0"));
        QCOMPARE(prompter.calls.at(0).text,
                 QStringLiteral("Split Completed.Would you like to view the files?"));
        QCOMPARE(prompter.calls.at(0).title, QStringLiteral("Completed"));
        QVERIFY(Button(page3, "cmdSplit")->isEnabled());
        QCOMPARE(Get<QProgressBar>(page3, QStringLiteral("progress1"))->value(), 0);
        QCOMPARE(Get<QLabel>(page3, QStringLiteral("percent"))->text(), QStringLiteral("0"));
        QCOMPARE(QFileInfo(out + "/parts(1).qmf").size(), 1'457'664);
        QCOMPARE(QFileInfo(out + "/parts(2).qmf002").size(), 1'457'664);
        ComparePiecesWithEngine(out, QStringLiteral("parts"), source, 1'457'664 - 256, 3);

        // Yes opens the destination in the file manager.
        prompter.calls.clear();
        prompter.nextAnswer = Prompter::Answer::Yes;
        Button(page3, "cmdSplit")->click();
        QTRY_COMPARE_WITH_TIMEOUT(prompter.calls.size(), 2, kJobWait);
        QCOMPARE(prompter.calls.at(1).kind, QStringLiteral("show folder"));
        QCOMPARE(prompter.calls.at(1).text, out);
    }

    void failedSplitKeepsSplitDisabled() {
        QTemporaryDir dir;
        SplitState& state = values_->split;
        state.SplitSourcePath = MakeFile(dir.filePath("film.avi"), 5000).toStdString();
        state.SplitDestFolder = dir.filePath("missing").toStdString();
        state.SplitGroupName = "film";
        state.SplitPieceCount = 2;
        RecordingPrompter prompter;
        auto* page = new frmSplit3(values_);
        page->show();
        Button(page, "cmdSplit")->click();
        QTRY_COMPARE_WITH_TIMEOUT(prompter.calls.size(), 1, kJobWait);
        QCOMPARE(prompter.calls.at(0).text, QStringLiteral("Fail to split the file"));
        QCOMPARE(prompter.calls.at(0).title, QStringLiteral("Error"));
        QCOMPARE(prompter.calls.at(0).buttons, Prompter::Buttons::Ok);
        QVERIFY(!Button(page, "cmdSplit")->isEnabled());
        Button(page, "cmdPrevious")->click();
        QVERIFY(Only<frmSplit2>() != nullptr);
    }

    // Started with a file: no unit means bytes, the pieces go beside the source under its
    // name, and the window closes by itself.
    void quickSplitWritesBesideTheSourceAndCloses() {
        QTemporaryDir dir;
        const QString source = MakeFile(dir.filePath("film.avi"), 1'200'000);
        SplitState& state = values_->split;
        state.SplitSourcePath = source.toStdString();
        state.SplitDestFolder = (dir.path() + "/").toStdString();
        state.SplitGroupName = "film";
        RecordingPrompter prompter;
        QPointer<frmSimple> quick = new frmSimple(values_);
        quick->show();
        Option(quick, 1)->click();
        Box(quick, "txtSize")->setText(QStringLiteral("500000"));
        Button(quick, "cmdSplit")->click();
        QTRY_VERIFY_WITH_TIMEOUT(quick.isNull(), kJobWait);
        QVERIFY(prompter.calls.isEmpty());
        QCOMPARE(QFileInfo(dir.filePath("film(1).qmf")).size(), 500'000);
        QCOMPARE(QFileInfo(dir.filePath("film(3).qmf003")).size(), 1'200'000 - 2 * 499'744 + 256);
        ComparePiecesWithEngine(dir.path(), QStringLiteral("film"), source, 499'744, 3);
    }

    // Another file's pieces under the names: asked once, naming the folder and the group;
    // No writes nothing, Yes replaces the group and leaves none of its pieces behind.
    void aSplitAsksBeforeReplacingAnotherFilesPieces() {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/";
        SplitParams other;
        other.sourcePath = MakeFile(dir.filePath("other.avi"), 3000).toStdString();
        other.destFolder = folder.toStdString();
        other.groupName = "film";
        other.pieceSize = 1000;
        QuietProgress progress;
        QVERIFY(SplitFile(other, progress).status.ok());
        const QByteArray firstPiece = Read(dir.filePath("film(1).qmf"));
        SplitState& state = values_->split;
        state.SplitSourcePath = MakeFile(dir.filePath("film.avi"), 5000).toStdString();
        state.SplitDestFolder = folder.toStdString();
        state.SplitGroupName = "film";
        RecordingPrompter prompter;
        prompter.nextAnswer = Prompter::Answer::No;
        QPointer<frmSimple> quick = new frmSimple(values_);
        quick->show();
        Button(quick, "cmdSplit")->click();
        QCOMPARE(prompter.calls.size(), 1);
        QCOMPARE(prompter.calls.at(0).text,
                 "The folder '" + folder +
                     "' already holds film(1).qmf, piece 1 of 3 of other.avi.\nDo you want to replace it?");
        QCOMPARE(prompter.calls.at(0).buttons, Prompter::Buttons::YesNoDefaultNo);
        QVERIFY(Button(quick, "cmdSplit")->isEnabled());
        QCOMPARE(Read(dir.filePath("film(1).qmf")), firstPiece);

        prompter.nextAnswer = Prompter::Answer::Yes;
        Button(quick, "cmdSplit")->click();
        QTRY_VERIFY_WITH_TIMEOUT(quick.isNull(), kJobWait);
        QCOMPARE(QFileInfo(dir.filePath("film(1).qmf")).size(), 2500 + 256);
        QVERIFY(!QFileInfo::exists(dir.filePath("film(3).qmf003")));
    }


    // Closing the page mid-split asks first: No keeps the window and its job, Yes stops the
    // job as Cancel does. Coming back while it still takes back its pieces waits for that.
    void closingMidSplitAsksAndYesStopsIt() {
        QTemporaryDir dir;
        const QString source = SparseSource(dir, "big.bin", values_->split);
        RecordingPrompter prompter;
        QPointer<frmSplit3> page = new frmSplit3(values_);
        page->show();
        Button(page, "cmdSplit")->click();
        QVERIFY(JobRunner::RunningJobs() == 1);
        prompter.nextAnswer = Prompter::Answer::No;
        QVERIFY(!page->close());
        QCOMPARE(prompter.calls.size(), 1);
        QCOMPARE(prompter.calls.at(0).text, QStringLiteral("A split is running. Stop it?"));
        QVERIFY(page->isVisible() && page->Runner()->IsRunning());

        prompter.nextAnswer = Prompter::Answer::Yes;
        QVERIFY(page->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(page.isNull());
        auto* again = new frmSplit3(values_);
        again->show();
        if (JobRunner::RunningJobs() > 0) {
            QVERIFY(!Button(again, "cmdSplit")->isEnabled());
        }
        JobRunner::WaitForAll();
        QTRY_VERIFY(Button(again, "cmdSplit")->isEnabled());
        QCOMPARE(prompter.calls.size(), 2);  // nobody hears of the stopped job afterwards
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"big.bin"});
    }

    // Cancel (and Escape) stop a running split in either window: nothing of it is left, the
    // window says so and stays, ready for another split.
    void cancelStopsASplitAndLeavesNothing() {
        QTemporaryDir dir;
        SparseSource(dir, "big.bin", values_->split);
        RecordingPrompter prompter;
        auto* page = new frmSplit3(values_);
        page->show();
        Button(page, "cmdSplit")->click();
        QVERIFY(Button(page, "cmdCancel")->isEnabled());
        Button(page, "cmdCancel")->click();
        QTRY_COMPARE_WITH_TIMEOUT(prompter.calls.size(), 1, kJobWait);
        QCOMPARE(prompter.calls.at(0).text, QStringLiteral("The split was cancelled."));
        QVERIFY(page->isVisible() && Button(page, "cmdSplit")->isEnabled());
        QVERIFY(!Button(page, "cmdCancel")->isEnabled());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"big.bin"});
        page->close();

        prompter.calls.clear();
        QPointer<frmSimple> quick = new frmSimple(values_);
        quick->show();
        Option(quick, 1)->click();
        Box(quick, "txtSize")->setText(QStringLiteral("1048576"));
        Button(quick, "cmdSplit")->click();
        QTest::keyClick(quick, Qt::Key_Escape);
        QTRY_COMPARE_WITH_TIMEOUT(prompter.calls.size(), 1, kJobWait);
        QCOMPARE(prompter.calls.at(0).text, QStringLiteral("The split was cancelled."));
        QVERIFY(!quick.isNull() && quick->isVisible());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"big.bin"});
    }

    // After Next or Previous the page's first control has the focus, never the window itself,
    // so typing goes where the user expects.
    void everyPageMoveFocusesAControl_data() {
        QTest::addColumn<int>("move");
        QTest::addColumn<QString>("control");
        QTest::newRow("next to page 2") << 0 << "cmdBrowse";
        QTest::newRow("next to page 3") << 1 << "cmdPrevious";
        QTest::newRow("back to page 2") << 2 << "cmdBrowse";
        QTest::newRow("back to page 1") << 3 << "txtNum";  // the chosen way's own field
    }
    void everyPageMoveFocusesAControl() {
        QFETCH(int, move);
        QTemporaryDir dir;
        values_->split.SplitSourcePath = MakeFile(dir.filePath("film.avi"), 1000).toStdString();
        values_->split.SplitDestFolder = dir.path().toStdString();
        QWidget* from = nullptr;
        switch (move) {
            case 0: from = new frmSplit(values_); break;
            case 1: case 3: from = new frmSplit2(values_); break;
            default: from = new frmSplit3(values_); break;
        }
        from->show();
        switch (move) {
            case 0: GoToSplitPage2(*static_cast<frmSplit*>(from)); break;
            case 1: GoToSplitPage3(*static_cast<frmSplit2*>(from)); break;
            case 2: BackToSplitPage2(*static_cast<frmSplit3*>(from)); break;
            default: BackToSplitPage1(*static_cast<frmSplit2*>(from)); break;
        }
        const QList<QWidget*> open = OpenWindows();
        QCOMPARE(open.size(), 1);
        QWidget* focus = open.front()->focusWidget();
        QVERIFY(focus != nullptr && focus != open.front());
        QFETCH(QString, control);
        QCOMPARE(focus->objectName(), control);
    }

    void aDroppedFileFillsPageOneOrReplacesTheQuickSplitsFile() {
        QTemporaryDir dir;
        const QString film = MakeFile(dir.filePath("film.avi"), 1000);
        const QString song = MakeFile(dir.filePath("song.mp3"), 1000);
        RecordingPrompter prompter;
        auto* page = new frmSplit(values_);
        page->show();
        QVERIFY(!test::DropUrls(page, {test::FileUrl(dir.path())}));
        QVERIFY(!test::DropUrls(page, {test::FileUrl(film), test::FileUrl(song)}));
        QVERIFY(test::DropUrls(page, {test::FileUrl(film)}));
        QCOMPARE(Box(page, "txtPath")->text(), film);
        QCOMPARE(Get<QLabel>(page, QStringLiteral("Label5_0"))->text(), QStringLiteral("film.avi"));
        page->close();

        values_->split.SplitSourcePath = film.toStdString();
        QPointer<frmSimple> quick = new frmSimple(values_);
        quick->show();
        QVERIFY(!test::DropUrls(quick, {QUrl(QStringLiteral("https://example.org/song.mp3"))}));
        QVERIFY(test::DropUrls(quick, {test::FileUrl(song)}));
        QVERIFY(quick->windowTitle().contains(QStringLiteral("song.mp3")));
        Button(quick, "cmdSplit")->click();
        JobRunner::WaitForAll();
        QTRY_VERIFY(quick.isNull() || !quick->isVisible());
        QVERIFY(QFile::exists(dir.filePath("song(2).qmf002")));
        QVERIFY(!QFile::exists(dir.filePath("film(1).qmf")));
        QVERIFY(prompter.calls.isEmpty());
    }

    // The last page says before the split when the share rebuilds no lost piece, as the
    // command does after it: 10 % of three pieces cannot, a third of them can rebuild one.
    void theLastPageSaysWhenTheShareRebuildsNoPiece() {
        QTemporaryDir dir;
        values_->split = {MakeFile(dir.filePath("film.avi"), 30000).toStdString(), dir.path().toStdString(), "film", false, 3, 0};
        auto* page = new frmSplit3(values_);
        page->show();
        auto* note = Get<QLabel>(page, QStringLiteral("lblRebuild"));
        auto* percent = Get<QSpinBox>(page, QStringLiteral("txtRecoveryPercent"));
        QVERIFY(!note->isVisible());
        Get<QCheckBox>(page, QStringLiteral("chkRecovery"))->click();
        percent->setValue(10);
        QVERIFY(note->isVisible());
        QCOMPARE(note->text(), QStringLiteral("This share can rebuild damaged blocks, but no whole lost piece: "
                                              "choose a larger share."));
        percent->setValue(34);
        QVERIFY(!note->isVisible());
        percent->setValue(10);
        Get<QCheckBox>(page, QStringLiteral("chkRecovery"))->click();
        QVERIFY(!note->isVisible());
    }

    // A file dialog shows each filter's caption with its pattern once: Qt adds none.
    void fileDialogsShowEachFilterOnce() {
        const auto shownFilters = [](const std::function<void()>& open) {
            QStringList shown;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                    poll.stop();
                    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                    for (int i = 0; types != nullptr && i < types->count(); ++i) {
                        shown.append(types->itemText(i));
                    }
                    dialog->reject();
                }
            });
            poll.start(10);
            open();
            return shown;
        };
        auto* page = new frmSplit;
        page->show();
        QCOMPARE(shownFilters([page] { Get<QToolButton>(page, QStringLiteral("cmdBrowse"))->click(); }),
                 QStringList{QStringLiteral("All File(*.*)")});
        QTemporaryDir dir;
        QCOMPARE(shownFilters([&dir] {
                     CurrentPrompter().SaveFile(nullptr, QString(), dir.path(), TargetFilter(QStringLiteral("backup.tar")));
                 }),
                 QStringList{QStringLiteral("tar File(*.tar)")});
    }

    // "Add recovery data" is off at first; ticked, its share reaches the split's recovery
    // files, and the page keeps both across Previous and Next.
    // While the folder chooser of page 2 is open its page stays: Next and Previous do nothing,
    // no second dialog opens, and the answer lands on the page that asked.
    void aPageStaysWhileItsDialogIsOpen() {
        QTemporaryDir dir;
        values_->split.SplitSourcePath = MakeFile(dir.filePath("film.avi"), 1000).toStdString();
        PressingPrompter prompter;
        prompter.answer = dir.path();
        auto* page = new frmSplit2(values_);
        QWidget* window = page->window();
        page->show();
        Button(page, "cmdNext")->click();  // no folder yet: the warning, then the chooser
        QCOMPARE(prompter.messages, 1);
        QCOMPARE(prompter.folders, 1);
        QCOMPARE(ChromeWindow::PageIn(window), page);
        QCOMPARE(Box(page, "txtPath")->text(), dir.path());
        QVERIFY(!ShowsDialog(page));
        Button(page, "cmdNext")->click();
        QVERIFY(qobject_cast<frmSplit3*>(ChromeWindow::PageIn(window)) != nullptr);
    }

    void theLastPageAddsRecoveryData() {
        QTemporaryDir dir;
        SplitState& state = values_->split;
        state = {MakeFile(dir.filePath("film.avi"), 40000).toStdString(), dir.path().toStdString(), "film", false, 4, 0};
        values_->wizard.SavedDestText = state.SplitDestFolder;
        values_->wizard.SavedGroupText = state.SplitGroupName;
        RecordingPrompter prompter;
        prompter.nextAnswer = Prompter::Answer::No;
        auto* page = new frmSplit3(values_);
        page->show();
        QVERIFY(!Get<QCheckBox>(page, QStringLiteral("chkRecovery"))->isChecked());
        QVERIFY(!Get<QSpinBox>(page, QStringLiteral("txtRecoveryPercent"))->isEnabled());
        Get<QCheckBox>(page, QStringLiteral("chkRecovery"))->click();
        Get<QSpinBox>(page, QStringLiteral("txtRecoveryPercent"))->setValue(25);
        Button(page, "cmdPrevious")->click();
        Button(Only<frmSplit2>(), "cmdNext")->click();
        page = Only<frmSplit3>();
        QVERIFY(Get<QCheckBox>(page, QStringLiteral("chkRecovery"))->isChecked());
        QCOMPARE(Get<QSpinBox>(page, QStringLiteral("txtRecoveryPercent"))->value(), 25);
        Button(page, "cmdSplit")->click();
        QTRY_COMPARE_WITH_TIMEOUT(prompter.calls.size(), 1, kJobWait);
        recovery::Input input{state.SplitDestFolder, "film", {}, {}};
        std::vector<std::int64_t> sizes;
        for (int k = 1; k <= 4; ++k) {
            input.files.push_back(JoinPath(input.folder, *PieceFileName("film", k)));
            sizes.push_back(QFileInfo(QString::fromStdString(input.files.back())).size());
        }
        QuietProgress progress;
        const recovery::Check check = recovery::CheckFiles(input, progress);
        QVERIFY(check.usable && check.faultyFiles == 0);
        QCOMPARE(check.blocksAvailable, recovery::PlanFor(sizes, 25).recoveryBlocks);
    }
};

}  // namespace brindle::app

QTEST_MAIN(brindle::app::SplitWindowsTest)
#include "split_windows_test.moc"

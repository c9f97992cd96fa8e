#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include "format/discovery.h"
#include "join/frm_join2.h"
#include "join/frm_simple_join.h"
#include "join/join_state.h"
#include "recovery/recovery.h"
#include "shell/job_runner.h"
#include "shell/paths.h"
#include "shell/wizard_state.h"
#include "split/frm_split2.h"
#include "split/frm_split3.h"
#include "split/raw_split.h"
#include "split/split_engine.h"
#include "split/split_state.h"
#include "support/recording_prompter.h"
#include "support/window_helpers.h"

namespace brindle::app {
namespace {

using test::CloseAllWindows;
using test::OpenWindows;
using test::QuietProgress;
using test::RecordingPrompter;

constexpr int kJobWait = 30000;

QByteArray Bytes(int n) {
    QByteArray bytes(n, '\0');
    for (int i = 0; i < n; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 509) & 0xff);
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

QStringList Names(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    names.sort();
    return names;
}

// Five pieces of movie.avi as group "g" in `folder`, with recovery data of `percent`.
void SplitInFive(const QString& folder, const QByteArray& bytes, int percent) {
    QTemporaryDir sourceDir;
    const QString source = sourceDir.filePath(QStringLiteral("movie.avi"));
    Write(source, bytes);
    SplitParams params;
    params.sourcePath = source.toStdString();
    params.destFolder = folder.toStdString();
    params.groupName = "g";
    params.pieceSize = static_cast<std::int32_t>((bytes.size() + 4) / 5);
    params.splitDate = "03/04/2025";
    params.recoveryPercent = percent;
    params.replaceOthers = true;  // the earlier split's pieces, from a source gone since
    QuietProgress progress;
    QVERIFY(SplitFile(params, progress).status.ok());
}

QString Piece(const QString& folder, int k) {
    return folder + QLatin1Char('/') + QString::fromStdString(*PieceFileName("g", k));
}

// The same as plain numbered pieces movie.avi.001 to .005.
void SplitRawInFive(const QString& folder, const QByteArray& bytes, int percent) {
    const QString source = folder + QStringLiteral("/source.bin");
    Write(source, bytes);
    RawSplitParams params;
    params.sourcePath = source.toStdString();
    params.destFolder = folder.toStdString();
    params.base = "movie.avi";
    params.pieceSize = (bytes.size() + 4) / 5;
    params.recoveryPercent = percent;
    QuietProgress progress;
    QVERIFY(SplitRaw(params, progress).status.ok());
    QVERIFY(QFile::remove(source));
}

}  // namespace

class RecoveryWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        SharedJoinState() = {};
        SharedSplitState() = {};
        SharedWizardState() = {};
    }
    void cleanup() {
        JobRunner::WaitForAll();
        CloseAllWindows();
    }

    void theQuickJoinRebuildsAndJoins_data() {
        QTest::addColumn<bool>("numbered");
        QTest::newRow("own pieces") << false;
        QTest::newRow("numbered pieces") << true;
    }

    // A piece deleted and another damaged: asked once, both rebuilt beside the pieces, the
    // file joined byte for byte, and the user's pieces left as they were.
    void theQuickJoinRebuildsAndJoins() {
        QFETCH(bool, numbered);
        QTemporaryDir dir;
        const QByteArray bytes = Bytes(50000);
        const auto piece = [&](int k) {
            return numbered ? dir.filePath(QStringLiteral("movie.avi.00%1").arg(k)) : Piece(dir.path(), k);
        };
        if (numbered) {
            SplitRawInFive(dir.path(), bytes, 50);
        } else {
            SplitInFive(dir.path(), bytes, 50);
        }
        QVERIFY(QFile::remove(piece(2)));
        QByteArray fourth = Read(piece(4));
        fourth[3000] = static_cast<char>(fourth[3000] ^ 0x40);
        Write(piece(4), fourth);
        const QStringList before = Names(dir.path());
        SharedJoinState() = {dir.path().toStdString(), numbered ? "movie.avi" : "g", "", numbered};
        RecordingPrompter prompter;
        auto* window = new frmSimpleJoin;
        window->show();
        const QString target = dir.filePath(QStringLiteral("joined.avi"));
        window->txtPath->setText(target);
        QSignalSpy ending(window, &frmSimpleJoin::programEnding);
        window->cmdJoin->click();
        QVERIFY(ending.wait(kJobWait));
        QCOMPARE(prompter.calls.size(), 1);
        QCOMPARE(prompter.calls[0].text,
                 QStringLiteral("2 pieces are missing or damaged. Rebuild them from the recovery files?"));
        QCOMPARE(prompter.calls[0].buttons, Prompter::Buttons::YesNo);
        QCOMPARE(Read(target), bytes);
        QCOMPARE(Read(piece(4)), fourth);
        QStringList after = QStringList(before) << QStringLiteral("joined.avi");
        after.sort();
        QCOMPARE(Names(dir.path()), after);
    }

    // Nothing missing: no question. Too much lost: refused with how much recovery data is
    // missing, before anything is written; No to the question: the join goes on without
    // them and finds the piece missing; a damaged piece is found by the join and rebuilt.
    void theWizardAsksOnlyWhenItCanRebuild() {
        QTemporaryDir dir;
        QTemporaryDir out;
        const QByteArray bytes = Bytes(50000);
        SplitInFive(dir.path(), bytes, 10);
        SharedJoinState() = {dir.path().toStdString(), "g", "movie.avi"};
        RecordingPrompter prompter;
        prompter.nextAnswer = RecordingPrompter::Answer::No;
        auto* page = new frmJoin2;
        page->show();
        const QString target = out.filePath(QStringLiteral("movie.avi"));
        page->txtTarget->setText(target);
        const auto merge = [&] {
            prompter.calls.clear();
            page->cmdJoin->click();
            QTRY_VERIFY_WITH_TIMEOUT(page->cmdJoin->isEnabled(), kJobWait);
        };
        merge();
        QCOMPARE(Read(target), bytes);
        QCOMPARE(prompter.calls.size(), 2);
        QCOMPARE(prompter.calls[0].text, QStringLiteral("Merge successfully. Do you want to view the folder now?"));

        QVERIFY(QFile::remove(target));
        QVERIFY(QFile::remove(Piece(dir.path(), 1)));
        QVERIFY(QFile::remove(Piece(dir.path(), 5)));
        merge();
        QCOMPARE(prompter.calls.size(), 1);
        QCOMPARE(prompter.calls[0].text, QStringLiteral("Fail to merge the files."));
        QVERIFY2(prompter.calls[0].reason.startsWith(QStringLiteral("2 pieces damaged or missing; the recovery files cannot "
                                                                    "rebuild them")),
                 qPrintable(prompter.calls[0].reason));
        QVERIFY(prompter.calls[0].reason.endsWith(QStringLiteral("of recovery data missing")));
        QCOMPARE(page->pb1->value(), 0);
        QVERIFY(Names(out.path()).isEmpty());

        // Thirty percent rebuilds one piece; No leaves it missing.
        SplitInFive(dir.path(), bytes, 30);
        QVERIFY(QFile::remove(Piece(dir.path(), 3)));
        merge();
        QCOMPARE(prompter.calls.size(), 2);
        QCOMPARE(prompter.calls[0].text, QStringLiteral("1 piece is missing or damaged. Rebuild it from the recovery files?"));
        QCOMPARE(prompter.calls[1].text, QStringLiteral("File Missing."));
        QVERIFY(Names(out.path()).isEmpty());

        // All there but one damaged: the join that finds it is taken back, then Yes rebuilds it.
        SplitInFive(dir.path(), bytes, 30);
        QByteArray third = Read(Piece(dir.path(), 3));
        third[700] = static_cast<char>(third[700] ^ 1);
        Write(Piece(dir.path(), 3), third);
        prompter.nextAnswer = RecordingPrompter::Answer::Yes;
        merge();
        QCOMPARE(prompter.calls.size(), 3);
        QCOMPARE(prompter.calls[0].text, QStringLiteral("1 piece is missing or damaged. Rebuild it from the recovery files?"));
        QCOMPARE(prompter.calls[1].text, QStringLiteral("Merge successfully. Do you want to view the folder now?"));
        QCOMPARE(Read(target), bytes);
        QCOMPARE(Read(Piece(dir.path(), 3)), third);
    }

    // Off by default; ticked, the split writes recovery files that describe its pieces, and
    // the page remembers the box and its share when it is left and shown again.
    void theWizardWritesRecoveryFilesWhenTicked() {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("film.avi"));
        Write(source, Bytes(40000));
        SplitState& state = SharedSplitState();
        state.SplitSourcePath = source.toStdString();
        state.SplitDestFolder = dir.path().toStdString();
        state.SplitGroupName = "film";
        state.SplitPieceCount = 4;
        WizardState& saved = SharedWizardState();
        saved.SavedDestText = state.SplitDestFolder;
        saved.SavedGroupText = state.SplitGroupName;
        RecordingPrompter prompter;
        prompter.nextAnswer = RecordingPrompter::Answer::No;
        auto* page = new frmSplit3;
        page->show();
        auto* tick = page->findChild<QCheckBox*>(QStringLiteral("chkRecovery"));
        auto* percent = page->findChild<QSpinBox*>(QStringLiteral("txtRecoveryPercent"));
        QVERIFY(!tick->isChecked() && !percent->isEnabled());
        auto* split = page->findChild<QPushButton*>(QStringLiteral("cmdSplit"));
        split->click();
        QTRY_COMPARE_WITH_TIMEOUT(prompter.calls.size(), 1, kJobWait);
        QVERIFY(recovery::FindRecoveryFiles(dir.path().toStdString(), "film").empty());

        tick->click();
        percent->setValue(25);
        page->findChild<QPushButton*>(QStringLiteral("cmdPrevious"))->click();
        auto* page2 = qobject_cast<frmSplit2*>(OpenWindows().value(0));
        QVERIFY(page2 != nullptr);
        page2->findChild<QPushButton*>(QStringLiteral("cmdNext"))->click();
        page = qobject_cast<frmSplit3*>(OpenWindows().value(0));
        QVERIFY(page != nullptr);
        QVERIFY(page->findChild<QCheckBox*>(QStringLiteral("chkRecovery"))->isChecked());
        QCOMPARE(page->findChild<QSpinBox*>(QStringLiteral("txtRecoveryPercent"))->value(), 25);

        prompter.calls.clear();
        page->findChild<QPushButton*>(QStringLiteral("cmdSplit"))->click();
        QTRY_COMPARE_WITH_TIMEOUT(prompter.calls.size(), 1, kJobWait);
        QCOMPARE(prompter.calls[0].text, QStringLiteral("Split Completed.Would you like to view the files?"));
        recovery::Input input{dir.path().toStdString(), "film", {}, {}};
        std::vector<std::int64_t> sizes;
        for (int k = 1; k <= 4; ++k) {
            input.files.push_back(JoinPath(input.folder, *PieceFileName("film", k)));
            sizes.push_back(QFileInfo(QString::fromStdString(input.files.back())).size());
        }
        QuietProgress progress;
        const recovery::Check check = recovery::CheckFiles(input, progress);
        QVERIFY(check.usable);
        QCOMPARE(check.faultyFiles, 0);
        QCOMPARE(check.blocksAvailable, recovery::PlanFor(sizes, 25).recoveryBlocks);
        QVERIFY(check.blocksAvailable > recovery::PlanFor(sizes, 10).recoveryBlocks);
    }
};

}  // namespace brindle::app

QTEST_MAIN(brindle::app::RecoveryWindowsTest)
#include "recovery_windows_test.moc"

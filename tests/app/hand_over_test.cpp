#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <memory>

#include "join/frm_simple_join.h"
#include "join/join_state.h"
#include "rename/frm_rename.h"
#include "shell/frm_main.h"
#include "shell/hand_over.h"
#include "shell/job_runner.h"
#include "split/frm_simple.h"
#include "split/frm_split.h"
#include "split/split_engine.h"
#include "split/split_state.h"
#include "support/window_helpers.h"

namespace brindle::app {

using test::CloseAllWindows;
using test::OpenWindows;

// The running program's side, reached through its socket as a second start reaches it.
class HandOverTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string folder_;
    std::unique_ptr<HandOver> handOver_;
    QString socket_;

    std::string Make(const std::string& name) {
        QFile file(QFile::decodeName(QByteArray::fromStdString(folder_ + "/" + name)));
        [&] { QVERIFY(file.open(QIODevice::WriteOnly) && file.write("0123456789") == 10); }();
        return folder_ + "/" + name;
    }

    // Sends as the second start does, then waits for the running side to carry it out.
    QWidget* Hand(std::vector<std::string> arguments, const std::string& currentFolder = {}) {
        QSignalSpy taken(handOver_.get(), &HandOver::taken);
        [&] { QVERIFY(SendRequest(socket_, {std::move(arguments), currentFolder, {}})); }();
        if (!taken.wait(5000)) {
            return nullptr;
        }
        return taken.at(0).at(0).value<QWidget*>();
    }

private slots:
    void initTestCase() {
        folder_ = dir_.path().toStdString();
        socket_ = dir_.filePath(QStringLiteral("hand.socket"));
        handOver_ = std::make_unique<HandOver>();
        QVERIFY(handOver_->Listen(socket_));
        test::QuietProgress progress;
        Make("movie.avi");
        QVERIFY(SplitFile({folder_ + "/movie.avi", folder_, "movie", 2, "qmf", "03/04/2025", 7}, progress)
                    .status.ok());
    }
    void cleanup() { CloseAllWindows(); }

    // An idle main window gives its place to the quick window; the names' bytes arrive whole.
    void aFileOrAPieceOpensItsQuickWindowInPlaceOfTheMainWindow_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("join");
        QTest::newRow("file") << QByteArray("movie.avi") << false;
        QTest::newRow("not UTF-8") << QByteArray("caf\xe9 -r.txt") << false;
        QTest::newRow("piece") << QByteArray("movie(1).qmf") << true;
    }
    void aFileOrAPieceOpensItsQuickWindowInPlaceOfTheMainWindow() {
        QFETCH(QByteArray, name);
        QFETCH(bool, join);
        const std::string path = join ? folder_ + "/" + name.toStdString() : Make(name.toStdString());
        auto* main = new frmMain;
        main->Load({}, folder_);
        test::MoveWindow(main, QPoint(40, 50));
        QWidget* opened = Hand({name.toStdString()}, folder_);
        QVERIFY(opened != nullptr);
        QCOMPARE(OpenWindows(), QList<QWidget*>{opened});
        QCOMPARE(test::WindowPos(opened), QPoint(40, 50));
        if (join) {
            QVERIFY(qobject_cast<frmSimpleJoin*>(opened) != nullptr);
            QCOMPARE(SharedJoinState().JoinFolder, folder_);
            QCOMPARE(SharedJoinState().JoinGroupName, std::string("movie"));
        } else {
            QVERIFY(qobject_cast<frmSimple*>(opened) != nullptr);
            QCOMPARE(SharedSplitState().SplitSourcePath, path);
        }
        QVERIFY(opened->property(kHandedOverProperty).toBool());
    }

    // "-r" with several paths, relative to the second start's folder, joins the open list.
    void renameSwitchAddsEveryPathToTheOpenList() {
        const std::string a = Make("a.txt");
        Make("b.txt");
        auto* list = new frmRename;
        list->AddPaths({a});
        list->show();
        QWidget* taken = Hand({"-r", "b.txt", folder_ + "/movie(1).qmf", "a.txt"}, folder_);
        QCOMPARE(taken, list);
        QCOMPARE(OpenWindows(), QList<QWidget*>{list});
        QCOMPARE(list->List().rows().size(), std::size_t{3});
        QVERIFY(list->List().Contains(folder_ + "/b.txt"));
    }

    // Work in the current window stays: the request opens beside it, and each window finds its
    // own job values when the user turns to it.
    void aWindowThatHoldsWorkStaysAndTheRequestOpensBesideIt() {
        const std::string first = Make("first.bin");
        const std::string second = Make("second.bin");
        auto* wizard = new frmSplit;
        wizard->ChooseFile(first);
        SharedSplitState().SplitSourcePath = first;  // as its Next leaves it for the later pages
        test::MoveWindow(wizard, QPoint(100, 100));
        wizard->show();
        QVERIFY(QTest::qWaitForWindowActive(wizard));
        QVERIFY(HoldsWork(wizard));
        QWidget* quick = Hand({second}, folder_);
        QVERIFY(qobject_cast<frmSimple*>(quick) != nullptr);
        QCOMPARE(OpenWindows().size(), 2);
        QVERIFY(wizard->isVisible());
        // The offscreen screen is too narrow for both side by side: it keeps to the roomier side.
        QCOMPARE(quick->window()->frameGeometry().right(), quick->screen()->availableGeometry().right());
        QCOMPARE(test::WindowPos(quick).y(), test::WindowPos(wizard).y());
        QCOMPARE(SharedSplitState().SplitSourcePath, second);
        wizard->activateWindow();
        QTRY_COMPARE(SharedSplitState().SplitSourcePath, first);
        quick->activateWindow();
        QTRY_COMPARE(SharedSplitState().SplitSourcePath, second);
    }

    // A request that comes while a job runs waits, and says so, until the job has ended.
    void aRequestWaitsWhileAJobRuns() {
        const std::string file = Make("late.bin");
        auto* main = new frmMain;
        main->Load({}, folder_);
        auto release = std::make_shared<std::atomic<bool>>(false);
        JobRunner runner(JobKind::kSplit);
        QVERIFY(runner.Start([release](Progress&) {
            while (!release->load()) {
                QThread::msleep(5);
            }
            return Status::Ok();
        }));
        QSignalSpy taken(handOver_.get(), &HandOver::taken);
        QVERIFY(SendRequest(socket_, {{file}, folder_, {}}));
        QTRY_COMPARE(handOver_->Waiting(), 1);
        QCOMPARE(OpenWindows(), QList<QWidget*>{main});
        const QPointer<QMessageBox> notice = main->findChild<QMessageBox*>(QStringLiteral("handOverNotice"));
        QVERIFY(notice && notice->isVisible());
        QVERIFY(taken.isEmpty());

        release->store(true);
        QVERIFY(taken.wait(5000));
        QCOMPARE(handOver_->Waiting(), 0);
        QVERIFY(qobject_cast<frmSimple*>(taken.at(0).at(0).value<QWidget*>()) != nullptr);
        QCOMPARE(SharedSplitState().SplitSourcePath, file);
        QTRY_VERIFY(!notice);
    }

    // A request comes in pieces or not at all: nothing is taken before its last byte, and bytes
    // that are no request are refused.
    void aRequestIsTakenOnlyWhole() {
        const QByteArray whole = EncodeRequest({{"-r", std::string("\xff\x00/x", 4)}, "/home/u", "token"});
        QByteArray buffer = whole.left(whole.size() - 1);
        bool broken = true;
        QVERIFY(!TakeRequest(buffer, &broken));
        QVERIFY(!broken);
        buffer += whole.right(1) + whole;
        for (int i = 0; i < 2; ++i) {
            const std::optional<HandOverRequest> request = TakeRequest(buffer, &broken);
            QVERIFY(request.has_value());
            QCOMPARE(request->arguments.back(), std::string("\xff\x00/x", 4));
            QCOMPARE(request->currentFolder, std::string("/home/u"));
            QCOMPARE(request->activationToken, QByteArray("token"));
        }
        QVERIFY(buffer.isEmpty());
        QByteArray garbage("show\n");
        QVERIFY(!TakeRequest(garbage, &broken));
        QVERIFY(broken);
    }
};

}  // namespace brindle::app

QTEST_MAIN(brindle::app::HandOverTest)
#include "hand_over_test.moc"

#include <QApplication>
#include <QFile>
#include <QLocalSocket>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>

#include "join/frm_simple_join.h"
#include "rename/frm_rename.h"
#include "shell/frm_main.h"
#include "shell/hand_over.h"
#include "shell/job_runner.h"
#include "split/frm_simple.h"
#include "split/frm_split.h"
#include "split/frm_split3.h"
#include "split/split_engine.h"
#include "support/recording_prompter.h"
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

    static QByteArray Read(const std::string& path) {
        QFile file(QString::fromStdString(path));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The second start, in a process of its own: it waits for this one's answer.
    std::future<bool> Send(HandOverRequest request) {
        return std::async(std::launch::async, [socket = socket_, request = std::move(request)] {
            return SendRequest(socket, request);
        });
    }

    // Sends as the second start does, then waits for the running side to carry it out.
    QWidget* Hand(std::vector<std::string> arguments, const std::string& currentFolder = {}) {
        QSignalSpy taken(handOver_.get(), &HandOver::taken);
        std::future<bool> sent = Send({std::move(arguments), currentFolder, {}});
        if (!taken.wait(5000)) {
            return nullptr;
        }
        [&] { QVERIFY(sent.get()); }();
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
            QCOMPARE(test::ValuesIn(opened).join.JoinFolder, folder_);
            QCOMPARE(test::ValuesIn(opened).join.JoinGroupName, std::string("movie"));
        } else {
            QVERIFY(qobject_cast<frmSimple*>(opened) != nullptr);
            QCOMPARE(test::ValuesIn(opened).split.SplitSourcePath, path);
        }
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

    // Work in the current window stays: the request opens beside it, with values of its own.
    void aWindowThatHoldsWorkStaysAndTheRequestOpensBesideIt() {
        const std::string first = Make("first.bin");
        const std::string second = Make("second.bin");
        auto* wizard = new frmSplit;
        wizard->ChooseFile(first);
        wizard->Values().split.SplitSourcePath = first;  // as its Next leaves it for the later pages
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
        QCOMPARE(test::ValuesIn(quick).split.SplitSourcePath, second);
        QCOMPARE(wizard->Values().split.SplitSourcePath, first);
    }

    // Two quick merges and two split wizards side by side: each window runs its own group or
    // source, whichever was active last; a quick merge that ends closes only itself while
    // another window is open.
    void windowsSideBySideEachRunTheirOwnJob() {
        QTemporaryDir a;
        QTemporaryDir b;
        test::QuietProgress progress;
        const auto group = [&](const QTemporaryDir& dir, const std::string& name, const std::string& stem,
                               const QByteArray& bytes) {
            const std::string source = dir.path().toStdString() + "/" + name;
            QFile file(QString::fromStdString(source));
            [&] { QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()); }();
            file.close();
            [&] { QVERIFY(SplitFile({source, dir.path().toStdString(), stem, 700, "qmf", "03/04/2025", 7}, progress).status.ok()); }();
            QFile::remove(QString::fromStdString(source));
            return source;
        };
        const QByteArray archive(1500, 'A');
        const QByteArray camera(1300, 'C');
        const std::string archiveOut = group(a, "Project Archive.tar", "Project Archive", archive);
        const std::string cameraOut = group(b, "Camera Backup.zip", "Camera Backup", camera);
        test::RecordingPrompter prompter;
        prompter.nextAnswer = Prompter::Answer::No;

        auto* first = qobject_cast<frmSimpleJoin*>(Hand({a.filePath("Project Archive(1).qmf").toStdString()}));
        auto* second = qobject_cast<frmSimpleJoin*>(Hand({b.filePath("Camera Backup(1).qmf").toStdString()}));
        QVERIFY(first != nullptr && second != nullptr);
        QCOMPARE(OpenWindows().size(), 2);
        QVERIFY(!IsLastWindow(first));
        QSignalSpy firstEnds(first, &frmSimpleJoin::programEnding);
        first->cmdJoin->click();
        QVERIFY(firstEnds.wait(10000));
        QCOMPARE(Read(archiveOut), archive);
        QCOMPARE(OpenWindows(), QList<QWidget*>{second});
        QVERIFY(IsLastWindow(second));
        QSignalSpy secondEnds(second, &frmSimpleJoin::programEnding);
        second->cmdJoin->click();
        QVERIFY(secondEnds.wait(10000));
        QCOMPARE(Read(cameraOut), camera);
        CloseAllWindows();

        // Both wizards are filled in, page by page in turn, before either splits.
        QTemporaryDir outA;
        QTemporaryDir outB;
        const std::string alpha = Make("alpha.bin");
        const std::string beta = Make("beta.bin");
        auto* alphaPage = new frmSplit;
        auto* betaPage = new frmSplit;
        QWidget* const windows[2] = {alphaPage->window(), betaPage->window()};
        alphaPage->show();
        betaPage->show();
        const auto press = [](QWidget* window, const char* name) {
            ChromeWindow::PageIn(window)->findChild<QPushButton*>(QLatin1String(name))->click();
        };
        for (frmSplit* page : {alphaPage, betaPage}) {
            page->findChild<QLineEdit*>(QStringLiteral("txtNum"))->setText(QStringLiteral("2"));
        }
        alphaPage->ChooseFile(alpha);
        betaPage->ChooseFile(beta);
        for (QWidget* window : windows) {
            press(window, "cmdNext");
        }
        prompter.paths = {outA.path(), outB.path()};
        for (QWidget* window : windows) {
            press(window, "cmdNext");  // asks for the folder, then stays
            press(window, "cmdNext");
            QVERIFY(qobject_cast<frmSplit3*>(ChromeWindow::PageIn(window)) != nullptr);
        }
        for (QWidget* window : windows) {
            press(window, "cmdSplit");
            JobRunner::WaitForAll();
            QTRY_COMPARE(JobRunner::RunningJobs(), 0);
        }
        QCOMPARE(QDir(outA.path()).entryList(QDir::Files), (QStringList{"alpha(1).qmf", "alpha(2).qmf002"}));
        QCOMPARE(QDir(outB.path()).entryList(QDir::Files), (QStringList{"beta(1).qmf", "beta(2).qmf002"}));
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
        std::future<bool> sent = Send({{file}, folder_, {}});
        QTRY_COMPARE(handOver_->Waiting(), 1);
        QVERIFY(sent.get());  // taken, to be carried out later
        QCOMPARE(OpenWindows(), QList<QWidget*>{main});
        const QPointer<QMessageBox> notice = main->findChild<QMessageBox*>(QStringLiteral("handOverNotice"));
        QVERIFY(notice && notice->isVisible());
        QVERIFY(taken.isEmpty());

        release->store(true);
        QTRY_VERIFY_WITH_TIMEOUT(!taken.isEmpty(), 15000);
        QCOMPARE(handOver_->Waiting(), 0);
        QVERIFY(qobject_cast<frmSimple*>(taken.at(0).at(0).value<QWidget*>()) != nullptr);
        QCOMPARE(test::ValuesIn(taken.at(0).at(0).value<QWidget*>()).split.SplitSourcePath, file);
        QTRY_VERIFY(!notice);
    }

    // A request comes in pieces or not at all: nothing is taken before its last byte, and bytes
    // that are no request are refused.
    void aRequestIsTakenOnlyWhole() {
        const QByteArray whole = EncodeRequest({{"-r", "\xff/x"}, "/home/u", "token"});
        QByteArray buffer = whole.left(whole.size() - 1);
        bool broken = true;
        QVERIFY(!TakeRequest(buffer, &broken));
        QVERIFY(!broken);
        buffer += whole.right(1) + whole;
        for (int i = 0; i < 2; ++i) {
            const std::optional<HandOverRequest> request = TakeRequest(buffer, &broken);
            QVERIFY(request.has_value());
            QCOMPARE(request->arguments.back(), std::string("\xff/x"));
            QCOMPARE(request->currentFolder, std::string("/home/u"));
            QCOMPARE(request->activationToken, QByteArray("token"));
        }
        QVERIFY(buffer.isEmpty());
        QByteArray garbage("show\n");
        QVERIFY(!TakeRequest(garbage, &broken));
        QVERIFY(broken);
        // A NUL would cut the path short; a length past any command line is refused from the
        // frame's first eight bytes, before anything more is read or kept.
        QByteArray nul = EncodeRequest({{std::string("/a\0/b", 5)}, "/home/u", {}});
        QVERIFY(!TakeRequest(nul, &broken) && broken);
        QByteArray huge = EncodeRequest({{std::string(9 << 20, 'x')}, "/", {}}).left(8);
        QVERIFY(!TakeRequest(huge, &broken) && broken);
    }

    // Idle connections give way to newer ones beyond the few served at once, the listening
    // socket stays, and a second start still gets through; a request that is refused is
    // told so, and the second start says it.
    void noClientJamsTheSecondStart() {
        std::vector<std::unique_ptr<QLocalSocket>> idle;
        for (int i = 0; i < 40; ++i) {
            idle.push_back(std::make_unique<QLocalSocket>());
            idle.back()->connectToServer(socket_);
            QVERIFY(idle.back()->waitForConnected(2000));
        }
        QTRY_VERIFY(std::count_if(idle.begin(), idle.end(), [](const auto& socket) {
                        return socket->state() == QLocalSocket::UnconnectedState;
                    }) >= 30);
        QVERIFY(QFile::exists(socket_));
        auto* main = new frmMain;
        main->Load({}, folder_);
        QVERIFY(Hand({Make("through.bin")}, folder_) != nullptr);

        std::future<bool> refused = Send({{std::string("/a\0/b", 5)}, folder_, {}});
        QTRY_VERIFY(refused.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
        QVERIFY(!refused.get());
    }
};

}  // namespace brindle::app

QTEST_MAIN(brindle::app::HandOverTest)
#include "hand_over_test.moc"

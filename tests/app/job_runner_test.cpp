#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QtTest>
#include <atomic>
#include <memory>

#include "shell/job_runner.h"

namespace brindle::app {

class JobRunnerTest : public QObject {
    Q_OBJECT

private slots:
    void progressReachesTheWindowOnItsOwnThread() {
        QProgressBar bar;
        QLabel percent;
        JobRunner runner(JobKind::kSplit);
        runner.Drive(&bar, &percent);
        Qt::HANDLE worker = nullptr;
        QSignalSpy finished(&runner, &JobRunner::finished);
        QVERIFY(runner.Start([&worker](Progress& progress) {
            worker = QThread::currentThreadId();
            progress.SetValue(5000);
            progress.SetPercentText("50");
            return Status::IoError("disk gone");
        }));
        QVERIFY(!runner.Start([](Progress&) { return Status::Ok(); }));  // one job at a time
        QVERIFY(finished.wait(5000));
        QVERIFY(worker != QThread::currentThreadId());
        QCOMPARE(bar.maximum(), 10000);
        QCOMPARE(bar.value(), 5000);
        QCOMPARE(percent.text(), QStringLiteral("50"));
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QCOMPARE(finished.at(0).at(1).toString(), QStringLiteral("disk gone"));
        QVERIFY(!runner.IsRunning());
    }

    // The window of a running job closes: the job goes on to its end, nobody hears of it,
    // and the program does not quit before the job has ended.
    void aJobOutlivesItsWindowAndHoldsTheProgramOpen() {
        auto ended = std::make_shared<std::atomic<bool>>(false);
        auto* window = new QWidget;
        window->setAttribute(Qt::WA_DeleteOnClose);
        auto* runner = new JobRunner(JobKind::kSplit, window);
        bool heard = false;
        connect(runner, &JobRunner::finished, this, [&heard] { heard = true; });
        runner->Start([ended](Progress& progress) {
            QThread::msleep(300);
            progress.SetValue(10000);
            ended->store(true);
            return Status::Ok();
        });
        window->show();
        QTimer::singleShot(10, window, &QWidget::close);  // the last window: quit follows
        QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(ended->load());
        JobRunner::WaitForAll();
        QCOMPARE(JobRunner::RunningJobs(), 0);
        QVERIFY(!heard);
    }
};

}  // namespace brindle::app

QTEST_MAIN(brindle::app::JobRunnerTest)
#include "job_runner_test.moc"

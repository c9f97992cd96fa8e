#include "shell/job_runner.h"

#include <QCoreApplication>
#include <QEventLoopLocker>
#include <QLabel>
#include <QMutex>
#include <QPointer>
#include <QProgressBar>
#include <QThread>
#include <QWaitCondition>
#include <atomic>
#include <memory>

namespace brindle::app {
namespace {

QMutex g_jobsMutex;
QWaitCondition g_jobsEnded;
int g_runningJobs = 0;

constexpr int kBarMax = 10000;

// Lives on the worker thread's side; its signals reach the runner queued, and stop
// reaching it once the runner is gone.
class WorkerProgress final : public QObject, public Progress {
    Q_OBJECT
public:
    int Max() const override { return kBarMax; }
    int Value() const override { return value_; }
    void SetValue(int value) override {
        value_ = value;
        emit valueChanged(value);
    }
    void SetPercentText(const std::string& text) override {
        emit percentChanged(QString::fromStdString(text));
    }

signals:
    void valueChanged(int value);
    void percentChanged(const QString& text);
    void done(bool ok, const QString& reason);

private:
    int value_ = 0;
};

}  // namespace

JobRunner::JobRunner(QObject* parent) : QObject(parent) {}

bool JobRunner::Start(Work work) {
    if (running_) {
        return false;
    }
    running_ = true;
    {
        QMutexLocker lock(&g_jobsMutex);
        ++g_runningJobs;
    }

    auto progress = std::make_shared<WorkerProgress>();
    connect(progress.get(), &WorkerProgress::valueChanged, this, &JobRunner::progressChanged,
            Qt::QueuedConnection);
    connect(progress.get(), &WorkerProgress::percentChanged, this, &JobRunner::percentChanged,
            Qt::QueuedConnection);
    connect(progress.get(), &WorkerProgress::done, this,
            [this](bool ok, const QString& reason) {
                running_ = false;
                emit finished(ok, reason);
            },
            Qt::QueuedConnection);

    // Holds the program open (quit on last window closed waits) until the job has ended.
    auto* keepAlive = new QEventLoopLocker;
    QThread* thread = QThread::create([progress, work = std::move(work)] {
        Status status;
        try {
            status = work(*progress);
        } catch (const std::exception& error) {
            status = Status::IoError(error.what());
        }
        emit progress->done(status.ok(), QString::fromStdString(status.message()));
    });
    // The thread object is no child of the window: closing the window must not destroy a
    // running thread.
    connect(thread, &QThread::finished, thread, [thread, keepAlive] {
        thread->deleteLater();
        delete keepAlive;
    });
    connect(thread, &QThread::finished, thread, [] {
        QMutexLocker lock(&g_jobsMutex);
        --g_runningJobs;
        g_jobsEnded.wakeAll();
    }, Qt::DirectConnection);
    thread->start();
    return true;
}

void JobRunner::Drive(QProgressBar* bar, QLabel* percent) {
    if (bar != nullptr) {
        bar->setRange(0, kBarMax);
        connect(this, &JobRunner::progressChanged, bar, &QProgressBar::setValue);
    }
    if (percent != nullptr) {
        connect(this, &JobRunner::percentChanged, percent, &QLabel::setText);
    }
}

int JobRunner::RunningJobs() {
    QMutexLocker lock(&g_jobsMutex);
    return g_runningJobs;
}

void JobRunner::WaitForAll() {
    QMutexLocker lock(&g_jobsMutex);
    while (g_runningJobs > 0) {
        g_jobsEnded.wait(&g_jobsMutex);
    }
    lock.unlock();
    // Let the finished threads' clean-up run.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

}  // namespace brindle::app

#include "job_runner.moc"

#include "shell/job_runner.h"

#include <QCoreApplication>
#include <QEventLoopLocker>
#include <QLabel>
#include <QMutex>
#include <QProgressBar>
#include <QThread>
#include <QWaitCondition>
#include <QWidget>
#include <vector>

#include "shell/desktop_bus.h"
#include "shell/prompter.h"

namespace brindle::app {
namespace {

QMutex g_jobsMutex;
QWaitCondition g_jobsEnded;
int g_runningJobs = 0;
// The stop flag of each running job, for StopAll.
std::vector<std::shared_ptr<std::atomic<bool>>> g_stops;

// Created for one job and moved to its thread, where it emits and where it dies; its
// signals reach the runner queued, and stop reaching it once the runner is gone.
class WorkerProgress final : public QObject, public Progress {
    Q_OBJECT
public:
    explicit WorkerProgress(std::shared_ptr<std::atomic<bool>> stop) : stop_(std::move(stop)) {}
    int Max() const override { return kBarMax; }
    int Value() const override { return value_; }
    void SetValue(int value) override {
        value_ = value;
        emit valueChanged(value);
    }
    void SetPercentText(const std::string& text) override {
        emit percentChanged(QString::fromStdString(text));
    }
    bool StopRequested() const override { return stop_->load(); }

signals:
    void valueChanged(int value);
    void percentChanged(const QString& text);
    void done(int code, const QString& message);

private:
    int value_ = 0;
    std::shared_ptr<std::atomic<bool>> stop_;
};

QString Question(JobKind kind) {
    switch (kind) {
        case JobKind::kJoin:
            return QCoreApplication::translate("JobRunner", "A join is running. Stop it?");
        case JobKind::kRename:
            return QCoreApplication::translate("JobRunner", "A rename is running. Stop it?");
        case JobKind::kUndo:
            return QCoreApplication::translate("JobRunner", "An undo is running. Stop it?");
        case JobKind::kDates:
            return QCoreApplication::translate("JobRunner", "Dates are being read. Stop it?");
        case JobKind::kSplit:
            break;
    }
    return QCoreApplication::translate("JobRunner", "A split is running. Stop it?");
}

// The notification's sentence: `done` or the kind's own, or the failure with its reason.
QString EndText(JobKind kind, bool ok, const QString& done, const QString& reason) {
    if (ok && !done.isEmpty()) {
        return done;
    }
    const char* text = nullptr;
    switch (kind) {
        case JobKind::kSplit:
            text = ok ? QT_TRANSLATE_NOOP("JobRunner", "The split is finished.")
                      : QT_TRANSLATE_NOOP("JobRunner", "The split failed: %1");
            break;
        case JobKind::kJoin:
            text = ok ? QT_TRANSLATE_NOOP("JobRunner", "The merge is finished.")
                      : QT_TRANSLATE_NOOP("JobRunner", "The merge failed: %1");
            break;
        case JobKind::kRename:
            text = ok ? QT_TRANSLATE_NOOP("JobRunner", "The files were renamed.")
                      : QT_TRANSLATE_NOOP("JobRunner", "The rename failed: %1");
            break;
        case JobKind::kUndo:
        case JobKind::kDates:  // a date reading tells the desktop nothing
            text = ok ? QT_TRANSLATE_NOOP("JobRunner", "The renames were undone.")
                      : QT_TRANSLATE_NOOP("JobRunner", "The undo failed: %1");
            break;
    }
    const QString sentence = QCoreApplication::translate("JobRunner", text);
    return ok ? sentence : sentence.arg(reason).trimmed();
}

}  // namespace

JobRunner::JobRunner(JobKind kind, QObject* parent) : QObject(parent), kind_(kind) {
    if (kind != JobKind::kDates) {
        TellDesktop();
    }
}

void JobRunner::TellDesktop() {
    connect(this, &JobRunner::progressChanged, this,
            [](int value) { desktop_bus::ShowProgress(double(value) / kBarMax); });
    connect(this, &JobRunner::runningChanged, this, [](bool running) {
        if (!running) {
            desktop_bus::ClearProgress();
        }
    });
    connect(this, &JobRunner::cancelled, this, [this] { began_.invalidate(); });
    connect(this, &JobRunner::finished, this, [this](bool ok, const QString& reason) {
        const qint64 ran = began_.isValid() ? began_.elapsed() : 0;
        began_.invalidate();
        QObject* owner = parent();
        while (owner != nullptr && !owner->isWidgetType()) {
            owner = owner->parent();
        }
        if (owner == nullptr || ran < desktop_bus::NoticeAfter().count()) {
            return;
        }
        QWidget* window = static_cast<QWidget*>(owner)->window();
        if (window->isActiveWindow() && !window->isMinimized()) {
            return;  // the user sees it end
        }
        desktop_bus::Notify(window, EndText(kind_, ok, doneText_, reason));
    });
}

JobRunner& JobRunner::Jobs() {
    static JobRunner* jobs = new JobRunner(JobKind::kSplit, QCoreApplication::instance());
    return *jobs;
}

bool JobRunner::Start(Work work) {
    return Launch(std::move(work), {});
}

bool JobRunner::Launch(Work work, std::function<void()> afterEnd, bool reportEnd) {
    if (running_) {
        return false;
    }
    running_ = true;
    reportEnd_ = reportEnd;
    if (!began_.isValid()) {
        began_.start();  // a later stage goes on counting
    }
    stop_ = std::make_shared<std::atomic<bool>>(false);
    {
        QMutexLocker lock(&g_jobsMutex);
        ++g_runningJobs;
        g_stops.push_back(stop_);
    }
    (void)Jobs();  // made on this thread, before any job can end

    auto progress = std::make_unique<WorkerProgress>(stop_);
    connect(progress.get(), &WorkerProgress::valueChanged, this, &JobRunner::progressChanged,
            Qt::QueuedConnection);
    connect(progress.get(), &WorkerProgress::percentChanged, this, &JobRunner::percentChanged,
            Qt::QueuedConnection);
    connect(progress.get(), &WorkerProgress::done, this,
            [this](int code, const QString& message) {
                Ended(code == 0 ? Status::Ok()
                                : code == static_cast<int>(Status::Code::kStopped)
                                      ? Status::Cancelled(message.toStdString())
                                      : Status::IoError(message.toStdString()));
            },
            Qt::QueuedConnection);

    // Holds the program open (quit on last window closed waits) until the job has ended.
    auto* keepAlive = new QEventLoopLocker;
    WorkerProgress* raw = progress.release();
    QThread* thread = QThread::create([raw, work = std::move(work), afterEnd = std::move(afterEnd)] {
        const std::unique_ptr<WorkerProgress> owned(raw);  // dies here, on its own thread
        Status status;
        try {
            status = work(*owned);
        } catch (const std::exception& error) {
            status = Status::IoError(error.what());
        }
        emit owned->done(static_cast<int>(status.code()), QString::fromStdString(status.message()));
        if (afterEnd) {
            // Queued after `done`, so it runs once the runner has heard the end.
            QMetaObject::invokeMethod(QCoreApplication::instance(), afterEnd, Qt::QueuedConnection);
        }
    });
    raw->moveToThread(thread);
    // The thread object is no child of the window: closing the window must not destroy a
    // running thread.
    connect(thread, &QThread::finished, thread, [thread, keepAlive] {
        thread->deleteLater();
        delete keepAlive;
        if (RunningJobs() == 0) {
            emit Jobs().allEnded();
        }
    });
    connect(thread, &QThread::finished, thread, [stop = stop_] {
        QMutexLocker lock(&g_jobsMutex);
        std::erase(g_stops, stop);
        --g_runningJobs;
        g_jobsEnded.wakeAll();
    }, Qt::DirectConnection);
    thread->start();
    emit runningChanged(true);
    return true;
}

void JobRunner::Cancel() {
    if (running_ && stop_) {
        stop_->store(true);
    }
}

void JobRunner::Ended(const Status& status) {
    running_ = false;
    emit runningChanged(false);
    if (status.cancelled()) {
        emit cancelled(QString::fromStdString(status.message()));
    } else if (reportEnd_) {
        emit finished(status.ok(), QString::fromStdString(status.message()));
    }
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

void JobRunner::StopAll() {
    {
        QMutexLocker lock(&g_jobsMutex);
        for (const auto& stop : g_stops) {
            stop->store(true);
        }
        while (g_runningJobs > 0) {
            g_jobsEnded.wait(&g_jobsMutex);
        }
    }
    desktop_bus::End();  // the program ends next
}

bool MayLeaveWindow(QWidget* window) {
    if (window == nullptr) {
        return true;
    }
    QList<JobRunner*> running;
    for (JobRunner* runner : window->findChildren<JobRunner*>()) {
        if (runner->IsRunning() && !runner->IsCancelling()) {
            running.append(runner);
        }
    }
    if (running.isEmpty()) {
        return true;
    }
    if (!CurrentPrompter().Question(window, Question(running.last()->Kind()))) {
        return false;
    }
    for (JobRunner* runner : running) {
        runner->Cancel();
    }
    return true;
}

void ShowCancelled(QWidget* window, const QString& text, const QString& note) {
    CurrentPrompter().Information(window, note.isEmpty() ? text : text + QStringLiteral("\n\n") + note);
}

}  // namespace brindle::app

#include "job_runner.moc"

#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

#include "shell/progress.h"
#include "shell/status.h"

class QLabel;
class QProgressBar;

namespace brindle::app {

// Runs one split or join on a worker thread and hands its progress to the window through
// queued signals; the job never touches a widget.
//
// The job outlives its runner: a window closed mid-job only stops hearing from it, and the
// program does not quit before every job has ended, so no piece or output is cut short.
class JobRunner : public QObject {
    Q_OBJECT
public:
    using Work = std::function<Status(Progress&)>;

    explicit JobRunner(QObject* parent = nullptr);

    // False, and nothing started, while this runner's previous job still runs.
    bool Start(Work work);
    bool IsRunning() const { return running_; }
    // Asks the running job to stop; it ends as cancelled, leaving nothing of its own.
    void Cancel();
    bool IsCancelling() const { return running_ && stop_ && stop_->load(); }

    // Moves `bar` (0 to 10000) and, when given, `percent` with the job's progress.
    void Drive(QProgressBar* bar, QLabel* percent = nullptr);

    // Jobs of the whole program that have not ended yet.
    static int RunningJobs();
    // Blocks until every job has ended; for the end of main and for tests.
    static void WaitForAll();
    // Asks every running job to stop and blocks until each has ended and taken back what it
    // wrote. Delivers no event meanwhile: the program is ending, nobody is told.
    static void StopAll();
    // Emits allEnded() on the interface thread each time the last running job has ended.
    static JobRunner& Jobs();

signals:
    void runningChanged(bool running);
    void progressChanged(int value);
    void percentChanged(const QString& text);
    // The job ended by itself: done, or failed with the reason in plain words.
    void finished(bool ok, const QString& reason);
    // The job ended because Cancel asked it to; `note` tells what could not be taken back.
    void cancelled(const QString& note);
    void allEnded();

private:
    void Ended(const Status& status);

    bool running_ = false;
    std::shared_ptr<std::atomic<bool>> stop_;
};

// Asks, when `window` has a job running, whether to stop it, in the words of the runner's
// "job" property: "split" (the default), "join", "rename", "undo" or "dates". Yes cancels
// the window's jobs and returns true; No returns false and the window and its jobs stay.
// True at once when nothing runs.
bool MayLeaveWindow(QWidget* window);

}  // namespace brindle::app

#pragma once

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

#include "shell/progress.h"
#include "shell/status.h"

class QLabel;
class QProgressBar;
class QWidget;

namespace brindle::app {

// What a window's job does; it picks the question asked when the window is left mid-job.
enum class JobKind { kSplit, kJoin, kRename, kUndo, kDates };

// Runs every job a window starts: one split, join, rename, undo or date reading at a time on
// a worker thread, handing its progress to the window through queued signals (the job never
// touches a widget), and the window's folder listings.
//
// The job outlives its runner: a window closed mid-job only stops hearing from it, and the
// program does not quit before every job has ended, so no piece or output is cut short.
class JobRunner : public QObject {
    Q_OBJECT
public:
    using Work = std::function<Status(Progress&)>;

    explicit JobRunner(JobKind kind, QObject* parent = nullptr);

    JobKind Kind() const { return kind_; }

    // False, and nothing started, while this runner's previous job still runs.
    bool Start(Work work);
    // A job with an answer, stopped or not: `then` gets it on the interface thread just after
    // the runner has heard the job end, even when the runner is gone by then, so a window
    // left mid-job still tells how far its job got (a `then` that needs the window holds a
    // QPointer to it).
    template <typename Answer>
    bool Start(std::function<Answer(Progress&)> work, std::function<void(const Answer&)> then);
    // A stage of a longer job. Its work ends the whole job with a Status, reported as Start's
    // job reports its own, or hands an answer to `then` (no finished()), which starts the next
    // stage. A stop is cancelled() either way, and `then` is not called.
    template <typename Answer>
    bool Stage(std::function<std::variant<Answer, Status>(Progress&)> work, std::function<void(const Answer&)> then);
    bool IsRunning() const { return running_; }
    // Asks the running job to stop; it ends as cancelled, leaving nothing of its own.
    void Cancel();
    bool IsCancelling() const { return running_ && stop_ && stop_->load(); }

    // What the desktop notification says when this job ends well while its window is not in
    // front; the kind's own sentence without it.
    void SetDoneText(const QString& text) { doneText_ = text; }

    // Moves `bar` (0 to kBarMax) and, when given, `percent` with the job's progress.
    void Drive(QProgressBar* bar, QLabel* percent = nullptr);

    // A listing: `read` runs off the interface thread and `show` gets what it found here,
    // with a test that stays true until a newer listing of this runner begins (for a list
    // filled in batches). A newer listing supersedes an older one still running, whose answer
    // is dropped, as every answer is once the runner is gone. A listing writes nothing, so it
    // is no job: nobody is asked about it and nothing waits for it.
    template <typename Found>
    void List(std::function<Found()> read, std::function<void(const Found&, std::function<bool()>)> show);

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
    // Start, with `afterEnd` run on the interface thread once the job has ended.
    bool Launch(Work work, std::function<void()> afterEnd, bool reportEnd = true);
    void Ended(const Status& status);
    // The notification and the task bar's progress, for every job but a date reading.
    void TellDesktop();

    JobKind kind_;
    bool running_ = false;
    bool reportEnd_ = true;  // the running job's end is a finished()
    std::shared_ptr<std::atomic<bool>> stop_;
    int listing_ = 0;  // the newest listing
    QElapsedTimer began_;  // since the first stage of the running job
    QString doneText_;
};

template <typename Answer>
bool JobRunner::Start(std::function<Answer(Progress&)> work, std::function<void(const Answer&)> then) {
    auto answer = std::make_shared<std::optional<Answer>>();
    return Launch(
        [work = std::move(work), answer](Progress& progress) {
            answer->emplace(work(progress));
            return Status::Ok();
        },
        [answer, then = std::move(then)] {
            if (*answer) {
                then(**answer);
            }
        });
}

template <typename Answer>
bool JobRunner::Stage(std::function<std::variant<Answer, Status>(Progress&)> work, std::function<void(const Answer&)> then) {
    auto outcome = std::make_shared<std::optional<std::variant<Answer, Status>>>();
    return Launch(
        [work = std::move(work), outcome](Progress& progress) {
            outcome->emplace(work(progress));
            if (progress.StopRequested()) {
                outcome->reset();
                return Status::Cancelled();
            }
            return Status::Ok();
        },
        [runner = QPointer<JobRunner>(this), outcome, then = std::move(then)] {
            if (!*outcome) {
                return;
            }
            if (const Answer* answer = std::get_if<Answer>(&**outcome)) {
                then(*answer);
            } else if (runner) {
                const Status& status = std::get<Status>(**outcome);
                emit runner->finished(status.ok(), QString::fromStdString(status.message()));
            }
        },
        false);
}

template <typename Found>
void JobRunner::List(std::function<Found()> read, std::function<void(const Found&, std::function<bool()>)> show) {
    const int listing = ++listing_;
    auto* watcher = new QFutureWatcher<Found>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, listing, show = std::move(show)] {
        watcher->deleteLater();
        if (listing == listing_) {
            show(watcher->result(),
                 [runner = QPointer<JobRunner>(this), listing] { return runner && runner->listing_ == listing; });
        }
    });
    watcher->setFuture(QtConcurrent::run(std::move(read)));
}

// Asks, when `window` has a job running, whether to stop it, in the words of the job's kind.
// Yes cancels the window's jobs and returns true; No returns false and the window and its
// jobs stay. True at once when nothing runs.
bool MayLeaveWindow(QWidget* window);

// "The split was cancelled." and the like, with what could not be taken back under it.
void ShowCancelled(QWidget* window, const QString& text, const QString& note);

}  // namespace brindle::app

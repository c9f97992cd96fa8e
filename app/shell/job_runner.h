#pragma once

#include <QObject>
#include <QString>
#include <functional>

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

    // Moves `bar` (0 to 10000) and, when given, `percent` with the job's progress.
    void Drive(QProgressBar* bar, QLabel* percent = nullptr);

    // Jobs of the whole program that have not ended yet.
    static int RunningJobs();
    // Blocks until every job has ended; for the end of main and for tests.
    static void WaitForAll();

signals:
    void progressChanged(int value);
    void percentChanged(const QString& text);
    void finished(bool ok, const QString& reason);

private:
    bool running_ = false;
};

}  // namespace brindle::app

#pragma once

#include <QString>
#include <QWidget>

#include "shell/job_runner.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace brindle::app {

// The names a window's form gives the panel's parts.
struct JobPanelNames {
    QString bar = {};
    QString percent = {};   // the whole percentage done; empty for a panel that shows none
    QString unit = {};      // the "%" after it
    QString complete = {};  // a "Complete" after the "%"; empty for none
};

// The row under a split or join: the bar, the percentage, the Cancel button ("cmdCancel")
// and the runner that moves them. Cancel is usable only while the job runs; Escape in the
// window presses it then (ChromeWindow's keys). A cancelled job sets the bar and percentage
// back, enables the window's start button and says "The split was cancelled." or "The join
// was cancelled." with what could not be taken back.
class JobPanel final : public QWidget {
    Q_OBJECT
public:
    JobPanel(JobKind kind, const JobPanelNames& names, QWidget* window);

    JobRunner* Runner() const { return runner_; }
    QProgressBar* Bar() const { return bar_; }
    QLabel* Percent() const { return percent_; }
    void SetStartButton(QPushButton* start) { start_ = start; }
    // The bar at its minimum, the percentage "0".
    void Reset();

private:
    JobRunner* runner_;
    QProgressBar* bar_;
    QLabel* percent_ = nullptr;
    QPushButton* start_ = nullptr;
};

}  // namespace brindle::app

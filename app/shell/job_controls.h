#pragma once

#include <QString>

class QPushButton;
class QRect;
class QWidget;

namespace brindle::app {

class JobRunner;

// The Cancel button beside a job window's bar ("cmdCancel"): usable only while the job
// runs; Escape in the window presses it then (ChromeWindow's keys).
QPushButton* MakeCancelButton(QWidget* window, JobRunner* runner, const QRect& geometry);

// "The split was cancelled." or "The join was cancelled.", with what could not be taken back.
void ShowCancelled(QWidget* window, const QString& text, const QString& note);

}  // namespace brindle::app

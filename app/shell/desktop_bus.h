#pragma once

#include <QString>
#include <chrono>

class QWidget;

namespace brindle::app {

// The desktop's channels on the session bus: a notification when a long job ends unseen and
// the task bar's progress. Without a session bus or a service every call does nothing.
namespace desktop_bus {

// A job that ran for less than this ends without a notification; tests shorten it.
std::chrono::milliseconds& NoticeAfter();

// Shows `text` as a notification whose default action brings `window` back.
void Notify(QWidget* window, const QString& text);

// The task bar's progress, 0 to 1; sent at most a few times a second.
void ShowProgress(double fraction);
// Takes the progress off the task bar.
void ClearProgress();
// At the program's end: clears the task bar and waits until what was sent has left.
void End();

}  // namespace desktop_bus
}  // namespace brindle::app

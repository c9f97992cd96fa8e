#include "shell/job_controls.h"

#include <QPushButton>

#include "shell/job_runner.h"
#include "shell/prompter.h"

namespace brindle::app {

QPushButton* MakeCancelButton(QWidget* window, JobRunner* runner, const QRect& geometry) {
    auto* button = new QPushButton(QStringLiteral("Cancel"), window);
    button->setObjectName(QStringLiteral("cmdCancel"));
    button->setAccessibleName(QStringLiteral("Cancel"));
    button->setToolTip(QStringLiteral("Stop the job (Esc)"));
    button->setAutoDefault(false);
    button->setGeometry(geometry);
    button->setEnabled(runner->IsRunning());
    QObject::connect(button, &QPushButton::clicked, runner, [runner, button] {
        runner->Cancel();
        button->setEnabled(false);  // heard; the job ends within a moment
    });
    QObject::connect(runner, &JobRunner::runningChanged, button, &QPushButton::setEnabled);
    return button;
}

void ShowCancelled(QWidget* window, const QString& text, const QString& note) {
    CurrentPrompter().Information(window, note.isEmpty() ? text : text + QStringLiteral("\n\n") + note);
}

}  // namespace brindle::app

#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>


namespace brindle::app {

// Every message box, file or folder dialog and file-manager window goes through here, so
// tests can answer them and never wait on a modal window or start another program.
class Prompter {
public:
    enum class Icon { None, Information, Question, Warning, Error };
    enum class Buttons { Ok, YesNo, YesNoDefaultNo, OkCancel };
    enum class Answer { Ok, Yes, No, Cancel };

    virtual ~Prompter() = default;

    // An empty title gives the application's title.
    virtual Answer Message(QWidget* parent, const QString& text, const QString& title, Icon icon,
                           Buttons buttons) = 0;
    // Each returns the chosen path, or empty text when the user cancelled.
    virtual QString OpenFile(QWidget* parent, const QString& caption, const QString& folder,
                             const QString& filter) = 0;
    virtual QString SaveFile(QWidget* parent, const QString& caption, const QString& folder,
                             const QString& filter) = 0;
    virtual QString Folder(QWidget* parent, const QString& caption, const QString& folder) = 0;
    // Opens a folder in the desktop's file manager; failures are ignored.
    virtual void ShowFolder(const QString& folder) = 0;

    void Information(QWidget* parent, const QString& text, const QString& title = {}) {
        Message(parent, text, title, Icon::Information, Buttons::Ok);
    }
    void Warning(QWidget* parent, const QString& text, const QString& title = {}) {
        Message(parent, text, title, Icon::Warning, Buttons::Ok);
    }
    void Error(QWidget* parent, const QString& text, const QString& title = {}) {
        Message(parent, text, title, Icon::Error, Buttons::Ok);
    }
    // An error box whose fixed `text` comes first, with `reason`, in plain words, under it.
    virtual void Failure(QWidget* parent, const QString& text, const QString& reason,
                         const QString& title = {}, Icon icon = Icon::Error) {
        Message(parent, reason.isEmpty() ? text : text + QStringLiteral("\n\n") + reason, title,
                icon, Buttons::Ok);
    }
    bool Question(QWidget* parent, const QString& text, const QString& title = {}) {
        return Message(parent, text, title, Icon::Question, Buttons::YesNo) == Answer::Yes;
    }
};

// Held while a dialog opened over `parent` runs, in the dialog's own event loop: the page
// that opened it is neither changed nor closed meanwhile, even through a press that reaches
// its buttons past the dialog (a screen reader's), since the dialog returns to it.
class DialogScope {
public:
    explicit DialogScope(QWidget* parent);
    ~DialogScope();
    DialogScope(const DialogScope&) = delete;
    DialogScope& operator=(const DialogScope&) = delete;

private:
    QPointer<QWidget> window_;
};

// The same for a dialog shown without an event loop of its own: `page` is held until the
// dialog is gone.
void HoldWhileOpen(QWidget* dialog, QWidget* page);

// True while a dialog opened over `page`'s window runs.
bool ShowsDialog(const QWidget* page);

// A file dialog's filter that shows `caption` ("tar File(*.tar)") as it is and lists the files
// `pattern` ("*.tar") matches.
QString FileFilter(const QString& caption, const QString& pattern);

// The prompter the windows use: QMessageBox and QFileDialog unless a test installed another.
Prompter& CurrentPrompter();
// Installs a prompter (not owned); nullptr restores the dialogs.
void SetPrompter(Prompter* prompter);

}  // namespace brindle::app

#pragma once

#include <QList>
#include <functional>
#include <QString>
#include <QStringList>

#include "shell/prompter.h"

namespace brindle::app::test {

// Records every message and dialog instead of showing it, and answers from a script.
class RecordingPrompter final : public Prompter {
public:
    struct Call {
        QString kind;  // "message", "open", "save", "folder" or "show folder"
        QString text;  // the message text, or the dialog's caption
        QString title;
        Icon icon = Icon::None;
        Buttons buttons = Buttons::Ok;
        QString reason;  // what a failure box says under its text
    };

    RecordingPrompter() { SetPrompter(this); }
    ~RecordingPrompter() override { SetPrompter(nullptr); }
    RecordingPrompter(const RecordingPrompter&) = delete;
    RecordingPrompter& operator=(const RecordingPrompter&) = delete;

    QList<Call> calls;
    Answer nextAnswer = Answer::Yes;  // for Yes/No and OK/Cancel questions
    QStringList paths;                // answers of the file and folder dialogs, in order
    std::function<void()> whileAsked;  // run as each message is shown, to see the window then

    Answer Message(QWidget*, const QString& text, const QString& title, Icon icon,
                   Buttons buttons) override {
        calls.append({QStringLiteral("message"), text, title, icon, buttons, {}});
        if (whileAsked) {
            whileAsked();
        }
        return buttons == Buttons::Ok ? Answer::Ok : nextAnswer;
    }
    void Failure(QWidget*, const QString& text, const QString& reason, const QString& title,
                 Icon icon) override {
        calls.append({QStringLiteral("message"), text, title, icon, Buttons::Ok, reason});
    }
    QString OpenFile(QWidget*, const QString& caption, const QString&, const QString&) override {
        return Dialog(QStringLiteral("open"), caption);
    }
    QString SaveFile(QWidget*, const QString& caption, const QString&, const QString&) override {
        return Dialog(QStringLiteral("save"), caption);
    }
    QString Folder(QWidget*, const QString& caption, const QString&) override {
        return Dialog(QStringLiteral("folder"), caption);
    }
    void ShowFolder(const QString& folder) override {
        calls.append({QStringLiteral("show folder"), folder, {}, Icon::None, Buttons::Ok, {}});
    }

private:
    QString Dialog(const QString& kind, const QString& caption) {
        calls.append({kind, caption, {}, Icon::None, Buttons::Ok, {}});
        return paths.isEmpty() ? QString() : paths.takeFirst();
    }
};

}  // namespace brindle::app::test

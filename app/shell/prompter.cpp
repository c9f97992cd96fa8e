#include "shell/prompter.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "shell/startup.h"

namespace brindle::app {
namespace {

class DialogPrompter final : public Prompter {
public:
    Answer Message(QWidget* parent, const QString& text, const QString& title, Icon icon,
                   Buttons buttons) override {
        QMessageBox::StandardButtons shown = QMessageBox::Yes | QMessageBox::No;
        if (buttons == Buttons::Ok) {
            shown = QMessageBox::Ok;
        } else if (buttons == Buttons::OkCancel) {
            shown = QMessageBox::Ok | QMessageBox::Cancel;
        }
        QMessageBox box(ToQt(icon), title.isEmpty() ? kProductName : title, text, shown, parent);
        if (buttons == Buttons::YesNoDefaultNo) {
            box.setDefaultButton(QMessageBox::No);
        }
        const int result = box.exec();
        switch (buttons) {
            case Buttons::Ok:
                return Answer::Ok;
            case Buttons::OkCancel:
                return result == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
            case Buttons::YesNo:
            case Buttons::YesNoDefaultNo:
                break;
        }
        return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    void Failure(QWidget* parent, const QString& text, const QString& reason, const QString& title,
                 Icon icon) override {
        QMessageBox box(ToQt(icon), title.isEmpty() ? kProductName : title, text,
                        QMessageBox::Ok, parent);
        box.setInformativeText(reason);
        box.exec();
    }
    QString OpenFile(QWidget* parent, const QString& caption, const QString& folder,
                     const QString& filter) override {
        return QFileDialog::getOpenFileName(parent, caption, folder, filter, nullptr, kFilterOptions);
    }
    QString SaveFile(QWidget* parent, const QString& caption, const QString& folder,
                     const QString& filter) override {
        return QFileDialog::getSaveFileName(parent, caption, folder, filter, nullptr, kFilterOptions);
    }
    QString Folder(QWidget* parent, const QString& caption, const QString& folder) override {
        return QFileDialog::getExistingDirectory(parent, caption, folder);
    }
    void ShowFolder(const QString& folder) override {
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    }

private:
    // A filter's caption already shows its pattern (FileFilter); the dialog adds none.
    static constexpr QFileDialog::Options kFilterOptions = QFileDialog::HideNameFilterDetails;

    static QMessageBox::Icon ToQt(Icon icon) {
        switch (icon) {
            case Icon::Information:
                return QMessageBox::Information;
            case Icon::Question:
                return QMessageBox::Question;
            case Icon::Warning:
                return QMessageBox::Warning;
            case Icon::Error:
                return QMessageBox::Critical;
            case Icon::None:
                break;
        }
        return QMessageBox::NoIcon;
    }
};

Prompter*& Installed() {
    static Prompter* prompter = nullptr;
    return prompter;
}

}  // namespace

QString FileFilter(const QString& caption, const QString& pattern) {
    return caption + QStringLiteral(" (") + pattern + QLatin1Char(')');
}

Prompter& CurrentPrompter() {
    static DialogPrompter dialogs;
    return Installed() != nullptr ? *Installed() : dialogs;
}

void SetPrompter(Prompter* prompter) {
    Installed() = prompter;
}

}  // namespace brindle::app

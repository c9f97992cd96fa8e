#include "shell/prompter.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>
#include <memory>

#include "shell/startup.h"

namespace brindle::app {
namespace {

class DialogPrompter final : public Prompter {
public:
    Answer Message(QWidget* parent, const QString& text, const QString& title, Icon icon,
                   Buttons buttons) override {
        const DialogScope scope(parent);
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
        const DialogScope scope(parent);
        QMessageBox box(ToQt(icon), title.isEmpty() ? kProductName : title, text,
                        QMessageBox::Ok, parent);
        box.setInformativeText(reason);
        box.exec();
    }
    QString OpenFile(QWidget* parent, const QString& caption, const QString& folder,
                     const QString& filter) override {
        const DialogScope scope(parent);
        return QFileDialog::getOpenFileName(parent, caption, folder, filter, nullptr, kFilterOptions);
    }
    QString SaveFile(QWidget* parent, const QString& caption, const QString& folder,
                     const QString& filter) override {
        const DialogScope scope(parent);
        return QFileDialog::getSaveFileName(parent, caption, folder, filter, nullptr, kFilterOptions);
    }
    QString Folder(QWidget* parent, const QString& caption, const QString& folder) override {
        const DialogScope scope(parent);
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

constexpr char kDialogsOpen[] = "brindleDialogsOpen";

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

DialogScope::DialogScope(QWidget* parent) : window_(parent != nullptr ? parent->window() : nullptr) {
    if (window_) {
        window_->setProperty(kDialogsOpen, window_->property(kDialogsOpen).toInt() + 1);
    }
}

DialogScope::~DialogScope() {
    if (window_) {
        window_->setProperty(kDialogsOpen, window_->property(kDialogsOpen).toInt() - 1);
    }
}

void HoldWhileOpen(QWidget* dialog, QWidget* page) {
    // The scope lives as long as the connection, which ends with the dialog.
    QObject::connect(dialog, &QObject::destroyed, [scope = std::make_shared<DialogScope>(page)] {});
}

bool ShowsDialog(const QWidget* page) {
    return page != nullptr && page->window()->property(kDialogsOpen).toInt() > 0;
}

}  // namespace brindle::app

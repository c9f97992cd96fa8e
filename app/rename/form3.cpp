#include "rename/form3.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "rename/rename_dialogs.h"
#include "shell/path_text.h"
#include "shell/prompter.h"
#include "shell/theme.h"

namespace brindle::app {

Form3::Form3(const std::string& fileName, QWidget* parent)
    : QDialog(parent), oldExtension_(OldExtension(fileName)) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QCoreApplication::translate("Form3", "New File Name"));
    SetTone(this, Tone::Selection);

    auto* label1 = new QLabel(QCoreApplication::translate("Form3", "New File Name"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    text1_ = new QLineEdit(this);
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setAccessibleName(QCoreApplication::translate("Form3", "New File Name"));
    text1_->setMinimumWidth(220);
    label1->setBuddy(text1_);
    auto* dot = new QLabel(QStringLiteral("."), this);
    combo1_ = new QComboBox(this);
    combo1_->setObjectName(QStringLiteral("Combo1"));
    combo1_->setEditable(true);
    combo1_->setAccessibleName(QCoreApplication::translate("Form3", "Extension"));
    combo1_->setMinimumWidth(80);
    combo1_->addItem(DisplayPath(oldExtension_));
    combo1_->setCurrentIndex(0);

    auto* addIt = new QPushButton(QCoreApplication::translate("Form3", "&Add it"), this);
    addIt->setObjectName(QStringLiteral("Command1"));
    addIt->setDefault(true);
    auto* back = new QPushButton(QCoreApplication::translate("Form3", "&Back"), this);
    back->setObjectName(QStringLiteral("Command2"));
    connect(addIt, &QPushButton::clicked, this, &Form3::AddItClicked);
    connect(back, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(label1, 0, 0, 1, 3);
    grid->addWidget(text1_, 1, 0);
    grid->addWidget(dot, 1, 1);
    grid->addWidget(combo1_, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(addIt);
    buttons->addWidget(back);
    grid->addLayout(buttons, 2, 0, 1, 3);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    setTabOrder(text1_, combo1_);
    setTabOrder(combo1_, addIt);
    setTabOrder(addIt, back);
    text1_->setFocus();
}

void Form3::AddItClicked() {
    const std::string typed = text1_->text().toStdString();
    const QString shown = combo1_->currentText();
    const std::string& old = oldExtension_;
    // The old extension as offered keeps its bytes.
    const std::string chosen = shown == DisplayPath(old) ? old : shown.toStdString();
    switch (CheckNewName(typed, chosen, old)) {
        case NewNameCheck::kEmptyName:
            CurrentPrompter().Message(
                this, QCoreApplication::translate("Form3", "Please enter the filename."), {},
                Prompter::Icon::None, Prompter::Buttons::Ok);
            return;
        case NewNameCheck::kExtensionChanged:
            if (CurrentPrompter().Message(
                    this,
                    QCoreApplication::translate("Form3", "File property may be lost. Continue?"),
                    {}, Prompter::Icon::Warning,
                    Prompter::Buttons::OkCancel) != Prompter::Answer::Ok) {
                combo1_->setFocus();
                return;
            }
            break;
        case NewNameCheck::kOk:
            break;
    }
    newName_ = ComposeNewName(typed, chosen, old);
    accept();
}

}  // namespace brindle::app

#include "rename/file_add.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "rename/row_click.h"
#include "shell/batch_fill.h"
#include "shell/prompter.h"
#include "shell/theme.h"

namespace brindle::app {

fileAdd::fileAdd(QWidget* parent)
    : AddDialog(QStringLiteral("fileAdd"), QCoreApplication::translate("FileAdd", "Add Files"),
                QStringLiteral("FolderTreeview1"), parent) {
    auto* label1 = new QLabel(QCoreApplication::translate("FileAdd", "File extension"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    type_ = new QComboBox(this);
    type_->setObjectName(QStringLiteral("cboType"));
    type_->setAccessibleName(QCoreApplication::translate("FileAdd", "File extension"));
    label1->setBuddy(type_);
    // Shown translated; the pattern is taken from the entry as the core has it.
    static const char* const kShownTypes[] = {QT_TRANSLATE_NOOP("FileAdd", "All Files(*.*)"),
                                              QT_TRANSLATE_NOOP("FileAdd", "JPG Files(*.jpg)"),
                                              QT_TRANSLATE_NOOP("FileAdd", "GIF Files(*.gif)"),
                                              QT_TRANSLATE_NOOP("FileAdd", "BMP Files(*.bmp)")};
    static_assert(std::size(kShownTypes) == kFileTypes.size());
    for (std::size_t i = 0; i < kFileTypes.size(); ++i) {
        type_->addItem(
            QCoreApplication::translate("FileAdd", kShownTypes[i]),
            QString::fromUtf8(kFileTypes[i].data(), static_cast<qsizetype>(kFileTypes[i].size())));
    }
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("ListView1"));
    list_->setAccessibleName(QCoreApplication::translate("FileAdd", "Files"));
    list_->setHeaderHidden(true);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ToggleCheckOnRowClick(list_);
    SetTone(list_, Tone::CheckList);

    QPushButton* selectAll =
        MakeButton("Command3", QCoreApplication::translate("FileAdd", "Select &All"));
    QPushButton* deselectAll =
        MakeButton("Command2", QCoreApplication::translate("FileAdd", "&Deselect All"));
    QPushButton* ok = ok_ = MakeButton("Command1", QCoreApplication::translate("FileAdd", "&Ok"));
    QPushButton* cancel = MakeCancelButton("cmdCancel");
    ok->setDefault(true);

    const auto tickAll = [this](Qt::CheckState state) {
        for (int i = 0; i < list_->topLevelItemCount(); ++i) {
            list_->topLevelItem(i)->setCheckState(0, state);
        }
    };
    connect(selectAll, &QPushButton::clicked, this, [tickAll] { tickAll(Qt::Checked); });
    connect(deselectAll, &QPushButton::clicked, this, [tickAll] { tickAll(Qt::Unchecked); });
    connect(ok, &QPushButton::clicked, this, &fileAdd::OkClicked);

    auto* right = new QVBoxLayout;
    auto* typeRow = new QHBoxLayout;
    typeRow->addWidget(label1);
    typeRow->addWidget(type_, 1);
    right->addLayout(typeRow);
    right->addWidget(list_, 1);
    auto* ticks = new QHBoxLayout;
    ticks->addWidget(selectAll);
    ticks->addWidget(deselectAll);
    ticks->addStretch();
    right->addLayout(ticks);
    auto* grid = new QGridLayout(this);
    grid->addWidget(folders(), 0, 0);
    grid->addLayout(right, 0, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    auto* confirm = new QHBoxLayout;
    confirm->addStretch();
    confirm->addWidget(ok);
    confirm->addWidget(cancel);
    grid->addLayout(confirm, 1, 0, 1, 2);

    setTabOrder(tree(), type_);
    setTabOrder(type_, list_);
    setTabOrder(list_, selectAll);
    setTabOrder(selectAll, deselectAll);
    setTabOrder(deselectAll, ok);
    setTabOrder(ok, cancel);

    connect(type_, &QComboBox::currentIndexChanged, this, [this] {
        pattern_ =
            QString::fromStdString(PatternOfType(type_->currentData().toString().toStdString()));
        ListFolder();
    });
    StartListing(ok_, list_);
}

void fileAdd::ListFolder() {
    if (folder().isEmpty()) {
        return;
    }
    ListOffThread<FilePicker>(
        [path = folder().toStdString(), pattern = pattern_.toStdString()] {
            FilePicker picker;
            picker.Show(path, pattern);
            return picker;
        },
        [this](const FilePicker& picker, const QStringList& names, std::function<bool()> current) {
            picker_ = picker;
            list_->clear();
            if (!picker.listing().ok()) {
                CurrentPrompter().Warning(this, QString::fromStdString(picker.listing().message()));
            }
            const auto row = [names](qsizetype i) {
                auto* item = new QTreeWidgetItem(QStringList{names[i]});
                item->setCheckState(0, Qt::Unchecked);
                return item;
            };
            AddInBatches(list_, names.size(), row, std::move(current), [this] { EndListing(); });
        });
}

void fileAdd::OkClicked() {
    picker_.TickAll(false);
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        if (list_->topLevelItem(i)->checkState(0) == Qt::Checked) {
            picker_.ToggleTick(static_cast<std::size_t>(i));
        }
    }
    Confirm(picker_.Confirm(), QCoreApplication::translate("FileAdd", "No file selected."));
}

}  // namespace brindle::app

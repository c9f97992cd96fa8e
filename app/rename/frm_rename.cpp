#include "rename/frm_rename.h"

#include <QCoreApplication>
#include <QFont>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLayout>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

#include "rename/add_dialog.h"
#include "rename/add_folder.h"
#include "rename/apply_renames.h"
#include "rename/conflict_marks.h"
#include "rename/file_add.h"
#include "rename/form3.h"
#include "rename/frm_rename2.h"
#include "rename/natural_order.h"
#include "rename/rename_journal.h"
#include "rename/row_click.h"
#include "shell/file_drop.h"
#include "shell/job_runner.h"
#include "shell/navigation.h"
#include "shell/numbers.h"
#include "shell/path_text.h"
#include "shell/prompter.h"
#include "shell/theme.h"

namespace brindle::app {
namespace {

constexpr int kColumnWidths[4] = {168, 168, 72, 184};
constexpr int kListHeight = 176;  // leaves room for Undo Rename under Rename Files

QString Q(const std::string& text) {
    return DisplayPath(text);
}

QTreeWidgetItem* MakeItem(const RenameRow& row) {
    auto* item = new QTreeWidgetItem(
        QStringList{Q(row.fileName), Q(row.newFileName), SizeText(row.fileBytes), Q(row.fileLocation)});
    SetItemBytes(item, row.key);
    item->setCheckState(0, row.checked ? Qt::Checked : Qt::Unchecked);
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

// Rows given their names or marks in one turn of the event loop: about 6 ms of names or
// 10 ms of marks, where 100,000 rows would hold the window a tenth of a second.
constexpr int kRowsPerTurn = 10000;

// Makes `change` to rows [from, to) of `column` and tells the view once: told of each item on
// its own, the view looks every one up among all its rows, seconds for 100,000 rows.
void ChangeColumn(QTreeWidget* view, int column, int from, int to, const std::function<void()>& change) {
    QAbstractItemModel* model = view->model();
    const bool blocked = model->blockSignals(true);
    change();
    model->blockSignals(blocked);
    if (from < to && !blocked) {
        emit model->dataChanged(model->index(from, column), model->index(to - 1, column));
    }
}

// Sizes a page and then the window that holds it for what they hold now.
void Relayout(QWidget* page) {
    for (QWidget* widget : {page, page->window()}) {
        if (widget->layout() != nullptr) {
            widget->layout()->activate();
        }
    }
}

// Enter on a row opens the new name dialog, as a double-click does.
class EnterOpens final : public QObject {
public:
    EnterOpens(QTreeWidget* view, std::function<void(QTreeWidgetItem*)> open)
        : QObject(view), view_(view), open_(std::move(open)) {
        view->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if ((key == Qt::Key_Return || key == Qt::Key_Enter) && view_->currentItem()) {
                open_(view_->currentItem());
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QTreeWidget* view_;
    std::function<void(QTreeWidgetItem*)> open_;
};

// After a stopped undo. The count goes in as a plain variable: lupdate loses a text whose
// count has a cast.
QString RenamedBackNote(std::size_t undone) {
    const int count = static_cast<int>(undone);
    return QCoreApplication::translate(
        "frmRename", "%n file(s) were renamed back; Undo Rename renames the rest back.", nullptr,
        count);
}

// A rename or undo of the window's heeds the window's stop and says when it waits its turn.
RunControl WindowControl(Progress& progress) {
    return {[&progress] {
                progress.SetPercentText(
                    QCoreApplication::translate("frmRename", "waiting for another rename to finish")
                        .toStdString());
            },
            [&progress] { return progress.StopRequested(); }};
}

void ShowRenameOutcome(QWidget* parent, const RenameOutcome& outcome) {
    if (outcome.stopped) {
        const int renamed = static_cast<int>(outcome.renamed);
        ShowCancelled(parent, QCoreApplication::translate("frmRename", "The rename was stopped."),
                      QCoreApplication::translate(
                          "frmRename", "%n file(s) were renamed; Undo Rename renames them back.",
                          nullptr, renamed));
        return;
    }
    const std::string_view message = outcome.message();
    CurrentPrompter().Failure(
        parent, QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size())),
        QString::fromStdString(outcome.error.message()), {}, Prompter::Icon::None);
}

}  // namespace

QString SizeText(std::optional<std::int64_t> bytes) {
    if (!bytes) {
        return {};
    }
    // A C locale groups no digits (nor does the C library's): the column reads as it always did.
    QLocale locale;
    if (locale.language() == QLocale::C) {
        locale = QLocale::c();
    }
    return QCoreApplication::translate("frmRename", "%1 KB")
        .arg(locale.toString(
            std::max<qint64>(RoundHalfEven(static_cast<double>(*bytes) / 1024.0), 1)));
}

frmRename::frmRename(JobValuesPtr values)
    : ChromeWindow(JobWindowChrome(2, QCoreApplication::translate("frmRename", "Batch Renaming"),
                                   QSize(640, 384)),
                   nullptr, std::move(values)) {
    setObjectName(QStringLiteral("frmRename"));

    view_ = new QTreeWidget(this);
    view_->setObjectName(QStringLiteral("ListView1"));
    view_->setAccessibleName(QCoreApplication::translate("frmRename", "Files to rename"));
    view_->setHeaderLabels({QCoreApplication::translate("frmRename", "File Name"),
                            QCoreApplication::translate("frmRename", "New File Name"),
                            QCoreApplication::translate("frmRename", "File Size"),
                            QCoreApplication::translate("frmRename", "File Location")});
    view_->setRootIsDecorated(false);
    view_->setItemsExpandable(false);
    view_->setUniformRowHeights(true);
    view_->setAllColumnsShowFocus(true);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->header()->setStretchLastSection(false);
    view_->setTextElideMode(Qt::ElideMiddle);
    view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    int listWidth = 2 * view_->frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const QFontMetrics headerMetrics = view_->header()->fontMetrics();
    for (int column = 0; column < 4; ++column) {
        // A larger font or a longer heading widens its column.
        const int width = std::max(kColumnWidths[column],
                                   headerMetrics.horizontalAdvance(view_->headerItem()->text(column)) +
                                       4 * headerMetrics.averageCharWidth());
        view_->setColumnWidth(column, width);
        listWidth += width;
    }
    // Exactly as wide as the four columns together.
    view_->setFixedWidth(listWidth);
    view_->setMinimumHeight(kListHeight / 2);
    namesWidth_ = listWidth - view_->columnWidth(2) - view_->columnWidth(3);
    ToggleCheckOnRowClick(view_);
    SetTone(view_, Tone::CheckList);
    connect(view_, &QTreeWidget::itemChanged, this, &frmRename::ItemChanged);
    // A double-click on empty space finds no item, so nothing opens.
    connect(view_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { OpenNewNameDialog(item); });
    new EnterOpens(view_, [this](QTreeWidgetItem* item) { OpenNewNameDialog(item); });
    view_->header()->setSectionsClickable(true);
    connect(view_->header(), &QHeaderView::sectionClicked, this, &frmRename::SortByColumn);
    planner_ = new ConflictPlanner(this);
    connect(planner_, &ConflictPlanner::planned, this, [this] { ShowConflicts(planner_->TakeReasons()); });

    auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    QPushButton* addFolderButton =
        button("cmdAddFolder", QCoreApplication::translate("frmRename", "Add &Folder"));
    QPushButton* addFiles =
        button("Command1", QCoreApplication::translate("frmRename", "&Add File(s)"));
    QPushButton* remove = button("cmdRemove", QCoreApplication::translate("frmRename", "&Remove"));
    QPushButton* clear = button("cmdClear", QCoreApplication::translate("frmRename", "&Clear"));
    QPushButton* applyRule =
        button("cmdSetting", QCoreApplication::translate("frmRename", "Apply R&ule"));
    QPushButton* selectAll =
        button("cmdSelectAll", QCoreApplication::translate("frmRename", "Select All"));
    QPushButton* deselect =
        button("Deselect", QCoreApplication::translate("frmRename", "Deselect All"));
    QPushButton* renameFiles =
        button("Command4", QCoreApplication::translate("frmRename", "&Rename Files"));
    undo_ = button("cmdUndo", QCoreApplication::translate("frmRename", "Undo Rename"));
    renameFiles_ = renameFiles;

    auto* buttons = buttons_ = new QWidget(this);
    auto* grid = new QGridLayout(buttons);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    grid->addWidget(addFolderButton, 0, 0);
    grid->addWidget(addFiles, 1, 0);
    grid->addWidget(remove, 0, 1, 2, 1, Qt::AlignVCenter);
    grid->addWidget(clear, 0, 2, 2, 1, Qt::AlignVCenter);
    grid->addWidget(applyRule, 0, 3, 2, 1, Qt::AlignVCenter);
    grid->addWidget(selectAll, 0, 4);
    grid->addWidget(deselect, 1, 4);
    grid->setColumnStretch(5, 1);
    grid->addWidget(renameFiles, 0, 6);
    grid->addWidget(undo_, 1, 6);
    for (const int column : {0, 1, 2, 3, 4, 6}) {
        // Never narrower than at the default font; wider for a longer caption.
        grid->setColumnMinimumWidth(column, 88);
    }
    QFont strong = renameFiles->font();
    strong.setBold(true);
    renameFiles->setFont(strong);
    // Rename Files stands out: nearly as tall as two buttons.
    renameFiles->setMinimumHeight(renameFiles->sizeHint().height() * 5 / 3);

    // Never narrower than the buttons under it (a larger font, a longer translation): the
    // last column takes the rest, so the list spans the window as it does by default.
    if (const int buttonsWidth = buttons->sizeHint().width(); buttonsWidth > view_->width()) {
        view_->setColumnWidth(3, view_->columnWidth(3) + buttonsWidth - view_->width());
        view_->setFixedWidth(buttonsWidth);
    }

    // The list above its buttons, centred; the docked editor comes beside them.
    auto* column = new QVBoxLayout;
    column->setSpacing(14);
    column->addWidget(view_, 1, Qt::AlignHCenter);
    column->addWidget(buttons);
    dock_ = new QHBoxLayout;
    dock_->setSpacing(kEditorGap);
    dock_->addLayout(column);
    Body()->setContentsMargins(16, 10, 16, 4);
    Body()->addLayout(dock_);

    setTabOrder(view_, addFolderButton);
    setTabOrder(addFolderButton, addFiles);
    setTabOrder(addFiles, remove);
    setTabOrder(remove, clear);
    setTabOrder(clear, applyRule);
    setTabOrder(applyRule, selectAll);
    setTabOrder(selectAll, deselect);
    setTabOrder(deselect, renameFiles);
    setTabOrder(renameFiles, undo_);

    connect(addFiles, &QPushButton::clicked, this, [this] { ShowAddDialog(AddSource::kAddFiles); });
    connect(addFolderButton, &QPushButton::clicked, this,
            [this] { ShowAddDialog(AddSource::kAddFolder); });
    connect(remove, &QPushButton::clicked, this, [this] {
        list_.RemoveChecked();
        Rebuild();
    });
    connect(clear, &QPushButton::clicked, this, [this] {
        list_.ClearChecked();
        ShowNewNames();
    });
    connect(selectAll, &QPushButton::clicked, this, [this] { SetChecks(true); });
    connect(deselect, &QPushButton::clicked, this, [this] { SetChecks(false); });
    connect(applyRule, &QPushButton::clicked, this, &frmRename::ApplyRuleClicked);
    connect(renameFiles, &QPushButton::clicked, this, &frmRename::RenameFilesClicked);
    connect(undo_, &QPushButton::clicked, this, &frmRename::UndoClicked);
    renameRunner_ = new JobRunner(JobKind::kRename, this);
    undoRunner_ = new JobRunner(JobKind::kUndo, this);
    for (JobRunner* runner : {renameRunner_, undoRunner_}) {
        connect(runner, &JobRunner::percentChanged, view_, &QWidget::setToolTip);
        connect(runner, &JobRunner::runningChanged, view_, [this] { view_->setToolTip({}); });
    }
    // The buttons follow the jobs themselves, which end just after their outcome is shown.
    connect(renameRunner_, &JobRunner::runningChanged, this, [this](bool running) {
        SetBusy(running);
        RefreshUndo();
    });
    connect(undoRunner_, &JobRunner::runningChanged, this, [this](bool running) {
        renameFiles_->setEnabled(!running);
        RefreshUndo();
    });
    RefreshUndo();
    view_->setFocus();
}

void frmRename::ShowNewNames() {
    // A hundred thousand rows take a while to look up on disk: the window stays free.
    planner_->Plan(list_.rows());
    NameRows(++namePass_, 0);
}

void frmRename::NameRows(std::uint64_t pass, int from) {
    if (pass != namePass_) {
        return;  // a later pass, or a rebuild, took over
    }
    // Each turn reads the rows as they are then, so a sort meanwhile is shown as it stands.
    const auto& rows = list_.rows();
    const int count = std::min(view_->topLevelItemCount(), static_cast<int>(rows.size()));
    const int to = std::min(count, from + kRowsPerTurn);
    ChangeColumn(view_, 1, from, to, [&] {
        for (int i = from; i < to; ++i) {
            view_->topLevelItem(i)->setText(1, Q(rows[static_cast<std::size_t>(i)].newFileName));
        }
    });
    if (to < count) {
        QTimer::singleShot(0, this, [this, pass, to] { NameRows(pass, to); });
    }
}

bool frmRename::IsPlanning() const { return planner_->Busy() || shownBefore_.has_value(); }

void frmRename::ShowConflicts(ConflictReasons reasons) {
    conflicts_.swap(reasons);
    if (shownBefore_) {
        // Rows an unfinished pass did not reach still show what was before it.
        reasons.merge(*shownBefore_);
    }
    shownBefore_ = std::move(reasons);
    MarkRows(++markPass_, 0);
}

void frmRename::MarkRows(std::uint64_t pass, int from) {
    if (pass != markPass_ || !shownBefore_) {
        return;  // a later pass, or a rebuild, took over
    }
    // Only the rows marked before or now can change: with no conflict then or now, none.
    const auto& rows = list_.rows();
    const int count = conflicts_.empty() && shownBefore_->empty()
                          ? 0
                          : std::min(view_->topLevelItemCount(), static_cast<int>(rows.size()));
    const int to = std::min(count, from + kRowsPerTurn);
    if (from < to) {
        const ConflictLook look(view_);
        ChangeColumn(view_, 1, from, to, [&] {
            for (int i = from; i < to; ++i) {
                const std::string& key = rows[static_cast<std::size_t>(i)].key;
                if (const auto now = conflicts_.find(key); now != conflicts_.end()) {
                    MarkConflict(view_->topLevelItem(i), now->second, look);
                } else if (shownBefore_->contains(key)) {
                    MarkConflict(view_->topLevelItem(i), {}, look);
                }
            }
        });
    }
    if (to < count) {
        QTimer::singleShot(0, this, [this, pass, to] { MarkRows(pass, to); });
        return;
    }
    shownBefore_.reset();
    emit conflictsMarked();
}

void frmRename::SortByColumn(int column) {
    static constexpr RowOrder kOrders[] = {RowOrder::kNatural, RowOrder::kAsGiven, RowOrder::kSize,
                                           RowOrder::kLocation};
    if (busy_ || column < 0 || column > 3 || kOrders[column] == RowOrder::kAsGiven) {
        return;
    }
    const bool reverse = column == sortColumn_ && !sortReversed_;
    SortRows(list_.rows(), kOrders[column], reverse);
    sortColumn_ = column;
    sortReversed_ = reverse;
    view_->header()->setSortIndicatorShown(true);
    view_->header()->setSortIndicator(column, reverse ? Qt::DescendingOrder : Qt::AscendingOrder);
    Rebuild();
}

void frmRename::AddFileString(const std::string& filestring, AddSource source) {
    const auto choice = ReadFileString(filestring, source);
    if (!choice) {
        return;
    }
    const std::size_t before = list_.rows().size();
    const std::size_t added = list_.Add(*choice, source);
    if (added == 0) {
        return;
    }
    if (source == AddSource::kAddFolder) {
        Rebuild();
        return;
    }
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(added));
    for (std::size_t i = before; i < list_.rows().size(); ++i) {
        items.append(MakeItem(list_.rows()[i]));
    }
    filling_ = true;
    view_->addTopLevelItems(items);
    filling_ = false;
}

bool frmRename::TakesDrop(const QMimeData& drag) const {
    const std::vector<std::string> paths = DroppedPaths(drag);
    return !paths.empty() && std::all_of(paths.begin(), paths.end(), [](const std::string& path) {
        return IsFolder(path) || IsRegularFile(path);
    });
}

void frmRename::TakeDrop(const QMimeData& drag) {
    AddPaths(DroppedPaths(drag));
}

void frmRename::AddPaths(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        bool folder = false;
        Status listing;
        if (const std::optional<std::string> filestring = DroppedFileString(path, &folder, &listing)) {
            AddFileString(*filestring, folder ? AddSource::kAddFolder : AddSource::kAddFiles);
        }
        if (!listing.ok()) {
            CurrentPrompter().Warning(this, QString::fromStdString(listing.message()));
        }
    }
}

void frmRename::ShowAddDialog(AddSource source) {
    QDialog* dialog = nullptr;
    if (source == AddSource::kAddFiles) {
        auto* files = new fileAdd(this);
        connect(files, &QDialog::finished, this,
                [this, files] { AddFileString(files->filestring(), AddSource::kAddFiles); });
        dialog = files;
    } else {
        auto* folder = new addFolder(this);
        connect(folder, &QDialog::finished, this,
                [this, folder] { AddFileString(folder->filestring(), AddSource::kAddFolder); });
        dialog = folder;
    }
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    HoldWhileOpen(dialog, this);
    dialog->show();
}

void frmRename::OpenNewNameDialog(QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    // Found again by key, the path's bytes: the row may have moved by the time the dialog is
    // answered, and two names that are not UTF-8 can look alike.
    const std::string key = ItemBytes(item);
    const auto found = std::find_if(list_.rows().begin(), list_.rows().end(),
                                    [&key](const RenameRow& row) { return row.key == key; });
    if (found == list_.rows().end()) {
        return;
    }
    auto* dialog = new Form3(found->fileName, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    HoldWhileOpen(dialog, this);
    connect(dialog, &QDialog::accepted, this, [this, dialog, key] {
        for (RenameRow& row : list_.rows()) {
            if (row.key == key) {
                row.newFileName = dialog->newName();
                ShowNewNames();
                return;
            }
        }
    });
    dialog->show();
}

void frmRename::ApplyRuleClicked() {
    if (editor_ != nullptr) {
        editor_->raise();
        editor_->activateWindow();
        return;
    }
    editor_ = new frmRename2(this);
    editor_->layout()->activate();  // its size for the font and captions it has
    QWidget* window = this->window();
    const QScreen* screen = window->screen();
    const bool placesWindows = !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    const EditorPlace place =
        screen == nullptr ? EditorPlace{!placesWindows, window->pos(), window->pos()}
                          : PlaceRuleEditor(window->frameGeometry(), editor_->frameGeometry().size(),
                                            screen->availableGeometry(), placesWindows);
    if (place.docked) {
        DockEditor();
        KeepOnScreen(window);
    } else {
        // Beside the list, so its columns and buttons stay in view and usable.
        window->move(window->pos() + place.list - window->frameGeometry().topLeft());
        editor_->move(place.editor);
    }
    editor_->show();
    editor_->activateWindow();
}

void frmRename::DockEditor() {
    QWidget* window = this->window();
    undockedSize_ = window->size();
    const int listWidth = view_->width();
    editor_->Dock();
    dock_->addWidget(editor_, 0, Qt::AlignTop);
    editor_->show();
    // The window grows to hold both now, not when the layout next runs, so that it can be
    // kept on the screen; the list gives up its last columns as far as the screen needs,
    // never File Name and New File Name.
    Relayout(this);
    const QScreen* screen = window->screen();
    const int room = screen != nullptr ? screen->availableGeometry().width() : QWIDGETSIZE_MAX;
    if (const int over = window->frameGeometry().width() - room; over > 0) {
        view_->setFixedWidth(std::max(listWidth - over, std::min(namesWidth_, listWidth)));
        Relayout(this);
    }
    QPointer<QScrollArea> scroll = screen != nullptr ? ScrollEditorIfTooLarge(screen->availableGeometry()) : nullptr;
    // The window takes its size back when the editor goes.
    undock_ = connect(editor_, &QObject::destroyed, this, [this, window, listWidth, scroll] {
        // The editor is still being taken apart inside it: out of the layout now, gone later.
        if (scroll != nullptr) {
            scroll->hide();
            scroll->deleteLater();
        }
        view_->setFixedWidth(listWidth);
        Relayout(this);
        window->resize(undockedSize_.expandedTo(window->minimumSize()));
    });
}

QScrollArea* frmRename::ScrollEditorIfTooLarge(const QRect& room) {
    QWidget* window = this->window();
    const QSize over = window->frameGeometry().size() - room.size();
    if (over.width() <= 0 && over.height() <= 0) {
        return nullptr;
    }
    // A large font on a small screen: the editor scrolls within what the screen has left, so
    // no part of the window lies past its edge.
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("editorScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    const int bar = scroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll);
    QSize size = editor_->size();
    size.rwidth() -= std::max(over.width(), 0);
    size.rheight() -= std::max(over.height(), 0);
    // The bar one way takes room the other way, where the screen has it.
    if (over.width() > 0 && over.height() < 0) {
        size.rheight() += std::min(bar, -over.height());
    }
    if (over.height() > 0 && over.width() < 0) {
        size.rwidth() += std::min(bar, -over.width());
    }
    // Scrolling through a sliver helps nobody: on a screen that small the window stays as
    // wide as it must, from the screen's left edge.
    if (size.width() < std::max(editor_->width() / 3, 200)) {
        delete scroll;
        return nullptr;
    }
    dock_->removeWidget(editor_);
    scroll->setWidget(editor_);
    scroll->setFixedSize(size);
    dock_->addWidget(scroll, 0, Qt::AlignTop);
    scroll->show();
    Relayout(this);
    return scroll;
}

frmRename::~frmRename() {
    // The window is going too: nothing to give back.
    disconnect(undock_);
}

bool frmRename::EditorDocked() const {
    return editor_ != nullptr && !editor_->isWindow();
}

EditorPlace PlaceRuleEditor(const QRect& list, QSize editor, const QRect& room, bool placesWindows) {
    const int pairWidth = list.width() + kEditorGap + editor.width();
    if (!placesWindows || pairWidth > room.width()) {
        return {true, list.topLeft(), {}};
    }
    QRect moved = list;
    QPoint at = PlaceBeside(moved, editor, room, kEditorGap);
    if (QRect(at, editor).intersects(moved)) {
        // No room on either side where the list stands: the pair moves as little as it must.
        moved.moveLeft(std::clamp(moved.x(), room.x(), room.x() + room.width() - pairWidth));
        at = PlaceBeside(moved, editor, room, kEditorGap);
    }
    return {false, moved.topLeft(), at};
}

void frmRename::RenameFilesClicked() {
    // Thousands of renames on a slow or network disk run off the interface thread; the list
    // and everything that could change it wait until they are done. The run plans the rows
    // itself, and its conflicts are the ones to show.
    planner_->Cancel();
    renameRunner_->Start<RenameOutcome>(
        [rows = list_.rows()](Progress& progress) { return RenameAndRecord(rows, {}, WindowControl(progress)); },
        [list = QPointer(this)](const RenameOutcome& outcome) {
            if (list != nullptr) {
                list->RenamesDone(outcome);
            } else {
                ShowRenameOutcome(nullptr, outcome);
            }
        });
}

void frmRename::SetBusy(bool busy) {
    busy_ = busy;
    buttons_->setEnabled(!busy);
    view_->setEnabled(!busy);
    if (editor_ != nullptr) {
        editor_->setEnabled(!busy);
    }
    if (busy) {
        setCursor(Qt::BusyCursor);
    } else {
        unsetCursor();
    }
}

void frmRename::RenamesDone(const RenameOutcome& outcome) {
    if (!outcome.conflicts.empty()) {
        ShowConflicts(ReasonsByKey(list_.rows(), outcome.conflicts));
        const int count = static_cast<int>(outcome.conflicts.size());
        CurrentPrompter().Failure(
            this,
            QCoreApplication::translate("frmRename",
                                        "%n row(s) have a new name that cannot be given, so no file was "
                                        "renamed. The marked rows say why.",
                                        nullptr, count),
            QString::fromStdString(outcome.conflicts.front().reason), {}, Prompter::Icon::None);
    }
    if (!outcome.ok()) {
        // Show the user where it stopped.
        if (QTreeWidgetItem* item = view_->topLevelItem(static_cast<int>(outcome.failedRow))) {
            view_->setCurrentItem(item);
            view_->scrollToItem(item);
        }
    }
    RefreshUndo();
    if (outcome.conflicts.empty()) {
        ShowRenameOutcome(this, outcome);
    }
    emit renamesDone();
}

void frmRename::RefreshUndo() {
    undo_->setEnabled(!undoRunner_->IsRunning() && HasRunToUndo(DefaultJournalFolder()));
}

void frmRename::changeEvent(QEvent* event) {
    // The command may have renamed or undone something meanwhile.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        RefreshUndo();
    }
    ChromeWindow::changeEvent(event);
}

void frmRename::UndoClicked() {
    undoRunner_->Start<UndoOutcome>(
        [folder = DefaultJournalFolder()](Progress& progress) {
            return UndoLastRun(folder, false, WindowControl(progress));
        },
        [list = QPointer(this)](const UndoOutcome& outcome) {
            if (list != nullptr) {
                list->UndoDone(outcome);
            } else if (outcome.stopped) {
                ShowCancelled(nullptr,
                              QCoreApplication::translate("frmRename", "The undo was stopped."),
                              RenamedBackNote(outcome.UndoneCount()));
            }
        });
}

void frmRename::UndoDone(const UndoOutcome& outcome) {
    for (const UndoStep& step : outcome.steps) {
        if (step.skipped.empty()) {
            list_.FollowRename(step.from, step.to);
        }
    }
    if (!outcome.steps.empty()) {
        Rebuild();
    }
    if (outcome.stopped) {
        ShowCancelled(this, QCoreApplication::translate("frmRename", "The undo was stopped."),
                      RenamedBackNote(outcome.UndoneCount()));
    } else if (!outcome.nothingToUndo) {
        const QString message = QString::fromUtf8(RenameReport(outcome.ok()));
        // Under the fixed text, each file that was left alone and why.
        QStringList reasons;
        for (const UndoStep& step : outcome.steps) {
            if (!step.skipped.empty()) {
                reasons << QString::fromStdString(step.from + " -> " + step.to + ": " + step.skipped);
            }
        }
        if (!outcome.error.ok()) {
            reasons << QString::fromStdString(outcome.error.message());
        }
        CurrentPrompter().Failure(this, message, reasons.join(QLatin1Char('\n')), {},
                                  Prompter::Icon::None);
        if (outcome.kept && outcome.error.ok() &&
            !CurrentPrompter().Question(
                this, QCoreApplication::translate(
                          "frmRename", "Some files could not be renamed back. Try again later?"))) {
            // Asked on this thread, so only tried: a rename under way now keeps the run.
            const Status forgot = ForgetLastRun(DefaultJournalFolder(), {{}, [] { return true; }});
            if (!forgot.ok()) {
                CurrentPrompter().Failure(this, QString::fromUtf8(RenameReport(false)),
                                          QString::fromStdString(forgot.message()), {},
                                          Prompter::Icon::None);
            }
        }
    }
    RefreshUndo();
}

void frmRename::Rebuild() {
    const int scroll = view_->verticalScrollBar()->value();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(list_.rows().size()));
    const ConflictLook look(view_);
    for (const RenameRow& row : list_.rows()) {
        items.append(MakeItem(row));
        if (const auto marked = conflicts_.find(row.key); marked != conflicts_.end()) {
            MarkConflict(items.back(), marked->second, look);
        }
    }
    filling_ = true;
    view_->clear();
    view_->addTopLevelItems(items);
    filling_ = false;
    view_->verticalScrollBar()->setValue(scroll);
    ++namePass_;  // the new items have their names
    if (shownBefore_) {
        // The new items show conflicts_ already: the pass under way is done.
        shownBefore_.reset();
        emit conflictsMarked();
    }
}

void frmRename::SetChecks(bool checked) {
    if (checked) {
        list_.CheckAll();
    } else {
        list_.UncheckAll();
    }
    const Qt::CheckState state = checked ? Qt::Checked : Qt::Unchecked;
    ChangeColumn(view_, 0, 0, view_->topLevelItemCount(), [&] {
        for (int i = 0; i < view_->topLevelItemCount(); ++i) {
            view_->topLevelItem(i)->setCheckState(0, state);
        }
    });
}

void frmRename::ItemChanged(QTreeWidgetItem* item, int column) {
    if (filling_ || column != 0) {
        return;
    }
    const int index = view_->indexOfTopLevelItem(item);
    if (index >= 0 && static_cast<std::size_t>(index) < list_.rows().size()) {
        list_.rows()[static_cast<std::size_t>(index)].checked = item->checkState(0) == Qt::Checked;
    }
}

}  // namespace brindle::app

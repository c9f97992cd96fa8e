#include "join/frm_join.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <utility>

#include "format/discovery.h"
#include "format/numbered_group.h"
#include "io/file_io.h"
#include "join/join_pages.h"
#include "join/join_state.h"
#include "join/rebuild_step.h"
#include "shell/batch_fill.h"
#include "shell/file_drop.h"
#include "shell/form_controls.h"
#include "shell/job_runner.h"
#include "shell/path_text.h"
#include "shell/paths.h"
#include "shell/prompter.h"
#include "shell/theme.h"

namespace brindle::app {
frmJoin::frmJoin(JobValuesPtr values)
    : ChromeWindow(
          JobWindowChrome(1, QCoreApplication::translate("frmJoin", "Merge Files · Step 1 of 2")),
          nullptr, std::move(values)) {
    setObjectName(QStringLiteral("frmJoin"));
    lister_ = new JobRunner(JobKind::kJoin, this);

    QVBoxLayout* body = Body();
    body->setContentsMargins(24, 12, 24, 16);
    body->setSpacing(0);
    QLabel* label1 = MakeCaption(QCoreApplication::translate("frmJoin", "Group Location"),
                                 QStringLiteral("Label1"), this);
    SetLeastSize(label1, QSize(0, 20));
    txtPath = MakeTextBox(QStringLiteral("txtPath"), label1, this);
    SetLeastSize(txtPath, QSize(0, 28));
    QToolButton* cmdBrowse = cmdBrowse_ = MakeBrowseButton(
        QCoreApplication::translate("frmJoin", "Choose the folder of the pieces"), this);
    connect(cmdBrowse, &QToolButton::clicked, this, &frmJoin::cmdBrowse_Click);
    body->addWidget(label1);
    body->addSpacing(2);
    body->addLayout(PathRow(txtPath, cmdBrowse, 6));
    body->addSpacing(12);

    // The group list and the information panel share the width, each under its caption.
    auto* columns = new QGridLayout;
    columns->setHorizontalSpacing(16);
    columns->setVerticalSpacing(2);
    columns->setColumnStretch(0, 1);
    columns->setColumnStretch(1, 1);
    columns->setRowStretch(1, 1);
    body->addLayout(columns, 1);
    QLabel* label2 = MakeCaption(QCoreApplication::translate("frmJoin", "File Group Found"),
                                 QStringLiteral("Label2"), this);
    SetLeastSize(label2, QSize(0, 20));
    columns->addWidget(label2, 0, 0);
    group = new QTreeWidget(this);
    group->setObjectName(QStringLiteral("group"));
    group->setAccessibleName(label2->text());
    group->setColumnCount(1);
    group->setHeaderLabels({QCoreApplication::translate("frmJoin", "Name")});
    group->setRootIsDecorated(false);
    group->setUniformRowHeights(true);
    group->setSelectionMode(QAbstractItemView::SingleSelection);
    group->setMinimumSize(1, 1);
    columns->addWidget(group, 1, 0);
    label2->setBuddy(group);
    // A click, or choosing with the keyboard, shows the group's details.
    connect(group, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { group_ItemClick(item); });
    connect(group, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> chosen = group->selectedItems();
        if (!chosen.isEmpty()) {
            group_ItemClick(chosen.first());
        }
    });

    QLabel* label3 = MakeCaption(QCoreApplication::translate("frmJoin", "Information"),
                                 QStringLiteral("Label3"), this);
    SetLeastSize(label3, QSize(0, 20));
    columns->addWidget(label3, 0, 1);
    auto* picture2 = new QFrame(this);
    picture2->setObjectName(QStringLiteral("Picture2"));
    picture2->setFrameShape(QFrame::StyledPanel);
    SetTone(picture2, Tone::Panel);
    columns->addWidget(picture2, 1, 1);
    auto* details = new QVBoxLayout(picture2);
    details->setContentsMargins(12, 10, 12, 10);
    details->setSpacing(0);
    const QString captions[3] = {QCoreApplication::translate("frmJoin", "File Name"),
                                 QCoreApplication::translate("frmJoin", "File Size"),
                                 QCoreApplication::translate("frmJoin", "Date Of Split")};
    const int gapsBefore[3] = {0, 8, 10};
    const int valueHeights[3] = {36, 20, 20};
    for (int i = 0; i < 3; ++i) {
        auto* caption = new QLabel(captions[i], picture2);
        caption->setObjectName(QStringLiteral("Label4_%1").arg(i));
        SetTone(caption, Tone::Muted);
        details->addSpacing(gapsBefore[i]);
        details->addWidget(caption);
        auto* value = new QLabel(picture2);
        value->setObjectName(QStringLiteral("Label5_%1").arg(i));
        QFont strong = value->font();
        strong.setWeight(QFont::DemiBold);
        value->setFont(strong);
        value->setWordWrap(i == 0);
        value->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        SetLeastSize(value, QSize(0, valueHeights[i]));
        details->addWidget(value);
        Label5[static_cast<std::size_t>(i)] = value;
    }
    details->addStretch(1);

    cmdNext = MakeButton(QCoreApplication::translate("frmJoin", "&Next"), QStringLiteral("cmdNext"),
                         this);
    cmdNext->setDefault(true);
    AddFooterButtons({cmdNext}, QSize(88, 30), 24);
    cmdNext->setEnabled(false);
    connect(cmdNext, &QPushButton::clicked, this, [this] { JoinNext(*this); });

    setTabOrder(txtPath, cmdBrowse);
    setTabOrder(cmdBrowse, group);
    setTabOrder(group, cmdNext);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(200);
    connect(Timer1, &QTimer::timeout, this, &frmJoin::Timer1_Timer);
    Timer1->start();
}

void frmJoin::FindGroups(std::function<void()> then) {
    // A folder of many files, or on a slow disk, is read off the interface thread; choosing
    // another folder or moving on waits until the list is there.
    listing_ = true;
    setCursor(Qt::BusyCursor);
    for (QWidget* control : {static_cast<QWidget*>(cmdBrowse_), static_cast<QWidget*>(group),
                             static_cast<QWidget*>(cmdNext)}) {
        control->setEnabled(false);
    }
    // A newer listing (another folder chosen, a piece dropped) supersedes this one.
    using Found = std::pair<Status, std::vector<std::string>>;
    lister_->List<Found>(
        [folder = File1.Path] {
            Found found;
            found.first = brindle::FindGroups(folder, &found.second);
            // Plain numbered groups beside them, listed by their first piece.
            std::vector<std::string> numbered;
            if (found.first.ok()) {
                found.first = FirstNumberedPieces(folder, &numbered);
            }
            found.second.insert(found.second.end(), numbered.begin(), numbered.end());
            return found;
        },
        [this, then](const Found& found, std::function<bool()> current) {
            auto names = std::make_shared<const std::vector<std::string>>(found.second);
            group->clear();
            if (!found.first.ok()) {
                // An unreadable folder says why in the list, where its groups would be.
                new QTreeWidgetItem(group, {QString::fromStdString(found.first.message())});
            } else if (names->empty()) {
                new QTreeWidgetItem(group, {QString::fromLatin1(kNoGroupText)});
            }
            const auto row = [names](qsizetype i) {
                const std::string& name = (*names)[static_cast<std::size_t>(i)];
                auto* item = new QTreeWidgetItem(QStringList{DisplayPath(name)});
                SetItemBytes(item, name);
                return item;
            };
            AddInBatches(group, static_cast<qsizetype>(names->size()), row, std::move(current), [this, then] {
                listing_ = false;
                unsetCursor();
                cmdBrowse_->setEnabled(true);
                group->setEnabled(true);
                Timer1_Timer();
                if (then) {
                    then();
                }
                emit listFilled();
            });
        });
}

void frmJoin::group_ItemClick(QTreeWidgetItem* item) {
    if (item == nullptr || item->data(0, Qt::UserRole).isNull()) {
        return;  // "No File Group Available"
    }
    JoinState& state = Values().join;
    // The listed name's bytes: two groups may look alike once shown.
    const std::string name = ItemBytes(item);
    if (ShowNumberedGroup(name)) {
        return;
    }
    PieceHeader header;
    // A lost first piece that recovery files can rebuild does not end the wizard here: a
    // later piece tells the same name, size and date, and Merge rebuilds it. A folder whose
    // recovery files cannot be listed shows its first piece: Merge refuses it, saying why.
    Status listed;
    const Status read = HasRecoveryFiles(state.JoinFolder, name, &listed)
                            ? ReadGroupHeader(state.JoinFolder, name, &header)
                            : ReadPieceHeader(FirstPiecePath(state.JoinFolder, name), &header);
    if (!read.ok()) {
        // Listed through a later piece only, or a first piece that is no piece file.
        ShowDetails({}, {}, {});
        return;
    }
    const GroupDetails details = DescribeGroup(header, LocaleDecimalSeparator());
    state.JoinOriginalName = OriginalNameBytes(header);
    state.JoinGroupName = name;
    state.JoinNumbered = false;
    // The groups table keeps "damaged header" English for scripts; the window speaks the user's.
    ShowDetails(QString::fromStdString(details.originalName),
                StoredSourceLength(header)
                    ? QString::fromStdString(details.sizeText)
                    : QCoreApplication::translate("frmJoin", "damaged header"),
                QString::fromStdString(details.splitDate));
}

bool frmJoin::ShowNumberedGroup(const std::string& firstPiece) {
    JoinState& state = Values().join;
    const std::optional<NumberedName> parsed = ParseNumberedName(firstPiece);
    const std::string path = JoinPath(state.JoinFolder, firstPiece);
    // One the system cannot look at is still this numbered group, which then cannot be joined.
    io::FileType type = io::FileType::kNone;
    const Status looked = io::TypeAt(path, &type);
    if (!parsed || parsed->number != 1 || (looked.ok() && type != io::FileType::kRegular)) {
        return false;
    }
    const NumberedGroup found = FindNumberedGroup(state.JoinFolder, parsed->base);
    state.JoinGroupName = parsed->base;
    state.JoinOriginalName = parsed->base;
    state.JoinNumbered = true;
    // What the group is, as far as its names tell: Merge checks the rest and says why it fails.
    const int pieces = static_cast<int>(found.pieces.size());  // lupdate loses a count with a cast
    const QString size =
        found.Ready()
            ? QString::fromStdString(FormatSize(found.totalSize, LocaleDecimalSeparator())) +
                  QCoreApplication::translate("frmJoin", ", %n pieces", nullptr, pieces)
        : found.missingPiece.empty() ? QCoreApplication::translate("frmJoin", "cannot be joined")
                                     : QCoreApplication::translate("frmJoin", "missing %1")
                                           .arg(QString::fromStdString(found.missingPiece));
    const QDateTime date = QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).lastModified();
    ShowDetails(DisplayPath(parsed->base), size, QLocale().toString(date.date(), QLocale::ShortFormat));
    return true;
}

void frmJoin::ShowDetails(const QString& name, const QString& size, const QString& date) {
    const QString texts[3] = {name, size, date};
    for (std::size_t i = 0; i < 3; ++i) {
        Label5[i]->setText(texts[i]);
        Label5[i]->setToolTip(texts[i]);
    }
    Timer1_Timer();
}

void frmJoin::cmdBrowse_Click() {
    const std::string offered = txtPath->text().isEmpty()
                                    ? Values().join.JoinFolder
                                    : PathInBox(txtPath).value_or(std::string());
    const QString folder = CurrentPrompter().Folder(
        this, QCoreApplication::translate("frmJoin", "Please Select a Folder"),
        txtPath->text().isEmpty() ? DisplayPath(offered) : txtPath->text());
    if (folder.isEmpty()) {
        return;
    }
    const std::optional<std::string> path = DialogPathBytes(folder, offered);
    if (!path) {
        RefuseLostName(this, folder);
        return;
    }
    ShowPath(txtPath, *path);
    Values().join.JoinFolder = *path;
    File1.Path = Values().join.JoinFolder;
    FindGroups();
}

void frmJoin::ShowGroupOf(const std::string& piece) {
    const std::string folder = GetFolderName(piece);
    ShowPath(txtPath, folder);
    Values().join.JoinFolder = folder;
    File1.Path = folder;
    FindGroups([this, name = GroupNameFromPiece(piece)] {
        for (int i = 0; i < group->topLevelItemCount(); ++i) {
            if (QTreeWidgetItem* item = group->topLevelItem(i); ItemBytes(item) == name) {
                group->setCurrentItem(item);
                group_ItemClick(item);
                return;
            }
        }
    });
}

bool frmJoin::TakesDrop(const QMimeData& drag) const {
    const std::optional<std::string> file = DroppedFile(drag);
    return file && IsPieceFile(*file);
}

void frmJoin::TakeDrop(const QMimeData& drag) {
    if (const std::optional<std::string> file = DroppedFile(drag); file && IsPieceFile(*file)) {
        ShowGroupOf(*file);
    }
}

void frmJoin::Timer1_Timer() {
    cmdNext->setEnabled(!listing_ && !Label5[0]->text().isEmpty());
}

}  // namespace brindle::app

#include "shell/frm_main.h"

#include <QCoreApplication>
#include <QDir>
#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <utility>

#include "join/frm_join.h"
#include "join/frm_simple_join.h"
#include "join/join_state.h"
#include "rename/frm_rename.h"
#include "shell/artwork.h"
#include "shell/command_line.h"
#include "shell/file_drop.h"
#include "shell/form_controls.h"
#include "shell/hand_over.h"
#include "shell/image_control.h"
#include "shell/navigation.h"
#include "shell/paths.h"
#include "shell/theme.h"
#include "shell/wizard_state.h"
#include "split/frm_simple.h"
#include "split/frm_split.h"
#include "split/split_state.h"

namespace brindle::app {
namespace {

constexpr QSize kActionSize(105, 89);
constexpr int kFooterTop = 182;

ChromeOptions MainChrome() {
    ChromeOptions options;
    options.size = QSize(420, 210);
    options.mainWindow = true;
    options.footerTop = kFooterTop;
    return options;
}

}  // namespace

frmMain::frmMain(JobValuesPtr values) : ChromeWindow(MainChrome(), nullptr, std::move(values)) {
    setObjectName(QStringLiteral("frmMain"));
    setMouseTracking(true);

    // The panel lies under the pictures and captions, in the same cell of the body's grid.
    auto* grid = new QGridLayout;
    grid->setContentsMargins(1, 0, 1, 0);
    Body()->addLayout(grid, 1);
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Shape1"));
    // Decoration: the pointer passes through to the window's surface.
    panel->setAttribute(Qt::WA_TransparentForMouseEvents);
    SetTone(panel, Tone::Panel);
    grid->addWidget(panel, 0, 0);
    auto* actionsGrid = new QGridLayout;
    actionsGrid->setContentsMargins(15, 18, 15, 15);
    actionsGrid->setHorizontalSpacing(6);
    actionsGrid->setVerticalSpacing(6);
    grid->addLayout(actionsGrid, 0, 0);

    const QString captions[3] = {QCoreApplication::translate("frmMain", "Split file"),
                                 QCoreApplication::translate("frmMain", "Merge files"),
                                 QCoreApplication::translate("frmMain", "Batch renaming")};
    // The program's own font: no face of its own, which some desktops would fill with a
    // serif one.
    QFont captionFont = font();
    captionFont.setWeight(QFont::DemiBold);
    for (int i = 0; i < 3; ++i) {
        const QString& key = kJobKeys[i];
        actionImages_.Add(key, Artwork(QStringLiteral("job_") + key, kActionSize));
        actionImages_.Add(
            key + QStringLiteral("over"),
            Artwork(QStringLiteral("job_") + key + QStringLiteral("_over"), kActionSize));

        auto* action = new ImageControl(this);
        action->setObjectName(QStringLiteral("imgAction_%1").arg(i));
        action->setFixedSize(kActionSize);
        connect(action, &ImageControl::pointerMoved, this, [this, i] { ActionPointerMoved(i); });
        connect(action, &ImageControl::clicked, this, [this, i] { OpenJobWindow(i, this); });
        action->setAccessibleName(captions[i]);
        action->setFocusJob(i);
        actions_[static_cast<std::size_t>(i)] = action;
        actionsGrid->addWidget(action, 0, i, Qt::AlignHCenter);

        auto* caption = new InkLabel(captions[i], this);
        caption->setObjectName(QStringLiteral("Label2_%1").arg(i));
        caption->setFont(captionFont);
        caption->setAlignment(Qt::AlignCenter);
        // It lies on the panel, in the base colour.
        caption->setForegroundRole(QPalette::Text);
        actionsGrid->addWidget(caption, 1, i);
        actionsGrid->setColumnStretch(i, 1);
    }
    actionsGrid->setRowStretch(1, 1);

    setTabOrder(actions_[0], actions_[1]);
    setTabOrder(actions_[1], actions_[2]);
    actions_[0]->setFocus();

    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("Line1"));
    line->setFixedHeight(1);
    line->setAttribute(Qt::WA_TransparentForMouseEvents);
    SetTone(line, Tone::Divider);
    Body()->addWidget(line);

    auto* version = new QLabel(
        QCoreApplication::translate("frmMain", "Version %1").arg(QStringLiteral(BRINDLE_VERSION)),
        this);
    version->setObjectName(QStringLiteral("lblVersion"));
    version->setAttribute(Qt::WA_TransparentForMouseEvents);
    version->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    version->setFont(ScaledFont(version->font(), 0.9));
    SetTone(version, Tone::Muted);
    Footer()->addWidget(version, 1);
}

void frmMain::Load(const std::vector<std::string>& arguments, const std::string& currentFolder) {
    const StartDecision decision = DecideStartWindow(arguments, currentFolder);

    if (decision.window == StartWindow::Main) {
        ResetActionImages();
        Values().wizard.SetStartValues();
        CentreOnScreen(this);
        show();
        return;
    }
    QWidget* next = CreateRequestedWindow(decision, arguments, currentFolder);
    CentreOnScreen(next);
    next->show();
    next->activateWindow();
    close();
}

void frmMain::ResetActionImages() {
    for (int i = 0; i < 3; ++i) {
        ImageControl* action = actions_[static_cast<std::size_t>(i)];
        if (!actionImages_.Shows(action, kJobKeys[i])) {
            action->setPixmap(actionImages_.Picture(kJobKeys[i]));
        }
    }
}

void frmMain::ActionPointerMoved(int index) {
    const QString key = kJobKeys[index] + QStringLiteral("over");
    ImageControl* action = actions_[static_cast<std::size_t>(index)];
    if (actionImages_.Shows(action, key)) {
        return;
    }
    ResetActionImages();
    action->setPixmap(actionImages_.Picture(key));
}

bool frmMain::TakesDrop(const QMimeData& drag) const {
    return DroppedFile(drag).has_value();
}

void frmMain::TakeDrop(const QMimeData& drag) {
    const std::optional<std::string> file = DroppedFile(drag);
    if (!file) {
        return;
    }
    // No window when the user chose to stay.
    if (IsPieceFile(*file)) {
        if (auto* join = static_cast<frmJoin*>(OpenJobWindow(1, this))) {
            join->ShowGroupOf(*file);
        }
    } else if (auto* split = static_cast<frmSplit*>(OpenJobWindow(0, this))) {
        split->ChooseFile(*file);
    }
}

void frmMain::mouseMoveEvent(QMouseEvent* event) {
    ResetActionImages();
    ChromeWindow::mouseMoveEvent(event);
}

}  // namespace brindle::app

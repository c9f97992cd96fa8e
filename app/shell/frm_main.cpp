#include "shell/frm_main.h"

#include <QDir>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>

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
constexpr int kActionLefts[3] = {26, 157, 289};
constexpr int kActionTop = 50;
constexpr int kFooterTop = 182;

ChromeOptions MainChrome() {
    ChromeOptions options;
    options.size = QSize(420, 210);
    options.mainWindow = true;
    options.footerTop = kFooterTop;
    return options;
}

}  // namespace

frmMain::frmMain(QWidget* parent) : ChromeWindow(MainChrome(), parent) {
    setObjectName(QStringLiteral("frmMain"));
    setMouseTracking(true);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Shape1"));
    panel->setGeometry(1, kTitleHeight, width() - 2, kFooterTop - kTitleHeight);
    // Decoration: the pointer passes through to the window's surface.
    panel->setAttribute(Qt::WA_TransparentForMouseEvents);
    SetTone(panel, Tone::Panel);

    const QString captions[3] = {QStringLiteral("Split file"), QStringLiteral("Merge files"),
                                 QStringLiteral("Batch renaming")};
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
        action->setGeometry(QRect(QPoint(kActionLefts[i], kActionTop), kActionSize));
        connect(action, &ImageControl::pointerMoved, this, [this, i] { ActionPointerMoved(i); });
        connect(action, &ImageControl::clicked, this, [this, i] { OpenJobWindow(i, this); });
        action->setAccessibleName(captions[i]);
        action->setFocusJob(i);
        actions_[static_cast<std::size_t>(i)] = action;

        auto* caption = new QLabel(captions[i], this);
        caption->setObjectName(QStringLiteral("Label2_%1").arg(i));
        caption->setFont(captionFont);
        caption->setAlignment(Qt::AlignCenter);
        // It lies on the panel, in the base colour.
        caption->setForegroundRole(QPalette::Text);
        caption->setGeometry(kActionLefts[i] - 10, kActionTop + kActionSize.height() + 6,
                             kActionSize.width() + 20, 22);
    }

    setTabOrder(actions_[0], actions_[1]);
    setTabOrder(actions_[1], actions_[2]);
    actions_[0]->setFocus();

    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("Line1"));
    line->setGeometry(1, kFooterTop, width() - 2, 1);
    line->setAttribute(Qt::WA_TransparentForMouseEvents);
    SetTone(line, Tone::Divider);
    line->lower();

    auto* version = new QLabel(QStringLiteral("Version " BRINDLE_VERSION), this);
    version->setObjectName(QStringLiteral("lblVersion"));
    version->setAttribute(Qt::WA_TransparentForMouseEvents);
    version->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    version->setFont(ScaledFont(version->font(), 0.9));
    SetTone(version, Tone::Muted);
    version->setGeometry(12, kFooterTop + 1, width() - 24, height() - kFooterTop - 2);
}

void frmMain::Load(const std::vector<std::string>& arguments, const std::string& currentFolder) {
    const StartDecision decision = DecideStartWindow(arguments, currentFolder);

    if (decision.window == StartWindow::Main) {
        ResetActionImages();
        SharedWizardState().SetStartValues();
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

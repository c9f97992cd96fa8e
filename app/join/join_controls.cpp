#include "join/join_controls.h"

#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

#include "join/discovery.h"
#include "join/join_engine.h"
#include "join/join_state.h"
#include "shell/job_runner.h"
#include "shell/prompter.h"

namespace brindle::app {
namespace {

const QColor kInk(0x26, 0x32, 0x4d);

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// An open folder in the program's blue, drawn for each pixel ratio so it stays sharp.
QPixmap FolderPicture(int size, qreal ratio) {
    QPixmap pixmap(qRound(size * ratio), qRound(size * ratio));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 16.0;
    QPainterPath back;
    back.moveTo(1.5 * s, 3.5 * s);
    back.lineTo(6 * s, 3.5 * s);
    back.lineTo(7.5 * s, 5 * s);
    back.lineTo(13.5 * s, 5 * s);
    back.lineTo(13.5 * s, 12.5 * s);
    back.lineTo(1.5 * s, 12.5 * s);
    back.closeSubpath();
    painter.setPen(QPen(QColor(0x2f, 0x4f, 0x8f), 1.0 * s));
    painter.setBrush(QColor(0x9d, 0xb8, 0xe8));
    painter.drawPath(back);
    QPainterPath front;
    front.moveTo(3 * s, 7 * s);
    front.lineTo(15 * s, 7 * s);
    front.lineTo(13.5 * s, 12.5 * s);
    front.lineTo(1.5 * s, 12.5 * s);
    front.closeSubpath();
    painter.setBrush(QColor(0x4a, 0x72, 0xc4));
    painter.drawPath(front);
    return pixmap;
}

QIcon FolderIcon() {
    QIcon icon;
    for (qreal ratio : {1.0, 2.0, 3.0}) {
        icon.addPixmap(FolderPicture(16, ratio));
    }
    return icon;
}

}  // namespace

QLabel* MakeCaption(const QString& text, const QString& name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    QFont font = label->font();
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kInk);
    label->setPalette(palette);
    return label;
}

QLineEdit* MakeTextBox(const QString& name, QLabel* caption, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setAccessibleName(caption->text());
    caption->setBuddy(box);
    return box;
}

QToolButton* MakeBrowseButton(const QString& tip, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QStringLiteral("cmdBrowse"));
    button->setIcon(FolderIcon());
    button->setIconSize(QSize(16, 16));
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QPushButton* MakeButton(const QString& caption, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    return button;
}

QProgressBar* MakeProgressBar(const QString& name, const QString& accessibleName, QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(name);
    bar->setRange(0, 10000);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setAccessibleName(accessibleName);
    // Reachable by Tab so a screen reader user can read how far the join is.
    bar->setFocusPolicy(Qt::TabFocus);
    return bar;
}

QString TargetFilter(const QString& originalName) {
    if (originalName.isEmpty()) {
        return {};
    }
    const qsizetype dot = originalName.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? originalName : originalName.mid(dot + 1);
    return extension + QStringLiteral(" File(*.") + extension + QStringLiteral(")");
}

QString ChooseTarget(QWidget* parent, const QString& folder) {
    const JoinState& state = SharedJoinState();
    const QString original = Q(state.JoinOriginalName);
    PieceHeader stored;
    stored.SourceName = state.JoinOriginalName;
    const QString preset = Q(SafeOriginalName(stored, state.JoinGroupName));
    return CurrentPrompter().SaveFile(parent, QStringLiteral("Save As"),
                                      QDir(folder).filePath(preset), TargetFilter(original));
}

QString ResolveTarget(const QString& text) {
    if (text.isEmpty() || QDir::isAbsolutePath(text)) {
        return text;
    }
    return QDir(Q(SharedJoinState().JoinFolder)).absoluteFilePath(text);
}

QString TargetFolder(const QString& target) {
    return target.left(target.lastIndexOf(QLatin1Char('/')) + 1);
}

std::optional<std::vector<std::string>> CheckPieces(QWidget* window) {
    const JoinState& state = SharedJoinState();
    JoinPlan plan = PlanJoin(state.JoinFolder, state.JoinGroupName);
    if (!plan.status.ok()) {
        ShowJoinFailed(window);
        return std::nullopt;
    }
    if (!plan.missingPiece.empty()) {
        CurrentPrompter().Message(window, QStringLiteral("File Missing."), QString(),
                                  Prompter::Icon::None, Prompter::Buttons::Ok);
        return std::nullopt;
    }
    return std::move(plan.pieces);
}

void StartJoin(JobRunner& runner, std::vector<std::string> pieces, const QString& target) {
    JoinParams params;
    params.outputPath = target.toStdString();
    params.pieces = std::move(pieces);
    runner.Start(
        [params = std::move(params)](Progress& progress) { return JoinPieces(params, progress); });
}

void ShowJoinFailed(QWidget* window) {
    CurrentPrompter().Error(window, QStringLiteral("Fail to merge the files."),
                            QStringLiteral("Error"));
}

}  // namespace brindle::app

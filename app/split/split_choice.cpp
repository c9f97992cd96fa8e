#include "split/split_choice.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>
#include <filesystem>
#include <system_error>

#include "shell/path_text.h"
#include "shell/paths.h"
#include "shell/prompter.h"
#include "shell/short_date.h"
#include "split/split_engine.h"

namespace brindle::app {
namespace {

constexpr int kRowHeight = 28;
constexpr int kFieldLeft = 232;

Prompter::Icon ToIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::kError:
            return Prompter::Icon::Error;
        case MessageIcon::kWarning:
            return Prompter::Icon::Warning;
        case MessageIcon::kInformation:
            return Prompter::Icon::Information;
        case MessageIcon::kQuestion:
            return Prompter::Icon::Question;
        case MessageIcon::kNone:
            break;
    }
    return Prompter::Icon::None;
}

}  // namespace

int SplitChoiceControls::ChosenIndex() const {
    for (int i = 0; i < 3; ++i) {
        if (optSolution[static_cast<std::size_t>(i)]->isChecked()) {
            return i;
        }
    }
    return -1;
}

SplitChoiceControls SplitChoiceControls::Build(QWidget* parent, int left, int top,
                                               const QString& firstCaption) {
    SplitChoiceControls c;
    const QString captions[3] = {firstCaption, QStringLiteral("Split into equal sizes"),
                                 QStringLiteral("Split into Floppy size (1.44MB)")};
    for (int i = 0; i < 3; ++i) {
        auto* option = new QRadioButton(captions[i], parent);
        option->setObjectName(QStringLiteral("optSolution_%1").arg(i));
        option->setGeometry(left, top + i * kRowHeight, i == 2 ? 300 : kFieldLeft - left - 6, 24);
        c.optSolution[static_cast<std::size_t>(i)] = option;
    }
    c.optSolution[0]->setChecked(true);

    c.txtNum = new QLineEdit(QStringLiteral("2"), parent);
    c.txtNum->setObjectName(QStringLiteral("txtNum"));
    c.txtNum->setAccessibleName(QStringLiteral("Number of pieces"));
    c.txtNum->setGeometry(kFieldLeft, top, 64, 24);
    c.Label3 = new QLabel(QStringLiteral("pieces"), parent);
    c.Label3->setObjectName(QStringLiteral("Label3"));
    c.Label3->setGeometry(kFieldLeft + 72, top, 80, 24);
    c.Label3->setBuddy(c.txtNum);

    c.txtSize = new QLineEdit(QStringLiteral("1"), parent);
    c.txtSize->setObjectName(QStringLiteral("txtSize"));
    c.txtSize->setAccessibleName(QStringLiteral("Size of each piece file"));
    c.txtSize->setGeometry(kFieldLeft, top + kRowHeight, 64, 24);
    c.cboType = new QComboBox(parent);
    c.cboType->setObjectName(QStringLiteral("cboType"));
    c.cboType->setAccessibleName(QStringLiteral("Unit of the size"));
    c.cboType->addItems({QStringLiteral("KB"), QStringLiteral("MB"), QStringLiteral("GB")});
    c.cboType->setGeometry(kFieldLeft + 72, top + kRowHeight, 72, 24);
    return c;
}

std::int64_t RegularFileLength(const std::string& path) {
    if (path.empty()) {
        return -1;
    }
    std::error_code error;
    const std::filesystem::path file(path);
    if (!std::filesystem::is_regular_file(file, error) || error) {
        return -1;
    }
    const auto size = std::filesystem::file_size(file, error);
    return error ? -1 : static_cast<std::int64_t>(size);
}

bool CheckChoiceOnWindow(QWidget* window, const SplitChoiceControls& c,
                         std::int64_t sourceLength) {
    const std::optional<Rejection> rejection =
        CheckSplitChoice(sourceLength, c.ChosenIndex(), c.txtNum->text().toStdString(),
                         c.txtSize->text().toStdString(), c.cboType->currentText().toStdString(),
                         SharedSplitState(), LocaleDecimalSeparator());
    if (!rejection) {
        return true;
    }
    CurrentPrompter().Message(window, QString::fromStdString(rejection->message),
                              QString::fromStdString(rejection->title), ToIcon(rejection->icon),
                              Prompter::Buttons::Ok);
    QLineEdit* field = rejection->focus == FocusField::kNumber ? c.txtNum
                       : rejection->focus == FocusField::kSize ? c.txtSize
                                                               : nullptr;
    if (field != nullptr) {
        field->setFocus();
        field->selectAll();
    }
    return false;
}

std::int32_t PieceDataSize(const SplitState& state, std::int64_t sourceLength) {
    SplitState planned = state;
    ComputePieceDataSize(sourceLength, planned);
    return planned.SplitPieceSize;
}

namespace {

SplitParams ParamsFor(const SplitState& state, std::int32_t pieceDataSize) {
    SplitParams params;
    params.sourcePath = state.SplitSourcePath;
    params.destFolder = state.SplitDestFolder;
    params.groupName = state.SplitGroupName;
    params.pieceSize = pieceDataSize;
    params.extension = "qmf";
    return params;
}

}  // namespace

bool ConfirmSplitTargets(QWidget* window, const SplitState& state, std::int32_t pieceDataSize,
                         bool* replaceOthers) {
    std::optional<SplitClash> clash;
    const Status status = CheckSplitTargets(ParamsFor(state, pieceDataSize),
                                            RegularFileLength(state.SplitSourcePath), &clash);
    // A split that can never be done fails in the job, on the described failure path.
    *replaceOthers = status.ok() && clash.has_value();
    if (!*replaceOthers) {
        return true;
    }
    const QString question =
        QStringLiteral("The folder '") + DisplayPath(state.SplitDestFolder) +
        QStringLiteral("' already holds ") + DisplayPath(GetFileName(clash->path)) +
        QStringLiteral(", ") + DisplayPath(clash->holds) +
        QStringLiteral(".\nDo you want to replace it?");
    return CurrentPrompter().Message(window, question, QString(), Prompter::Icon::Question,
                                     Prompter::Buttons::YesNoDefaultNo) == Prompter::Answer::Yes;
}

JobRunner::Work SplitWork(const SplitState& state, std::int32_t pieceDataSize, bool replaceOthers) {
    SplitParams params = ParamsFor(state, pieceDataSize);
    params.replaceOthers = replaceOthers;
    params.splitDate = TodayShortDate();
    return [params](Progress& progress) { return SplitFile(params, progress).status; };
}

void PlaceFooterButtons(QPushButton* previous, QPushButton* forward) {
    previous->setGeometry(268, 334, 96, 30);
    forward->setGeometry(372, 334, 96, 30);
}

}  // namespace brindle::app

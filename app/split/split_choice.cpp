#include "split/split_choice.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
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
#include "split/split_presets.h"
#include "shell/translate.h"

namespace brindle::app {
namespace {

constexpr int kRowHeight = 24;
constexpr int kRowGap = 4;
constexpr int kFieldGap = 8;

}  // namespace

int SplitChoiceControls::ChosenIndex() const {
    for (int i = 0; i < 3; ++i) {
        if (optSolution[static_cast<std::size_t>(i)]->isChecked()) {
            return i;
        }
    }
    return -1;
}

SplitChoiceControls SplitChoiceControls::Build(QWidget* parent, QGridLayout* grid, int fieldIndent,
                                               const QString& firstCaption) {
    SplitChoiceControls c;
    grid->setVerticalSpacing(kRowGap);
    grid->setHorizontalSpacing(kFieldGap);
    const QString captions[3] = {
        firstCaption, QCoreApplication::translate("SplitChoice", "Split into equal sizes"),
        QCoreApplication::translate("SplitChoice", "Split into Floppy size (1.44MB)")};
    for (int i = 0; i < 3; ++i) {
        auto* option = new QRadioButton(captions[i], parent);
        option->setObjectName(QStringLiteral("optSolution_%1").arg(i));
        c.optSolution[static_cast<std::size_t>(i)] = option;
        grid->setRowMinimumHeight(i, kRowHeight);
    }
    c.optSolution[0]->setChecked(true);
    // The floppy option has no field and may run on under the fields' columns.
    grid->addWidget(c.optSolution[0], 0, 0);
    grid->addWidget(c.optSolution[1], 1, 0);
    grid->addWidget(c.optSolution[2], 2, 0, 1, 4);
    grid->setColumnMinimumWidth(0, fieldIndent - kFieldGap);

    // Eight digits' room: a count or a size, not a sentence.
    const int fieldWidth = parent->fontMetrics().horizontalAdvance(QStringLiteral("00000000"));
    c.txtNum = new QLineEdit(QStringLiteral("2"), parent);
    c.txtNum->setObjectName(QStringLiteral("txtNum"));
    c.txtNum->setAccessibleName(QCoreApplication::translate("SplitChoice", "Number of pieces"));
    c.txtNum->setFixedWidth(fieldWidth);
    grid->addWidget(c.txtNum, 0, 1);
    c.Label3 = new QLabel(QCoreApplication::translate("SplitChoice", "pieces"), parent);
    c.Label3->setObjectName(QStringLiteral("Label3"));
    c.Label3->setBuddy(c.txtNum);
    grid->addWidget(c.Label3, 0, 2);

    c.txtSize = new QLineEdit(QStringLiteral("1"), parent);
    c.txtSize->setObjectName(QStringLiteral("txtSize"));
    c.txtSize->setAccessibleName(
        QCoreApplication::translate("SplitChoice", "Size of each piece file"));
    c.txtSize->setFixedWidth(fieldWidth);
    grid->addWidget(c.txtSize, 1, 1);
    c.cboType = new QComboBox(parent);
    c.cboType->setObjectName(QStringLiteral("cboType"));
    c.cboType->setAccessibleName(QCoreApplication::translate("SplitChoice", "Unit of the size"));
    c.cboType->addItems({QStringLiteral("KB"), QStringLiteral("MB"), QStringLiteral("GB")});
    grid->addWidget(c.cboType, 1, 2, Qt::AlignLeft);

    c.cboPreset = new QComboBox(parent);
    c.cboPreset->setObjectName(QStringLiteral("cboPreset"));
    c.cboPreset->addItem(QCoreApplication::translate("SplitChoice", "None"));
    for (const SizePreset& preset : SizePresets()) {
        c.cboPreset->addItem(QString::fromUtf8(Tr(preset.caption)));
    }
    c.lblPreset = new QLabel(QCoreApplication::translate("SplitChoice", "Preset"), parent);
    c.lblPreset->setObjectName(QStringLiteral("lblPreset"));
    c.lblPreset->setBuddy(c.cboPreset);
    // Under the size it fills, where the narrow windows have room.
    grid->setRowMinimumHeight(3, kRowHeight);
    c.lblPreset->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(c.lblPreset, 3, 0);
    grid->addWidget(c.cboPreset, 3, 1, 1, 3, Qt::AlignLeft);
    grid->setColumnStretch(3, 1);
    QLineEdit* size = c.txtSize;
    QComboBox* unit = c.cboType;
    QRadioButton* bySize = c.optSolution[1];
    QObject::connect(c.cboPreset, &QComboBox::activated, parent, [size, unit, bySize](int index) {
        if (index < 1) {
            return;
        }
        // The windows write the program's own pieces.
        const SizeFields fields =
            PresetFields(SizePresets()[static_cast<std::size_t>(index - 1)].pieceFileSize);
        size->setText(QString::fromStdString(fields.size));
        unit->setCurrentIndex(unit->findText(QString::fromStdString(fields.unit)));
        bySize->click();
    });
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
                         std::int64_t sourceLength, SplitState& state) {
    const std::optional<Rejection> rejection =
        CheckSplitChoice(sourceLength, c.ChosenIndex(), c.txtNum->text().toStdString(),
                         c.txtSize->text().toStdString(), c.cboType->currentText().toStdString(),
                         state, LocaleDecimalSeparator());
    if (rejection) {
        ShowRejection(window, c, *rejection);
    }
    return !rejection;
}

void ShowRejection(QWidget* window, const SplitChoiceControls& c, const Rejection& rejection) {
    QString title = QCoreApplication::translate("SplitChoice", "Invalid size");
    Prompter::Icon icon = Prompter::Icon::Error;
    QLineEdit* field = nullptr;
    switch (rejection.problem) {
        case SplitProblem::kPieceCount:
            title = QCoreApplication::translate("SplitChoice", "Invalid number");
            field = c.txtNum;
            break;
        case SplitProblem::kEmptyFile:
            title = QCoreApplication::translate("SplitChoice", "No splitting required");
            icon = Prompter::Icon::Information;
            field = c.txtNum;
            break;
        case SplitProblem::kPiecesOver2GB:
            field = c.txtNum;
            break;
        case SplitProblem::kFileTooLarge:
            title = QCoreApplication::translate("SplitChoice", "File too large");
            break;
        case SplitProblem::kSmallerThanFloppy:
            title = QCoreApplication::translate("SplitChoice", "No splitting required");
            icon = Prompter::Icon::Information;
            break;
        case SplitProblem::kTooLargeForFloppy:
            break;
        case SplitProblem::kSizeTooSmall:
            title = QCoreApplication::translate("SplitChoice", "Size Invalid");
            field = c.txtSize;
            break;
        case SplitProblem::kSizeOverFile:
            field = c.txtSize;
            break;
    }
    CurrentPrompter().Message(window, QString::fromStdString(rejection.message), title, icon, Prompter::Buttons::Ok);
    if (field != nullptr) {
        field->setFocus();
        field->selectAll();
    }
}

std::int32_t PieceDataSize(const SplitState& state, std::int64_t sourceLength) {
    SplitState planned = state;
    ComputePieceDataSize(sourceLength, planned);
    return planned.SplitPieceSize;
}

bool ConfirmSplitTargets(QWidget* window, const SplitState& state, std::int32_t pieceDataSize,
                         bool* replaceOthers) {
    std::optional<SplitClash> clash;
    const Status status = CheckSplitTargets(PlanSplit(state, pieceDataSize),
                                            RegularFileLength(state.SplitSourcePath), &clash);
    // A split that can never be done fails in the job, on the described failure path.
    *replaceOthers = status.ok() && clash.has_value();
    if (!*replaceOthers) {
        return true;
    }
    const QString question =
        QCoreApplication::translate(
            "SplitChoice", "The folder '%1' already holds %2, %3.\nDo you want to replace it?")
            .arg(DisplayPath(state.SplitDestFolder), DisplayPath(GetFileName(clash->path)),
                 DisplayPath(clash->holds));
    return CurrentPrompter().Message(window, question, QString(), Prompter::Icon::Question,
                                     Prompter::Buttons::YesNoDefaultNo) == Prompter::Answer::Yes;
}

JobRunner::Work SplitWork(const SplitState& state, std::int32_t pieceDataSize, bool replaceOthers, int recoveryPercent) {
    SplitParams params = PlanSplit(state, pieceDataSize);
    params.replaceOthers = replaceOthers;
    params.recoveryPercent = recoveryPercent;
    params.splitDate = TodayShortDate();
    return [params](Progress& progress) { return SplitFile(params, progress).status; };
}

QString SplitDoneText(const SplitState& state, std::int32_t pieceDataSize) {
    const std::int64_t length = std::max<std::int64_t>(RegularFileLength(state.SplitSourcePath), 1);
    const auto pieces = static_cast<int>((length + pieceDataSize - 1) / std::max(pieceDataSize, 1));
    return QCoreApplication::translate("SplitChoice", "%1 was split into %n pieces.", nullptr, pieces)
        .arg(DisplayPath(GetFileName(state.SplitSourcePath)));
}

}  // namespace brindle::app

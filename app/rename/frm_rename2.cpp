#include "rename/frm_rename2.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSizePolicy>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>
#include <chrono>

#include "rename/frm_rename.h"
#include "rename/item_strip.h"
#include "rename/naming_rule.h"
#include "rename/rule_strip.h"
#include "shell/form_controls.h"
#include "shell/job_runner.h"
#include "shell/prompter.h"
#include "shell/theme.h"

namespace brindle::app {
namespace {

// The rule's keys, which the strip's labels show translated.
const QString kItemNames[4] = {QStringLiteral(QT_TRANSLATE_NOOP("ItemStrip", "FileName")),
                               QStringLiteral(QT_TRANSLATE_NOOP("ItemStrip", "Ext")),
                               QStringLiteral(QT_TRANSLATE_NOOP("ItemStrip", "Date")),
                               QStringLiteral(QT_TRANSLATE_NOOP("ItemStrip", "Number"))};

ChromeOptions Chrome() {
    ChromeOptions options;
    options.subtitle = QCoreApplication::translate("frmRename2", "Rename Rule");
    // Narrow enough to stand beside the 640-pixel list on a 1280-pixel screen.
    options.size = QSize(580, 424);
    options.second = ChromeOptions::SecondImage::None;
    options.footerTop = 380;
    return options;
}

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Std(const QString& text) {
    return text.toStdString();
}

// Step values the rule can hold: the typed number must round into 16 bits.
class StepValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return ReadDateStep(Std(input)) ? Acceptable : Invalid;
    }
};

}  // namespace

frmRename2::frmRename2(frmRename* list) : ChromeWindow(Chrome(), list), list_(list) {
    setObjectName(QStringLiteral("frmRename2"));
    NamingRule& rule = SharedNamingRule();

    const auto named = [](QWidget* widget, const QString& name, const QString& accessible = {}) {
        widget->setObjectName(name);
        if (!accessible.isEmpty()) {
            widget->setAccessibleName(accessible);
        }
    };
    const auto label = [this](const QString& text) { return new InkLabel(text, this); };
    // A text box under its check box lines up with the check box's caption.
    const int indent = style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                       style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    const auto indented = [indent](std::initializer_list<QWidget*> widgets) {
        auto* row = new QHBoxLayout;
        row->addSpacing(indent);
        for (QWidget* widget : widgets) {
            row->addWidget(widget);
        }
        row->addStretch();
        return row;
    };

    // Rows 1 and 2: the extension and the file name.
    chkExt_ = new QCheckBox(QCoreApplication::translate("frmRename2", "Change Extension"), this);
    named(chkExt_, QStringLiteral("chkExt"));
    txtExt_ = new QLineEdit(this);
    named(txtExt_, QStringLiteral("txtExt"),
          QCoreApplication::translate("frmRename2", "Change Extension"));
    chkPrefix_ = new QCheckBox(QCoreApplication::translate("frmRename2", "Prefix File Name"), this);
    named(chkPrefix_, QStringLiteral("chkPrefix"));
    txtPrefix_ = new QLineEdit(this);
    named(txtPrefix_, QStringLiteral("txtPrefix"),
          QCoreApplication::translate("frmRename2", "Prefix File Name"));
    auto* names = new QGridLayout;
    names->setVerticalSpacing(2);
    names->setHorizontalSpacing(32);
    names->addWidget(chkExt_, 0, 0);
    names->addLayout(indented({txtExt_}), 1, 0);
    names->addWidget(chkPrefix_, 0, 1);
    names->addLayout(indented({txtPrefix_}), 1, 1);
    names->setColumnStretch(0, 1);
    names->setColumnStretch(1, 1);

    // Rows 3 and 4: the date.
    chkDate_ = new QCheckBox(QCoreApplication::translate("frmRename2", "Add Date"), this);
    named(chkDate_, QStringLiteral("chkDate"));
    cboFormat_ = new QComboBox(this);
    named(cboFormat_, QStringLiteral("cboFormat"),
          QCoreApplication::translate("frmRename2", "Date format"));
    for (std::string_view format : kDateFormats) {
        cboFormat_->addItem(Q(format));
    }
    QLabel* sepLabel = label(QCoreApplication::translate("frmRename2", "Separator"));
    cbosep_ = new QComboBox(this);
    named(cbosep_, QStringLiteral("cbosep"),
          QCoreApplication::translate("frmRename2", "Date separator"));
    // The item's data is the rule's separator; only the caption is translated.
    cbosep_->addItem(QCoreApplication::translate("frmRename2", "None"), Q(kNoDateSeparator));
    cbosep_->addItem(QStringLiteral("-"), QStringLiteral("-"));
    sepLabel->setBuddy(cbosep_);
    QLabel* dateFromLabel = label(QCoreApplication::translate("frmRename2", "Date:"));
    dateFrom_ = new QComboBox(this);
    named(dateFrom_, QStringLiteral("cboDateFrom"),
          QCoreApplication::translate("frmRename2", "Date from"));
    dateFrom_->addItems({QCoreApplication::translate("frmRename2", "chosen"),
                         QCoreApplication::translate("frmRename2", "file modified"),
                         QCoreApplication::translate("frmRename2", "photo taken")});
    dateFromLabel->setBuddy(dateFrom_);

    picker_ = new QDateEdit(QDate::currentDate(), this);
    named(picker_, QStringLiteral("DTPicker1"), QCoreApplication::translate("frmRename2", "Date"));
    picker_->setCalendarPopup(true);
    picker_->setMinimumDate(QDate(100, 1, 1));
    picker_->setMaximumDate(QDate(9999, 12, 31));
    cboMode_ = new QComboBox(this);
    named(cboMode_, QStringLiteral("cboMode"),
          QCoreApplication::translate("frmRename2", "Date change"));
    cboMode_->addItems({QCoreApplication::translate("frmRename2", "Increment"),
                        QCoreApplication::translate("frmRename2", "Decrement"),
                        QCoreApplication::translate("frmRename2", "None")});
    by_ = label(QCoreApplication::translate("frmRename2", "BY"));
    by_->setObjectName(QStringLiteral("lblBy"));
    txtNum_ = new QLineEdit(QStringLiteral("1"), this);
    named(txtNum_, QStringLiteral("txtNum"), QCoreApplication::translate("frmRename2", "Step"));
    txtNum_->setValidator(new StepValidator(txtNum_));
    // Room for a 16-bit step with its sign.
    txtNum_->setMinimumWidth(txtNum_->fontMetrics().horizontalAdvance(QStringLiteral("-00000")));
    txtNum_->setMaximumWidth(txtNum_->minimumWidth() * 2);
    by_->setBuddy(txtNum_);
    combo2_ = new QComboBox(this);
    named(combo2_, QStringLiteral("Combo2"),
          QCoreApplication::translate("frmRename2", "Step unit"));
    combo2_->addItems({QCoreApplication::translate("frmRename2", "Day"),
                       QCoreApplication::translate("frmRename2", "Month"),
                       QCoreApplication::translate("frmRename2", "Year")});

    auto* dateRow = new QHBoxLayout;
    dateRow->addWidget(chkDate_);
    dateRow->addWidget(cboFormat_);
    dateRow->addSpacing(12);
    dateRow->addWidget(sepLabel);
    dateRow->addWidget(cbosep_);
    dateRow->addStretch();
    QHBoxLayout* stepRow = indented({picker_, cboMode_, by_, txtNum_, combo2_});
    QHBoxLayout* sourceRow = indented({dateFromLabel, dateFrom_});

    // Row 5: the counter.
    chkNum_ =
        new QCheckBox(QCoreApplication::translate("frmRename2", "Add Auto Increment Number"), this);
    named(chkNum_, QStringLiteral("chkNum"));
    txtAutoNum_ = new QLineEdit(this);
    named(txtAutoNum_, QStringLiteral("txtAutoNum"),
          QCoreApplication::translate("frmRename2", "Auto Increment Number"));
    QLabel* hint = label(QCoreApplication::translate("frmRename2", "e.g. 3, 02, 004, -05"));
    SetTone(hint, Tone::Muted);
    txtAutoNum_->setAccessibleDescription(hint->text());
    txtAutoNum_->setMaximumWidth(txtAutoNum_->fontMetrics().horizontalAdvance(QStringLiteral("(0000000)")));
    auto* numberRow = new QHBoxLayout;
    numberRow->addWidget(chkNum_);
    numberRow->addWidget(txtAutoNum_);
    numberRow->addWidget(hint);
    numberRow->addStretch();

    // Below the counter: find and replace, and letter case, kept to two lines and the
    // width the rows above already take.
    QLabel* replaceLabel = label(QCoreApplication::translate("frmRename2", "Replace"));
    replaceLabel->setObjectName(QStringLiteral("lblReplace"));
    QLabel* findLabel = label(QCoreApplication::translate("frmRename2", "Find"));
    txtFind_ = new QLineEdit(this);
    named(txtFind_, QStringLiteral("txtFind"), QCoreApplication::translate("frmRename2", "Find"));
    findLabel->setBuddy(txtFind_);
    QLabel* withLabel = label(QCoreApplication::translate("frmRename2", "Replace with"));
    txtReplace_ = new QLineEdit(this);
    named(txtReplace_, QStringLiteral("txtReplace"),
          QCoreApplication::translate("frmRename2", "Replace with"));
    withLabel->setBuddy(txtReplace_);
    chkRegex_ = new QCheckBox(QCoreApplication::translate("frmRename2", "Regular expression"), this);
    named(chkRegex_, QStringLiteral("chkRegex"));
    chkMatchCase_ = new QCheckBox(QCoreApplication::translate("frmRename2", "Match case"), this);
    named(chkMatchCase_, QStringLiteral("chkMatchCase"));
    chkMatchCase_->setChecked(true);
    findProblem_ = label(QString());
    findProblem_->setObjectName(QStringLiteral("lblFindProblem"));
    // One line kept for it, and no width asked, so that a bad pattern never makes the
    // window grow; the tool tip holds a reason too long for the line.
    findProblem_->setMinimumHeight(findProblem_->fontMetrics().height());
    findProblem_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    SetTone(findProblem_, Tone::Muted);
    QLabel* caseLabel = label(QCoreApplication::translate("frmRename2", "Case"));
    cboCase_ = new QComboBox(this);
    named(cboCase_, QStringLiteral("cboCase"), QCoreApplication::translate("frmRename2", "Case"));
    cboExtCase_ = new QComboBox(this);
    named(cboExtCase_, QStringLiteral("cboExtCase"),
          QCoreApplication::translate("frmRename2", "Extension case"));
    const QString cases[] = {QCoreApplication::translate("frmRename2", "Keep"),
                             QCoreApplication::translate("frmRename2", "lower case"),
                             QCoreApplication::translate("frmRename2", "UPPER CASE"),
                             QCoreApplication::translate("frmRename2", "Title Case"),
                             QCoreApplication::translate("frmRename2", "Sentence case")};
    for (int i = 0; i < 5; ++i) {
        cboCase_->addItem(cases[i]);
        if (i <= static_cast<int>(LetterCase::kUpper)) {
            cboExtCase_->addItem(cases[i]);
        }
    }
    caseLabel->setBuddy(cboCase_);
    QLabel* extCaseLabel = label(QCoreApplication::translate("frmRename2", "Ext"));
    extCaseLabel->setBuddy(cboExtCase_);
    auto* textRows = new QGridLayout;
    textRows->setHorizontalSpacing(6);
    textRows->setVerticalSpacing(4);
    auto* findRow = new QHBoxLayout;
    findRow->addWidget(findLabel);
    findRow->addWidget(txtFind_, 1);
    findRow->addWidget(withLabel);
    findRow->addWidget(txtReplace_, 1);
    auto* optionRow = new QHBoxLayout;
    optionRow->addWidget(chkRegex_);
    optionRow->addWidget(chkMatchCase_);
    optionRow->addStretch();
    auto* caseRow = new QHBoxLayout;
    caseRow->addWidget(cboCase_);
    caseRow->addSpacing(12);
    caseRow->addWidget(extCaseLabel);
    caseRow->addWidget(cboExtCase_);
    caseRow->addStretch();
    // The reason of a bad pattern stands under the fields.
    auto* underFind = new QVBoxLayout;
    underFind->setSpacing(4);
    underFind->addWidget(findProblem_);
    underFind->addLayout(optionRow);
    textRows->addWidget(replaceLabel, 0, 0);
    textRows->addLayout(findRow, 0, 1);
    textRows->addLayout(underFind, 1, 1);
    textRows->addWidget(caseLabel, 2, 0);
    textRows->addLayout(caseRow, 2, 1);
    textRows->setColumnStretch(1, 1);

    // Row 6: the strip with its dividers and item labels.
    QLabel* order = label(QCoreApplication::translate("frmRename2", "Order"));
    strip_ = new ItemStrip(this, [this](const QString& item, double x) { DropItem(item, x); });
    named(strip_, QStringLiteral("Picture1"), QCoreApplication::translate("frmRename2", "Order"));
    order->setBuddy(strip_);
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const QString item = kItemNames[i];
        auto* l = new ItemLabel(item, strip_, [this, item](int direction) {
            MoveByKey(item, direction);
        });
        l->setObjectName(QStringLiteral("lblItem_%1").arg(i));
        items_[i] = l;
    }

    // Row 7: the separators, each under the divider between its two slots.
    QLabel* addSeparator = label(QCoreApplication::translate("frmRename2", "Add Separator"));
    for (std::size_t i = 0; i < separators_.size(); ++i) {
        auto* box = new QLineEdit(this);
        named(box, QStringLiteral("Text1_%1").arg(i),
              QCoreApplication::translate("frmRename2", "Separator %1, between slots %1 and %2")
                  .arg(i + 1)
                  .arg(i + 2));
        box->setAlignment(Qt::AlignCenter);
        connect(box, &QLineEdit::textChanged, this, [this, i](const QString& text) {
            SharedNamingRule().Separators[i] = Std(text);
            RefreshPreview();
        });
        separators_[i] = box;
    }
    addSeparator->setBuddy(separators_[0]);
    auto* separatorRow = new SeparatorRow(strip_, separators_, this);
    // The captions stand left of the strip and the boxes at the default font, and above them
    // where a larger font widens the strip, so that the editor still fits beside the list.
    auto* orderForm = new QFormLayout;
    orderForm->setRowWrapPolicy(strip_->PixelsPerTwip() > 1.0 / 15.0 ? QFormLayout::WrapAllRows
                                                                     : QFormLayout::DontWrapRows);
    orderForm->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    orderForm->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    orderForm->setVerticalSpacing(8);
    orderForm->addRow(order, strip_);
    orderForm->addRow(addSeparator, separatorRow);

    // Row 8: the preview.
    QLabel* previewLabel =
        label(QCoreApplication::translate("frmRename2", "New File Name Preview"));
    preview_ = new QLineEdit(this);
    named(preview_, QStringLiteral("txtNewFileName"),
          QCoreApplication::translate("frmRename2", "New File Name Preview"));
    preview_->setReadOnly(true);
    preview_->setFont(ScaledFont(preview_->font(), 1.15));
    previewLabel->setBuddy(preview_);

    QVBoxLayout* body = Body();
    body->setContentsMargins(16, 10, 16, 10);
    body->setSpacing(6);
    body->addLayout(names);
    body->addSpacing(10);
    body->addLayout(dateRow);
    body->addLayout(stepRow);
    body->addLayout(sourceRow);
    body->addSpacing(10);
    body->addLayout(numberRow);
    body->addSpacing(8);
    body->addLayout(textRows);
    body->addSpacing(10);
    body->addLayout(orderForm);
    body->addSpacing(12);
    body->addWidget(previewLabel);
    body->addWidget(preview_);
    body->addStretch();

    // Row 9: the buttons, in the footer band.
    auto* cancel = new QPushButton(QCoreApplication::translate("frmRename2", "&Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    auto* apply = apply_ =
        new QPushButton(QCoreApplication::translate("frmRename2", "&Apply"), this);
    apply->setObjectName(QStringLiteral("cmdApply"));
    AddFooterButtons({cancel, apply}, QSize(96, 28), 16);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(apply, &QPushButton::clicked, this, &frmRename2::ApplyClicked);

    // The fixed tab chain through the controls; PlaceLabels orders the item labels.
    QWidget* chain[] = {chkExt_, txtExt_,  chkPrefix_, txtPrefix_, chkDate_,    cboFormat_,
                        cbosep_, picker_,  cboMode_,   txtNum_,    combo2_,     dateFrom_,
                        chkNum_, txtAutoNum_, txtFind_,  txtReplace_, chkRegex_,
                        chkMatchCase_, cboCase_, cboExtCase_};
    for (std::size_t i = 1; i < std::size(chain); ++i) {
        setTabOrder(chain[i - 1], chain[i]);
    }
    for (std::size_t i = 1; i < separators_.size(); ++i) {
        setTabOrder(separators_[i - 1], separators_[i]);
    }
    setTabOrder(separators_[3], preview_);
    setTabOrder(preview_, cancel);
    setTabOrder(cancel, apply);

    // Start state.
    txtExt_->setEnabled(false);
    txtPrefix_->setEnabled(false);
    picker_->setEnabled(false);
    cboMode_->setEnabled(false);
    dateFrom_->setEnabled(false);
    txtAutoNum_->setEnabled(false);
    dateReader_ = new JobRunner(JobKind::kDates, this);

    connect(chkExt_, &QCheckBox::toggled, this, [this](bool on) {
        txtExt_->setEnabled(on);
        ReadExtension();
    });
    connect(txtExt_, &QLineEdit::textChanged, this, &frmRename2::ReadExtension);
    connect(chkPrefix_, &QCheckBox::toggled, this, [this](bool on) {
        txtPrefix_->setEnabled(on);
        ReadFileName();
    });
    connect(txtPrefix_, &QLineEdit::textChanged, this, &frmRename2::ReadFileName);
    connect(chkDate_, &QCheckBox::toggled, this, &frmRename2::DateOptionClicked);
    connect(chkNum_, &QCheckBox::toggled, this, &frmRename2::NumberOptionClicked);
    connect(txtAutoNum_, &QLineEdit::textChanged, this, [this] {
        ReadNumberFields();
        RefreshPreview();
    });
    for (QComboBox* box : {cboFormat_, cbosep_}) {
        connect(box, &QComboBox::currentIndexChanged, this, [this] {
            ReadDateFields();
            RefreshPreview();
        });
    }
    connect(picker_, &QDateEdit::dateChanged, this, [this] {
        ReadDateFields();
        RefreshPreview();
    });
    connect(cboMode_, &QComboBox::currentIndexChanged, this, &frmRename2::ModeChosen);
    connect(combo2_, &QComboBox::currentIndexChanged, this, &frmRename2::ReadDateFields);
    connect(txtNum_, &QLineEdit::textChanged, this, &frmRename2::ReadDateFields);
    connect(dateFrom_, &QComboBox::currentIndexChanged, this, &frmRename2::DateSourceChosen);
    for (QLineEdit* box : {txtFind_, txtReplace_}) {
        connect(box, &QLineEdit::textChanged, this, &frmRename2::ReadTextFields);
    }
    for (QCheckBox* box : {chkRegex_, chkMatchCase_}) {
        connect(box, &QCheckBox::toggled, this, &frmRename2::ReadTextFields);
    }
    for (QComboBox* box : {cboCase_, cboExtCase_}) {
        connect(box, &QComboBox::currentIndexChanged, this, &frmRename2::ReadTextFields);
    }

    // The preview shows the first checked row: it follows the list's check boxes.
    if (list != nullptr) {
        if (auto* view = list->findChild<QTreeWidget*>(QStringLiteral("ListView1"))) {
            connect(view, &QTreeWidget::itemChanged, this, &frmRename2::RefreshPreview);
        }
    }

    // Opening: slots and separators afresh, the lists on their first choices, the preview,
    // the sentinels, today.
    rule.Slots = NamingRule{}.Slots;
    rule.Separators = {};
    CompactSlots(rule);
    PlaceLabels();
    combo2_->setCurrentIndex(static_cast<int>(DateUnit::kDay));
    cboMode_->setCurrentIndex(static_cast<int>(DateMode::kNone));
    cboFormat_->setCurrentText(QStringLiteral("DDMMYYYY"));
    cbosep_->setCurrentIndex(0);
    ModeChosen();
    preview_->setText(QCoreApplication::translate("frmRename2", "Original FileName.###"));
    rule.FileNameText = kKeepFileName;
    rule.ExtensionText = kKeepExtension;
    picker_->setDate(QDate::currentDate());
    ReadDateFields();
    ReadTextFields();
    RefreshPreview();
}

frmRename2::~frmRename2() {
    stopReading_->store(true);
}

void frmRename2::Dock() {
    setWindowFlags(Qt::Widget);
    // The list's margin beside it serves the editor too: half its own is enough.
    QMargins margins = Body()->contentsMargins();
    margins.setRight(margins.right() / 2);
    Body()->setContentsMargins(margins);
}

void frmRename2::ReadExtension() {
    SharedNamingRule().ExtensionText =
        chkExt_->isChecked() ? Std(txtExt_->text()) : std::string(kKeepExtension);
    RefreshPreview();
}

void frmRename2::ReadFileName() {
    SharedNamingRule().FileNameText =
        chkPrefix_->isChecked() ? Std(txtPrefix_->text()) : std::string(kKeepFileName);
    RefreshPreview();
}

void frmRename2::ReadDateFields() {
    NamingRule& rule = SharedNamingRule();
    const QDate date = picker_->date();
    rule.BaseDate = std::chrono::year{date.year()} / static_cast<unsigned>(date.month()) /
                    static_cast<unsigned>(date.day());
    rule.DateFormat = Std(cboFormat_->currentText());
    rule.DateSeparator = Std(cbosep_->currentData().toString());
    if (combo2_->currentIndex() >= 0) {
        rule.DateUnit = static_cast<DateUnit>(combo2_->currentIndex());
    }
    if (cboMode_->currentIndex() >= 0) {
        rule.DateMode = static_cast<DateMode>(cboMode_->currentIndex());
    }
    if (dateFrom_->currentIndex() >= 0) {
        rule.DateFrom = static_cast<DateSource>(dateFrom_->currentIndex());
    }
    // The validator keeps the text within 16 bits.
    if (const auto step = ReadDateStep(Std(txtNum_->text()))) {
        rule.DateStep = *step;
    }
}

void frmRename2::ReadNumberFields() {
    if (!chkNum_->isChecked()) {
        return;
    }
    NamingRule& rule = SharedNamingRule();
    rule.NumberTemplate = Std(txtAutoNum_->text());
    rule.NumberDigits = TemplateDigits(rule.NumberTemplate);
}

void frmRename2::ReadTextFields() {
    NamingRule& rule = SharedNamingRule();
    rule.Replace = {Std(txtFind_->text()), Std(txtReplace_->text()), chkRegex_->isChecked(),
                    chkMatchCase_->isChecked()};
    rule.NameCase = static_cast<LetterCase>(std::max(cboCase_->currentIndex(), 0));
    rule.ExtensionCase = static_cast<LetterCase>(std::max(cboExtCase_->currentIndex(), 0));
    const std::string problem = RuleProblem(rule);
    findProblem_->setText(QString::fromStdString(problem));
    findProblem_->setToolTip(findProblem_->text());
    apply_->setEnabled(problem.empty() && !dateReader_->IsRunning());
    RefreshPreview();
}

void frmRename2::DateOptionClicked() {
    const bool on = chkDate_->isChecked();
    picker_->setEnabled(on);
    cboMode_->setEnabled(on && dateFrom_->currentIndex() == 0);
    dateFrom_->setEnabled(on);
    if (on) {
        AddItemToSlots(SharedNamingRule(), kItemDate);
    } else {
        RemoveItemFromSlots(SharedNamingRule(), kItemDate);
    }
    PlaceLabels();
    ReadDateFields();
    RefreshPreview();
}

void frmRename2::NumberOptionClicked() {
    const bool on = chkNum_->isChecked();
    txtAutoNum_->setEnabled(on);
    if (on) {
        AddItemToSlots(SharedNamingRule(), kItemNumber);
    } else {
        RemoveItemFromSlots(SharedNamingRule(), kItemNumber);
    }
    PlaceLabels();
    if (on) {
        txtAutoNum_->setText(Q(kDefaultNumberTemplate));
    }
    ReadNumberFields();
    RefreshPreview();
}

void frmRename2::ModeChosen() {
    ReadDateFields();
    const int mode = cboMode_->currentIndex();
    const bool stepped = (mode == static_cast<int>(DateMode::kIncrement) ||
                          mode == static_cast<int>(DateMode::kDecrement)) &&
                         dateFrom_->currentIndex() <= 0;
    by_->setEnabled(stepped);
    txtNum_->setEnabled(stepped);
    combo2_->setEnabled(stepped);
}

void frmRename2::DateSourceChosen() {
    cboMode_->setEnabled(chkDate_->isChecked() && dateFrom_->currentIndex() == 0);
    ModeChosen();
}

void frmRename2::PlaceLabels() {
    const NamingRule& rule = SharedNamingRule();
    std::vector<std::pair<int, QLabel*>> bySlot;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const int slot = SlotOf(rule, Std(kItemNames[i]));
        QLabel* l = items_[i];
        strip_->Place(l, slot);
        if (slot >= 0) {
            bySlot.emplace_back(slot, l);
        }
    }
    // Tab follows the order on the strip.
    std::sort(bySlot.begin(), bySlot.end());
    QWidget* previous = cboExtCase_;
    for (const auto& [slot, l] : bySlot) {
        setTabOrder(previous, l);
        previous = l;
    }
    setTabOrder(previous, separators_[0]);
}

void frmRename2::RefreshPreview() {
    const NamingRule& rule = SharedNamingRule();
    if (!RuleProblem(rule).empty()) {
        preview_->setText(QCoreApplication::translate("frmRename2", "The pattern is not valid."));
        return;
    }
    const RenameRow* first = nullptr;
    if (list_ != nullptr) {
        for (const RenameRow& row : list_->List().rows()) {
            if (row.checked) {
                first = &row;
                break;
            }
        }
    }
    // With no file to show, the rule's own sample name.
    if (first == nullptr) {
        preview_->setText(QString::fromStdString(BuildPreview(rule)));
        return;
    }
    std::string why;
    const FactsNeeded needs = RuleNeeds(rule);
    const auto name = PreviewName(rule, *first, &why, [this, needs](const RenameRow& row) {
        return PreviewFacts(row, needs);
    });
    preview_->setText(name ? QString::fromStdString(*name)
                           : QCoreApplication::translate("frmRename2", "Fail to apply rule"));
}

FileFacts frmRename2::PreviewFacts(const RenameRow& row, FactsNeeded needs) {
    const int code = (needs.audio ? 1 : 0) | (needs.photo ? 2 : 0);
    if (row.key != previewKey_ || code != previewNeeds_) {
        // One file's head, bounded by the readers: quick enough to read here.
        previewFacts_ = ReadFileFacts(row.key, needs);
        previewKey_ = row.key;
        previewNeeds_ = code;
    }
    return previewFacts_;
}

void frmRename2::DropItem(const QString& item, double stripX) {
    NamingRule& rule = SharedNamingRule();
    const std::string name = Std(item);
    if (SlotOf(rule, name) < 0) {
        return;
    }
    MoveItemToSlot(rule, name, SlotAtPosition(DropPosition(stripX / strip_->PixelsPerTwip())));
    PlaceLabels();
    RefreshPreview();
}

void frmRename2::MoveByKey(const QString& item, int direction) {
    NamingRule& rule = SharedNamingRule();
    const std::string name = Std(item);
    const int slot = SlotOf(rule, name);
    const int target = slot + direction;
    if (slot < 0 || target < 0 || target >= kSlotCount) {
        return;
    }
    MoveItemToSlot(rule, name, target);
    PlaceLabels();
    RefreshPreview();
}

void frmRename2::ApplyClicked() {
    frmRename* list = list_;
    if (list == nullptr || list->List().CheckedCount() == 0) {
        CurrentPrompter().Message(this,
                                  QCoreApplication::translate("frmRename2", "No file selected."),
                                  {}, Prompter::Icon::None, Prompter::Buttons::Ok);
        return;
    }
    const NamingRule& rule = SharedNamingRule();
    if (!RuleProblem(rule).empty()) {
        return;
    }
    const FactsNeeded needs = RuleNeeds(rule);
    if (!UsesFileDates(rule) && !needs.any()) {
        Generate(list, rule, nullptr);
        return;
    }
    // Reading thousands of photos takes a while: off this thread, with Apply held down.
    std::vector<std::string> keys;
    for (const RenameRow& row : list->List().rows()) {
        if (row.checked) {
            keys.push_back(row.key);
        }
    }
    // The rule as it was when Apply was pressed, whatever changes meanwhile.
    const bool started = dateReader_->Start<ReadDates>(
        [keys = std::move(keys), source = rule.DateFrom, dates = UsesFileDates(rule), needs,
         stop = stopReading_](Progress& progress) {
            const auto stopped = [&stop, &progress] {
                return stop->load() || progress.StopRequested();
            };
            ReadDates found;
            if (dates) {
                const auto read = ReadFileDates(source, keys, stopped);
                for (std::size_t i = 0; i < keys.size(); ++i) {
                    found.dates.emplace(keys[i], read[i]);
                }
            }
            if (needs.any()) {
                auto read = ReadManyFileFacts(keys, needs, stopped);
                for (std::size_t i = 0; i < keys.size(); ++i) {
                    found.facts.emplace(keys[i], std::move(read[i]));
                }
            }
            found.cut = progress.StopRequested();
            return found;
        },
        [editor = QPointer(this), applied = rule](const ReadDates& found) {
            if (editor == nullptr) {
                return;
            }
            editor->apply_->setEnabled(RuleProblem(SharedNamingRule()).empty());
            frmRename* owner = editor->list_;
            if (!found.cut && owner != nullptr) {
                editor->Generate(owner, applied, &found);
            }
        });
    if (started) {
        apply_->setEnabled(false);
    }
}

void frmRename2::Generate(frmRename* list, const NamingRule& rule, const ReadDates* read) {
    FileDateLookup lookup;
    FileFactsLookup facts;
    if (read != nullptr) {
        // A row checked while the files were read has its file read now.
        lookup = [dates = &read->dates, source = rule.DateFrom](const RenameRow& row) {
            const auto it = dates->find(row.key);
            return it != dates->end() ? it->second : FileDate(source, row.key);
        };
        facts = [found = &read->facts, needs = RuleNeeds(rule)](const RenameRow& row) {
            const auto it = found->find(row.key);
            return it != found->end() ? it->second : ReadFileFacts(row.key, needs);
        };
    }
    const bool ok = GenerateNewNames(rule, list->List().rows(), nullptr, lookup, facts);
    list->ShowNewNames();
    CurrentPrompter().Message(
        this,
        ok ? QCoreApplication::translate("frmRename2", "Rule applied successfully.")
           : QCoreApplication::translate("frmRename2", "Fail to apply rule"),
        {}, Prompter::Icon::None, Prompter::Buttons::Ok);
}

}  // namespace brindle::app

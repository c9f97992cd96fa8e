#pragma once

#include <QPointer>
#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "rename/naming_rule.h"
#include "shell/chrome_window.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

namespace brindle::app {

class ItemStrip;
class JobRunner;
class frmRename;

// The rule editor, open beside the rename list (its parent): it keeps the process-wide
// naming rule in step with its controls, previews it and applies it to the list.
class frmRename2 : public ChromeWindow {
    Q_OBJECT
public:
    explicit frmRename2(frmRename* list = nullptr);
    ~frmRename2() override;

    // Makes the editor a part of the list's window instead of a window of its own.
    void Dock();
    // Drops an item label at x pixels on the strip, as a drag and drop does.
    void DropItem(const QString& item, double stripX);

private:
    void ReadExtension();
    void ReadFileName();
    void ReadDateFields();
    void ReadNumberFields();
    // Find and replace and letter case; a pattern that cannot be used holds Apply down.
    void ReadTextFields();
    void DateOptionClicked();
    void NumberOptionClicked();
    void ModeChosen();
    // The step controls serve only a chosen date, not each file's own.
    void DateSourceChosen();
    void PlaceLabels();
    void RefreshPreview();
    void ApplyClicked();
    // Generates the names, with the files' own dates read beforehand off this thread.
    using FileDates = std::unordered_map<std::string, std::optional<std::chrono::year_month_day>>;
    using FilesFacts = std::unordered_map<std::string, FileFacts>;
    struct ReadDates {
        FileDates dates;
        FilesFacts facts;  // the tags placeholders take
        bool cut = false;  // stopped before every file was read
    };
    void Generate(frmRename* list, const NamingRule& rule, const ReadDates* read);
    // The tags of the preview's file, read once for each file and need.
    FileFacts PreviewFacts(const RenameRow& row, FactsNeeded needs);
    void MoveByKey(const QString& item, int direction);

    // The list it works on, wherever the editor stands (docked, it sits deeper in the list).
    QPointer<frmRename> list_;
    QCheckBox* chkExt_;
    QLineEdit* txtExt_;
    QCheckBox* chkPrefix_;
    QLineEdit* txtPrefix_;
    QCheckBox* chkDate_;
    QComboBox* cboFormat_;
    QComboBox* cbosep_;
    QDateEdit* picker_;
    QComboBox* cboMode_;
    QLabel* by_;
    QLineEdit* txtNum_;
    QComboBox* combo2_;
    QComboBox* dateFrom_;
    QPushButton* apply_;
    JobRunner* dateReader_;
    std::shared_ptr<std::atomic<bool>> stopReading_ = std::make_shared<std::atomic<bool>>(false);
    QCheckBox* chkNum_;
    QLineEdit* txtAutoNum_;
    QLineEdit* txtFind_;
    QLineEdit* txtReplace_;
    QCheckBox* chkRegex_;
    QCheckBox* chkMatchCase_;
    QLabel* findProblem_;
    QComboBox* cboCase_;
    QComboBox* cboExtCase_;
    std::string previewKey_;
    int previewNeeds_ = 0;
    FileFacts previewFacts_;
    ItemStrip* strip_;
    std::array<QLabel*, 4> items_{};
    std::array<QLineEdit*, 4> separators_{};
    QLineEdit* preview_;
};

}  // namespace brindle::app

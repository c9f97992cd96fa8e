#pragma once

#include <array>
#include <string>

#include "shell/chrome_window.h"
#include "split/split_choice.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QFileSystemWatcher;
class QToolButton;

namespace brindle::app {

// The split wizard's first page: the file to split and how.
class frmSplit : public ChromeWindow {
    Q_OBJECT
public:
    // A page of the window whose `values` it takes on; without them, of a new window.
    explicit frmSplit(JobValuesPtr values = nullptr);

    const SplitChoiceControls& Choice() const { return choice_; }
    QLineEdit* PathBox() const { return txtPath_; }

    // Shows the chosen file's name, size and folder; empty values for a path that names no
    // file.
    void RefreshFileInfo();
    // Takes `path` as the file to split, as choosing it in the open dialog does.
    void ChooseFile(const std::string& path);

protected:
    bool TakesDrop(const QMimeData& drag) const override;
    void TakeDrop(const QMimeData& drag) override;

private:
    void Browse();
    void OptionClicked(int index);
    void Next();
    void Previous();

    QLineEdit* txtPath_ = nullptr;
    QToolButton* cmdBrowse_ = nullptr;
    SplitChoiceControls choice_;
    std::array<QLabel*, 3> Label5_{};
    QFileSystemWatcher* watcher_ = nullptr;
    QPushButton* cmdPrevious_ = nullptr;
    QPushButton* cmdNext_ = nullptr;
};

}  // namespace brindle::app

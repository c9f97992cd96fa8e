#pragma once

#include <array>
#include <functional>
#include <string>

#include "join/join_controls.h"
#include "shell/chrome_window.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace brindle::app {

// The join wizard's first page: find the piece groups in a folder and show what the chosen
// group's first piece says of the file that was split.
class frmJoin : public ChromeWindow {
    Q_OBJECT
public:
    // A page of the window whose `values` it takes on; without them, of a new window.
    explicit frmJoin(JobValuesPtr values = nullptr);

    QLineEdit* txtPath = nullptr;
    QTreeWidget* group = nullptr;
    QPushButton* cmdNext = nullptr;
    FileList File1;

    // Rebuilds the group list from JoinFolder; the details and the selection stay. The
    // folder is read on another thread; the page is busy until listFilled().
    // `then` runs once the list is there.
    void FindGroups(std::function<void()> then = {});
    bool IsListing() const { return listing_; }

signals:
    void listFilled();

public:
    void group_ItemClick(QTreeWidgetItem* item);
    // Lists the folder of `piece` and chooses its group, as browsing there and clicking it do.
    void ShowGroupOf(const std::string& piece);

protected:
    bool TakesDrop(const QMimeData& drag) const override;
    void TakeDrop(const QMimeData& drag) override;

private:
    void cmdBrowse_Click();
    void Timer1_Timer();
    void ShowDetails(const QString& name, const QString& size, const QString& date);
    // Shows the numbered group whose first piece is `firstPiece`; false when it is none.
    bool ShowNumberedGroup(const std::string& firstPiece);

    std::array<QLabel*, 3> Label5{};
    QTimer* Timer1 = nullptr;
    QToolButton* cmdBrowse_ = nullptr;
    JobRunner* lister_ = nullptr;  // the folder's listings
    bool listing_ = false;
};

}  // namespace brindle::app

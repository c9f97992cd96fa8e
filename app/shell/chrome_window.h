#pragma once

#include <QSize>
#include <QString>
#include <QWidget>
#include <array>
#include <initializer_list>
#include <vector>

#include "shell/image_list.h"
#include "shell/job_values.h"

class QHBoxLayout;
class QMimeData;
class QPushButton;
class QVBoxLayout;

namespace brindle::app {

class ImageControl;
class PageHost;
class TitleStrip;

// What chrome a window carries.
struct ChromeOptions {
    enum class SecondImage { None, Minimise, Close };

    QString subtitle;  // shown in the title strip after the product name
    QSize size;        // at the default font; the window grows when its content needs more
    QString stripName = QStringLiteral("Picture5");
    SecondImage second = SecondImage::Minimise;
    bool closesMainWindow = false;
    bool mainWindow = false;  // the program's main window, which closesMainWindow closes
    bool navigation = false;
    int currentButton = -1;  // with navigation: 0 split, 1 merge, 2 rename, -1 none
    int footerTop = 0;       // top of the darker bottom band; 0 for none (the bar brings one)
};

// The chrome of a job window: the navigation bar with `job`'s button current
// (0 split, 1 merge, 2 rename).
inline ChromeOptions JobWindowChrome(int job, const QString& subtitle, QSize size = QSize(480, 384)) {
    ChromeOptions options;
    options.subtitle = subtitle;
    options.size = size;
    options.navigation = true;
    options.currentButton = job;
    return options;
}

inline constexpr int kTitleHeight = 32;
inline const QString kJobKeys[3] = {QStringLiteral("split"), QStringLiteral("merge"),
                                    QStringLiteral("rename")};

// A borderless window with a draggable title strip, Close ("Image1") and minimise ("Image2")
// images and, on the job windows, the three-button navigation bar ("imgButton_0" to
// "imgButton_2" with the pictures of "ImageList2"). Its controls sit in layouts, so it is as
// large as its content needs and never smaller than its default size.
// Without a parent it is a page of its own top-level window: moving to another window swaps
// the page inside that window (ReplaceWindow), which stays where it is. Closing the page
// closes its window; closing deletes the page.
class ChromeWindow : public QWidget {
    Q_OBJECT
public:
    // Without `values` the page starts a window's values of its own.
    explicit ChromeWindow(const ChromeOptions& options, QWidget* parent = nullptr,
                          JobValuesPtr values = nullptr);
    ~ChromeWindow() override;

    // The job this page's window runs; the next page of the window is made with them.
    JobValues& Values() const { return *values_; }
    const JobValuesPtr& ValuesToHandOn() const { return values_; }

    QSize sizeHint() const override;
    // Showing the page shows its window.
    void setVisible(bool visible) override;

    const ImageList& ImageList2() const { return navigationImages_; }
    ImageControl* NavigationButton(int index) const;
    // The text after the product name in the title strip and the window's title.
    void SetSubtitle(const QString& subtitle);

    // Puts `next` in this page's place in its top-level window, which keeps its position and
    // takes next's title. This page leaves the window, still open; the caller closes it.
    // False when this page has no window of its own to hand over.
    bool HandOver(ChromeWindow& next);

    // The program's page shown in a top-level widget, or nullptr for another kind of window.
    static ChromeWindow* PageIn(QWidget* topLevel);

protected:
    // The window's own controls go here, between the title strip and the footer band.
    QVBoxLayout* Body() const { return body_; }
    // The footer band's row: the navigation bar comes first where the window has one.
    QHBoxLayout* Footer() const { return footerRow_; }
    // The page's buttons at the right of the footer row, in this order, `right` pixels from
    // the window's edge and never smaller than `least` (their default look).
    void AddFooterButtons(std::initializer_list<QPushButton*> buttons, QSize least, int right);

    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

    // Drops from the file manager: a window that takes them says whether it takes what a
    // drag carries, and takes it. What it refuses gets the no-drop cursor and nothing else:
    // no question, no message. Text boxes pass such drags to their window.
    virtual bool TakesDrop(const QMimeData& drag) const;
    virtual void TakeDrop(const QMimeData& drag);
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A window whose job runs closes only when the user agrees to stop the job.
    void closeEvent(QCloseEvent* event) override;

private:
    void CloseClicked();
    void NavigationPointerMoved(int index);
    void NavigationClicked(int index);

    bool HandleDrag(QEvent* event);

    friend class PageHost;
    ChromeOptions options_;
    JobValuesPtr values_;
    PageHost* host_ = nullptr;  // the top-level window this page is shown in, if its own
    TitleStrip* strip_ = nullptr;
    QVBoxLayout* body_ = nullptr;
    QWidget* footer_ = nullptr;
    QHBoxLayout* footerRow_ = nullptr;
    ImageList navigationImages_;
    std::array<ImageControl*, 3> navigationButtons_{};
    std::vector<ImageControl*> chromeControls_;  // in their tab order, after the window's own
    bool chromeArranged_ = false;
};

// Tool tips from the tags; every button that shows neither its plain nor its current
// picture goes back to plain. A missing picture or button is skipped.
void RefreshNavigationBar(ChromeWindow& window);

}  // namespace brindle::app

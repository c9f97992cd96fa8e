#include "shell/chrome_window.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <algorithm>
#include <utility>

#include "shell/artwork.h"
#include "shell/form_controls.h"
#include "shell/image_control.h"
#include "shell/job_runner.h"
#include "shell/navigation.h"
#include "shell/prompter.h"
#include "shell/startup.h"
#include "shell/theme.h"
#include "shell/title_strip.h"

namespace brindle::app {
namespace {

// Navigation bar: 49 by 41 pixels, 23 apart, 32 from the left and 12 below the band's top.
constexpr QSize kNavigationSize(49, 41);
constexpr int kNavigationGap = 23;
constexpr int kFooterTop = 316;
constexpr QMargins kNavigationMargins(32, 12, 12, 15);
constexpr int kFooterButtonGap = 8;

// Translated when shown: the translator is loaded after static start-up.
const char* const kNavigationTags[3] = {QT_TRANSLATE_NOOP("ChromeWindow", "Split a file"),
                                        QT_TRANSLATE_NOOP("ChromeWindow", "Merge Files"),
                                        QT_TRANSLATE_NOOP("ChromeWindow", "Batch Renaming")};

// The desktop's window list and screen readers say which window and step this is.
QString WindowTitle(const QString& subtitle) {
    return subtitle.isEmpty() ? kProductName : subtitle + QStringLiteral(" - ") + kProductName;
}

}  // namespace

// The top-level window of a page without a parent. It is as large as its page and follows
// the page's title; it outlives the page only while handing over to the next one.
class PageHost final : public QWidget {
public:
    PageHost() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetFixedSize);
    }
    ~PageHost() override {
        if (page_ != nullptr) {
            page_->host_ = nullptr;  // the page goes with this window's children
        }
    }

    void Show(ChromeWindow* page) {
        page_ = page;
        page->host_ = this;
        layout()->addWidget(page);
        setWindowTitle(page->windowTitle());
    }
    ChromeWindow* Page() const { return page_; }
    void Release() { page_ = nullptr; }

    bool closing = false;  // its page is closing already

protected:
    // Closed by the desktop or the program: the page decides, as its own Close would.
    void closeEvent(QCloseEvent* event) override {
        if (page_ == nullptr || closing) {
            return;
        }
        closing = true;
        const bool closed = page_->close();
        closing = false;
        if (!closed) {
            event->ignore();
        }
    }

private:
    ChromeWindow* page_ = nullptr;
};

namespace {

// A plain widget is a "filler" to screen readers; the program's windows are frames, named by
// their titles (QAccessibleWidget names a window by its title).
class AccessibleWindow final : public QAccessibleWidget {
public:
    explicit AccessibleWindow(QWidget* window) : QAccessibleWidget(window) {}
    QAccessible::Role role() const override {
        return widget()->isWindow() ? QAccessible::Window : QAccessibleWidget::role();
    }
};

QAccessibleInterface* WindowFactory(const QString& className, QObject* object) {
    if ((className == QLatin1String("QWidget") && dynamic_cast<PageHost*>(object) != nullptr) ||
        className == QLatin1String("brindle::app::ChromeWindow")) {
        return new AccessibleWindow(static_cast<QWidget*>(object));
    }
    return nullptr;
}

}  // namespace

ChromeWindow::ChromeWindow(const ChromeOptions& options, QWidget* parent, JobValuesPtr values)
    : QWidget(parent != nullptr ? parent : new PageHost,
              parent != nullptr ? Qt::Window | Qt::FramelessWindowHint : Qt::FramelessWindowHint),
      options_(options),
      values_(values != nullptr ? std::move(values) : std::make_shared<JobValues>()) {
    EnsureArtwork();
    ImageControl::InstallAccessibility();
    static const bool windowsAccessible = (QAccessible::installFactory(WindowFactory), true);
    (void)windowsAccessible;
    setAttribute(Qt::WA_DeleteOnClose);
    SetTone(this, Tone::Selection);
    setWindowTitle(WindowTitle(options.subtitle));
    if (parent == nullptr) {
        static_cast<PageHost*>(parentWidget())->Show(this);
    }
    resize(options.size);

    setAcceptDrops(true);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    // Never smaller than the content: longer captions or a larger font make the window grow.
    root->setSizeConstraint(QLayout::SetMinimumSize);
    auto* strip = new TitleStrip(options.subtitle, this);
    strip_ = strip;
    strip->setObjectName(options.stripName);
    strip->setFixedHeight(kTitleHeight);
    strip->setAccessibleName(windowTitle());
    root->addWidget(strip);
    body_ = new QVBoxLayout;
    root->addLayout(body_, 1);
    footer_ = new QWidget(this);
    footer_->setObjectName(QStringLiteral("footer"));
    // The pointer moving over the band reaches the window's surface, as it did before the
    // band had a widget of its own.
    footer_->setMouseTracking(true);
    footerRow_ = new QHBoxLayout(footer_);
    footerRow_->setSpacing(0);
    footerRow_->setContentsMargins(12, 0, 12, 0);
    root->addWidget(footer_);
    if (options_.navigation && options_.footerTop == 0) {
        options_.footerTop = kFooterTop;
    }
    if (options_.footerTop > 0) {
        footer_->setMinimumHeight(options.size.height() - options_.footerTop);
    } else {
        footer_->hide();
    }

    // The title strip's images, left to right at its right end.
    const auto titleImage = [&](const QString& name, const QString& tip, const QString& art) {
        auto* image = new ImageControl(strip);
        image->setObjectName(name);
        image->setToolTip(tip);
        image->setAccessibleName(tip);
        image->setFocusColour(Qt::white);
        image->setFixedSize(20, 20);
        image->setPixmap(Artwork(art, image->size()));
        image->setHoverPixmap(Artwork(art + QStringLiteral("_over"), image->size()));
        strip->AddImage(image);
        return image;
    };
    const QString image1 = QStringLiteral("Image1");
    const QString image2 = QStringLiteral("Image2");
    const QString closeTip = QCoreApplication::translate("ChromeWindow", "Close");
    const QString closeArt = QStringLiteral("close");
    if (options.second == ChromeOptions::SecondImage::Minimise) {
        ImageControl* second =
            titleImage(image2, QCoreApplication::translate("ChromeWindow", "Minimise"),
                       QStringLiteral("minimise"));
        connect(second, &ImageControl::clicked, this,
                [this] { window()->setWindowState(window()->windowState() | Qt::WindowMinimized); });
        chromeControls_.push_back(second);
    } else if (options.second == ChromeOptions::SecondImage::Close) {
        ImageControl* second = titleImage(image2, closeTip, closeArt);
        connect(second, &ImageControl::clicked, this, &ChromeWindow::CloseClicked);
        chromeControls_.push_back(second);
    }
    ImageControl* first = titleImage(image1, closeTip, closeArt);
    connect(first, &ImageControl::clicked, this, &ChromeWindow::CloseClicked);
    chromeControls_.push_back(first);

    if (!options.navigation) {
        return;
    }
    footerRow_->setContentsMargins(kNavigationMargins);
    for (int i = 0; i < 3; ++i) {
        const QString& key = kJobKeys[i];
        for (const QString& form : {QString(), QStringLiteral("over"), QStringLiteral("current")}) {
            const QString name =
                QStringLiteral("nav_") + key + (form.isEmpty() ? QString() : "_" + form);
            navigationImages_.Add(key + form, Artwork(name, kNavigationSize),
                                  QCoreApplication::translate("ChromeWindow", kNavigationTags[i]));
        }
        auto* button = new ImageControl(footer_);
        button->setObjectName(QStringLiteral("imgButton_%1").arg(i));
        button->setFocusJob(i);
        chromeControls_.insert(chromeControls_.begin() + i, button);
        button->setFixedSize(kNavigationSize);
        if (i > 0) {
            footerRow_->addSpacing(kNavigationGap);
        }
        footerRow_->addWidget(button, 0, Qt::AlignVCenter);
        connect(button, &ImageControl::pointerMoved, this,
                [this, i] { NavigationPointerMoved(i); });
        connect(button, &ImageControl::clicked, this, [this, i] { NavigationClicked(i); });
        navigationButtons_[static_cast<std::size_t>(i)] = button;
    }

    // Load-time set-up of a page with the bar.
    RefreshNavigationBar(*this);
    if (ImageControl* current = NavigationButton(options.currentButton)) {
        current->setEnabled(false);
        current->setCursor(Qt::ArrowCursor);
        const QString key = kJobKeys[options.currentButton] + QStringLiteral("current");
        if (!navigationImages_.Shows(current, key)) {
            current->setPixmap(navigationImages_.Picture(key));
        }
    }
}

ChromeWindow::~ChromeWindow() {
    if (PageHost* host = host_; host != nullptr) {
        // The page's window ends with it; the page must not be among its children then.
        host_ = nullptr;
        host->Release();
        setParent(nullptr);
        delete host;
    }
}

QSize ChromeWindow::sizeHint() const {
    return options_.size.expandedTo(minimumSizeHint());
}

void ChromeWindow::AddFooterButtons(std::initializer_list<QPushButton*> buttons, QSize least,
                                    int right) {
    QMargins margins = footerRow_->contentsMargins();
    margins.setRight(right);
    footerRow_->setContentsMargins(margins);
    footerRow_->addStretch(1);
    bool first = true;
    for (QPushButton* button : buttons) {
        if (!first) {
            footerRow_->addSpacing(kFooterButtonGap);
        }
        first = false;
        SetLeastSize(button, least);
        footerRow_->addWidget(button, 0, Qt::AlignVCenter);
    }
}

bool ChromeWindow::HandOver(ChromeWindow& next) {
    PageHost* host = host_;
    if (host == nullptr || next.host_ == nullptr || next.host_ == host) {
        return false;
    }
    PageHost* spare = next.host_;
    spare->Release();
    next.setParent(host, next.windowFlags());
    delete spare;
    // The next page shows before this one hides: the window never holds no page, so it is
    // never sized to nothing and unmapped, keeps its place, its native window (one toplevel
    // under Wayland) and its activation, and the focus can go straight to the next page.
    host->layout()->removeWidget(this);
    host_ = nullptr;
    host->Release();
    host->Show(&next);
    next.show();
    hide();
    host->layout()->activate();
    // A larger page keeps the window's corner only where the screen still holds it all.
    KeepOnScreen(host);
    return true;
}

ChromeWindow* ChromeWindow::PageIn(QWidget* topLevel) {
    if (auto* page = qobject_cast<ChromeWindow*>(topLevel)) {
        return page;
    }
    auto* host = dynamic_cast<PageHost*>(topLevel);
    return host != nullptr ? host->Page() : nullptr;
}

void ChromeWindow::setVisible(bool visible) {
    QWidget::setVisible(visible);
    if (visible && host_ != nullptr && !host_->isVisible()) {
        host_->show();
    }
}

ImageControl* ChromeWindow::NavigationButton(int index) const {
    if (index < 0 || index > 2) {
        return nullptr;
    }
    return navigationButtons_[static_cast<std::size_t>(index)];
}

void ChromeWindow::SetSubtitle(const QString& subtitle) {
    options_.subtitle = subtitle;
    setWindowTitle(WindowTitle(subtitle));
    strip_->SetSubtitle(subtitle);
    strip_->setAccessibleName(windowTitle());
    if (host_ != nullptr) {
        host_->setWindowTitle(windowTitle());
    }
}

void ChromeWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (chromeArranged_) {
        return;
    }
    chromeArranged_ = true;
    for (QLineEdit* box : findChildren<QLineEdit*>()) {
        box->installEventFilter(this);
    }
    // Tab reaches the window's own controls first, then the navigation bar, minimise, close.
    const auto isChrome = [this](QWidget* w) {
        return std::find(chromeControls_.begin(), chromeControls_.end(), w) != chromeControls_.end();
    };
    QWidget* anchor = nullptr;
    for (QWidget* w = nextInFocusChain(); w != this; w = w->nextInFocusChain()) {
        if (w->focusPolicy() != Qt::NoFocus && !isChrome(w)) {
            anchor = w;
        }
    }
    for (ImageControl* control : chromeControls_) {
        if (anchor != nullptr) {
            setTabOrder(anchor, control);
        }
        anchor = control;
    }
    // Opening on a page must not leave Enter on Close.
    if (focusWidget() == nullptr || focusWidget() == this) {
        for (QWidget* w = nextInFocusChain(); w != this; w = w->nextInFocusChain()) {
            if (w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(this) &&
                !isChrome(w)) {
                w->setFocus(Qt::TabFocusReason);
                break;
            }
        }
    }
}

void ChromeWindow::keyPressEvent(QKeyEvent* event) {
    // Escape stops a running job, as its Cancel button does.
    if (event->key() == Qt::Key_Escape) {
        auto* cancel = findChild<QPushButton*>(QStringLiteral("cmdCancel"));
        if (cancel != nullptr && cancel->isEnabled() && cancel->isVisible()) {
            event->accept();
            cancel->click();
            return;
        }
    }
    // Enter in a text box moves the page on, as in a dialog: the default button takes it.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        for (QPushButton* button : findChildren<QPushButton*>()) {
            if (button->isDefault() && button->isEnabled() && button->isVisible()) {
                event->accept();
                button->click();
                return;
            }
        }
    }
    QWidget::keyPressEvent(event);
}

void ChromeWindow::closeEvent(QCloseEvent* event) {
    if (ShowsDialog(this) || !MayLeaveWindow(this)) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
    if (host_ != nullptr && !host_->closing) {
        host_->closing = true;
        host_->close();
        host_->closing = false;
    }
}

void ChromeWindow::paintEvent(QPaintEvent*) {
    const ChromeColours colours = DeriveChrome(palette());
    QPainter painter(this);
    painter.fillRect(rect(), colours.surface);
    if (footer_->isVisibleTo(this)) {
        const int top = footer_->y();
        painter.fillRect(QRect(0, top, width(), height() - top), colours.footer);
        painter.setPen(colours.divider);
        painter.drawLine(0, top, width(), top);
    }
    // Borderless windows need an edge of their own against the desktop.
    painter.setPen(colours.edge);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ChromeWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        // The desktop switched between light and dark: colours that derive from it follow.
        RefreshTones(this);
    }
}

bool ChromeWindow::TakesDrop(const QMimeData&) const {
    return false;
}

void ChromeWindow::TakeDrop(const QMimeData&) {}

bool ChromeWindow::HandleDrag(QEvent* event) {
    auto* drag = static_cast<QDropEvent*>(event);
    if (!TakesDrop(*drag->mimeData())) {
        drag->ignore();
        return true;
    }
    drag->acceptProposedAction();
    if (event->type() == QEvent::Drop) {
        TakeDrop(*drag->mimeData());
    }
    return true;
}

void ChromeWindow::dragEnterEvent(QDragEnterEvent* event) {
    HandleDrag(event);
}

void ChromeWindow::dragMoveEvent(QDragMoveEvent* event) {
    HandleDrag(event);
}

void ChromeWindow::dropEvent(QDropEvent* event) {
    HandleDrag(event);
}

bool ChromeWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) &&
        static_cast<QDropEvent*>(event)->mimeData()->hasUrls()) {
        return HandleDrag(event);
    }
    return QWidget::eventFilter(watched, event);
}

void ChromeWindow::CloseClicked() {
    if (!close() || !options_.closesMainWindow) {
        return;
    }
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (ChromeWindow* window = PageIn(widget); window != nullptr && window->options_.mainWindow) {
            window->close();
        }
    }
}

void ChromeWindow::NavigationPointerMoved(int index) {
    ImageControl* button = NavigationButton(index);
    const QString key = kJobKeys[index] + QStringLiteral("over");
    if (button == nullptr || !navigationImages_.Contains(key) ||
        navigationImages_.Shows(button, key)) {
        return;
    }
    RefreshNavigationBar(*this);
    button->setPixmap(navigationImages_.Picture(key));
}

void ChromeWindow::NavigationClicked(int index) {
    OpenJobWindow(index, this);
}

void RefreshNavigationBar(ChromeWindow& window) {
    const ImageList& images = window.ImageList2();
    for (int i = 0; i < 3; ++i) {
        ImageControl* button = window.NavigationButton(i);
        const QString& key = kJobKeys[i];
        if (button == nullptr || !images.Contains(key)) {
            continue;
        }
        button->setToolTip(images.Tag(key));
        button->setAccessibleName(images.Tag(key));
        if (!images.Shows(button, key) && !images.Shows(button, key + QStringLiteral("current"))) {
            button->setPixmap(images.Picture(key));
        }
    }
}

}  // namespace brindle::app

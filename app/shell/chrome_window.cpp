#include "shell/chrome_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "shell/artwork.h"
#include "shell/image_control.h"
#include "shell/job_runner.h"
#include "shell/navigation.h"
#include "shell/startup.h"
#include "shell/theme.h"
#include "shell/title_strip.h"

namespace brindle::app {
namespace {

// Navigation bar geometry: 49 by 41 pixels, lefts 32, 104, 176, top 328.
constexpr QSize kNavigationSize(49, 41);
constexpr int kNavigationLefts[3] = {32, 104, 176};
constexpr int kNavigationTop = 328;
constexpr int kFooterTop = 316;

const QString kNavigationTags[3] = {QStringLiteral("Split a file"), QStringLiteral("Merge Files"),
                                    QStringLiteral("Batch Renaming")};

// The desktop's window list and screen readers say which window and step this is.
QString WindowTitle(const QString& subtitle) {
    return subtitle.isEmpty() ? kProductName : subtitle + QStringLiteral(" - ") + kProductName;
}

}  // namespace

ChromeWindow::ChromeWindow(const ChromeOptions& options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), options_(options) {
    EnsureArtwork();
    ImageControl::InstallAccessibility();
    setAttribute(Qt::WA_DeleteOnClose);
    SetTone(this, Tone::Selection);
    setWindowTitle(WindowTitle(options.subtitle));
    resize(options.size);

    setAcceptDrops(true);
    auto* strip = new TitleStrip(options.subtitle, this);
    strip_ = strip;
    strip->setObjectName(options.stripName);
    strip->setFixedHeight(kTitleHeight);
    strip->setAccessibleName(windowTitle());
    auto* images = new QHBoxLayout(strip);
    images->setContentsMargins(0, 6, 10, 6);
    images->setSpacing(6);
    images->addStretch();

    // Strip, body, footer: the window is as large as its content needs.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->setSizeConstraint(QLayout::SetMinimumSize);
    outer->addWidget(strip);
    body_ = new QVBoxLayout;
    body_->setContentsMargins(16, 10, 16, 10);
    outer->addLayout(body_, 1);
    outer->addStretch();  // keeps the footer at the bottom while the body is empty
    footer_ = new QWidget(this);
    // The pointer moving over the band reaches the window's surface.
    footer_->setMouseTracking(true);
    footerRow_ = new QHBoxLayout(footer_);
    footerRow_->setContentsMargins(16, 8, 16, 8);
    outer->addWidget(footer_);

    // The title strip's images, counted from its right edge.
    const auto titleImage = [&](const QString& name, const QString& tip,
                                const QString& art) {
        auto* image = new ImageControl(strip);
        image->setObjectName(name);
        image->setToolTip(tip);
        image->setAccessibleName(tip);
        image->setFocusColour(Qt::white);
        image->setFixedSize(20, 20);
        image->setPixmap(Artwork(art, image->size()));
        image->setHoverPixmap(Artwork(art + QStringLiteral("_over"), image->size()));
        return image;
    };
    const QString image1 = QStringLiteral("Image1");
    const QString image2 = QStringLiteral("Image2");
    const QString closeTip = QStringLiteral("Close");
    const QString closeArt = QStringLiteral("close");
    ImageControl* first = titleImage(image1, closeTip, closeArt);
    ImageControl* secondImage = nullptr;
    connect(first, &ImageControl::clicked, this, &ChromeWindow::CloseClicked);
    if (options.second == ChromeOptions::SecondImage::Minimise) {
        ImageControl* second = titleImage(image2, QStringLiteral("Minimixed"), QStringLiteral("minimise"));
        // The tool tip keeps its described text; a screen reader says the word itself.
        second->setAccessibleName(QStringLiteral("Minimise"));
        connect(second, &ImageControl::clicked, this,
                [this] { setWindowState(windowState() | Qt::WindowMinimized); });
        chromeControls_.push_back(second);
        secondImage = second;
    } else if (options.second == ChromeOptions::SecondImage::Close) {
        ImageControl* second = titleImage(image2, closeTip, closeArt);
        connect(second, &ImageControl::clicked, this, &ChromeWindow::CloseClicked);
        chromeControls_.push_back(second);
        secondImage = second;
    }
    if (secondImage != nullptr) {
        images->addWidget(secondImage);
    }
    images->addWidget(first);
    chromeControls_.push_back(first);

    if (options_.navigation && options_.footerTop == 0) {
        options_.footerTop = kFooterTop;
    }
    footer_->setVisible(options_.footerTop > 0);
    if (options_.footerTop > 0) {
        footer_->setMinimumHeight(options.size.height() - options_.footerTop);
    }
    if (!options.navigation) {
        footerRow_->addStretch();
        return;
    }
    footerRow_->setContentsMargins(kNavigationLefts[0], kNavigationTop - kFooterTop, 16, 8);
    footerRow_->setSpacing(kNavigationLefts[1] - kNavigationLefts[0] - kNavigationSize.width());
    for (int i = 0; i < 3; ++i) {
        const QString& key = kJobKeys[i];
        for (const QString& form : {QString(), QStringLiteral("over"), QStringLiteral("current")}) {
            const QString name =
                QStringLiteral("nav_") + key + (form.isEmpty() ? QString() : "_" + form);
            navigationImages_.Add(key + form, Artwork(name, kNavigationSize), kNavigationTags[i]);
        }
        auto* button = new ImageControl(this);
        button->setObjectName(QStringLiteral("imgButton_%1").arg(i));
        button->setFocusJob(i);
        chromeControls_.insert(chromeControls_.begin() + i, button);
        button->setFixedSize(kNavigationSize);
        footerRow_->addWidget(button, 0, Qt::AlignTop);
        connect(button, &ImageControl::pointerMoved, this,
                [this, i] { NavigationPointerMoved(i); });
        connect(button, &ImageControl::clicked, this, [this, i] { NavigationClicked(i); });
        navigationButtons_[static_cast<std::size_t>(i)] = button;
    }

    footerRow_->addStretch();

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

void ChromeWindow::AddFooterButtons(std::initializer_list<QPushButton*> buttons, QSize least,
                                    int right) {
    QMargins margins = footerRow_->contentsMargins();
    margins.setRight(right);
    footerRow_->setContentsMargins(margins);
    for (QPushButton* button : buttons) {
        // A longer caption still widens the button.
        button->setMinimumSize(least.expandedTo(button->sizeHint()));
        footerRow_->addWidget(button);
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
    if (!MayLeaveWindow(this)) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void ChromeWindow::paintEvent(QPaintEvent*) {
    const ChromeColours colours = DeriveChrome(palette());
    QPainter painter(this);
    painter.fillRect(rect(), colours.surface);
    if (footer_->isVisible()) {
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
        if (auto* window = qobject_cast<ChromeWindow*>(widget); window != nullptr && window->options_.mainWindow) {
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

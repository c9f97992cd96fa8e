#include "shell/chrome_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <algorithm>

#include "shell/artwork.h"
#include "shell/frm_main.h"
#include "shell/image_control.h"
#include "shell/job_runner.h"
#include "shell/navigation.h"
#include "shell/startup.h"
#include "shell/title_strip.h"

namespace brindle::app {
namespace {

// Navigation bar geometry: 49 by 41 pixels, lefts 32, 104, 176, top 328.
constexpr QSize kNavigationSize(49, 41);
constexpr int kNavigationLefts[3] = {32, 104, 176};
constexpr int kNavigationTop = 328;
constexpr int kFooterTop = 316;

const QColor kJobAccents[3] = {QColor(0x0f, 0x76, 0x6e), QColor(0x43, 0x38, 0xca),
                               QColor(0xb4, 0x53, 0x09)};

const QString kNavigationTags[3] = {QStringLiteral("Split a file"), QStringLiteral("Merge Files"),
                                    QStringLiteral("Batch Renaming")};

}  // namespace

ChromeWindow::ChromeWindow(const ChromeOptions& options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), options_(options) {
    EnsureArtwork();
    ImageControl::InstallAccessibility();
    setAttribute(Qt::WA_DeleteOnClose);
    // The desktop's window list and screen readers say which window and step this is.
    setWindowTitle(options.subtitle.isEmpty() ? kProductName
                                              : options.subtitle + QStringLiteral(" - ") + kProductName);
    setFixedSize(options.size);

    auto* strip = new TitleStrip(options.subtitle, this);
    strip->setObjectName(options.stripName);
    strip->setGeometry(0, 0, width(), kTitleHeight);
    strip->setAccessibleName(windowTitle());

    // The title strip's images, counted from its right edge.
    const auto titleImage = [&](const QString& name, const QString& tip, int right,
                                const QString& art) {
        auto* image = new ImageControl(strip);
        image->setObjectName(name);
        image->setToolTip(tip);
        image->setAccessibleName(tip);
        image->setFocusColour(Qt::white);
        image->setGeometry(width() - right, 6, 20, 20);
        image->setPixmap(Artwork(art, image->size()));
        image->setHoverPixmap(Artwork(art + QStringLiteral("_over"), image->size()));
        return image;
    };
    const QString image1 = QStringLiteral("Image1");
    const QString image2 = QStringLiteral("Image2");
    const QString closeTip = QStringLiteral("Close");
    const QString closeArt = QStringLiteral("close");
    ImageControl* first = titleImage(image1, closeTip, 30, closeArt);
    connect(first, &ImageControl::clicked, this, &ChromeWindow::CloseClicked);
    if (options.second == ChromeOptions::SecondImage::Minimise) {
        ImageControl* second = titleImage(image2, QStringLiteral("Minimixed"), 56, QStringLiteral("minimise"));
        connect(second, &ImageControl::clicked, this,
                [this] { setWindowState(windowState() | Qt::WindowMinimized); });
        chromeControls_.push_back(second);
    } else if (options.second == ChromeOptions::SecondImage::Close) {
        ImageControl* second = titleImage(image2, closeTip, 56, closeArt);
        connect(second, &ImageControl::clicked, this, &ChromeWindow::CloseClicked);
        chromeControls_.push_back(second);
    }
    chromeControls_.push_back(first);

    if (!options.navigation) {
        return;
    }
    if (options_.footerTop == 0) {
        options_.footerTop = kFooterTop;
    }
    for (int i = 0; i < 3; ++i) {
        const QString& key = kJobKeys[i];
        for (const QString& form : {QString(), QStringLiteral("over"), QStringLiteral("current")}) {
            const QString name =
                QStringLiteral("nav_") + key + (form.isEmpty() ? QString() : "_" + form);
            navigationImages_.Add(key + form, Artwork(name, kNavigationSize), kNavigationTags[i]);
        }
        auto* button = new ImageControl(this);
        button->setObjectName(QStringLiteral("imgButton_%1").arg(i));
        button->setFocusColour(kJobAccents[i]);
        chromeControls_.insert(chromeControls_.begin() + i, button);
        button->setGeometry(QRect(QPoint(kNavigationLefts[i], kNavigationTop), kNavigationSize));
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

ImageControl* ChromeWindow::NavigationButton(int index) const {
    if (index < 0 || index > 2) {
        return nullptr;
    }
    return navigationButtons_[static_cast<std::size_t>(index)];
}

void ChromeWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (chromeArranged_) {
        return;
    }
    chromeArranged_ = true;
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
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0xf5, 0xf7, 0xfb));
    if (options_.footerTop > 0) {
        painter.fillRect(QRect(0, options_.footerTop, width(), height() - options_.footerTop),
                         QColor(0xe9, 0xed, 0xf5));
        painter.setPen(QColor(0xd5, 0xdc, 0xea));
        painter.drawLine(0, options_.footerTop, width(), options_.footerTop);
    }
    // Borderless windows need an edge of their own against a light desktop.
    painter.setPen(QColor(0x9a, 0xa8, 0xc4));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ChromeWindow::CloseClicked() {
    if (!close() || !options_.closesMainWindow) {
        return;
    }
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<frmMain*>(widget) != nullptr) {
            widget->close();
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

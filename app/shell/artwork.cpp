#include "shell/artwork.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>
#include <cmath>

#include "shell/theme.h"

// The resources sit in a static library, so nothing would pull them in by itself.
static void InitArtworkResources() {
    Q_INIT_RESOURCE(artwork);
}

namespace brindle::app {

void EnsureArtwork() {
    static const bool loaded = (InitArtworkResources(), true);
    (void)loaded;
}

QPixmap Artwork(const QString& name, QSize size) {
    EnsureArtwork();
    // A picture drawn for light surfaces may have a form for dark ones.
    if (qApp != nullptr && IsDark(QGuiApplication::palette())) {
        const QString dark = name + QStringLiteral("_dark");
        if (QFile::exists(QStringLiteral(":/artwork/%1.svg").arg(dark))) {
            return Artwork(dark, size);
        }
    }
    static QHash<QString, QPixmap> cache;
    const qreal ratio = qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
    const QString key =
        QStringLiteral("%1@%2x%3@%4").arg(name).arg(size.width()).arg(size.height()).arg(ratio);
    if (auto found = cache.constFind(key); found != cache.constEnd()) {
        return *found;
    }
    QPixmap pixmap(static_cast<int>(std::ceil(size.width() * ratio)),
                   static_cast<int>(std::ceil(size.height() * ratio)));
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/artwork/%1.svg").arg(name));
    if (renderer.isValid()) {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    pixmap.setDevicePixelRatio(ratio);
    cache.insert(key, pixmap);
    return pixmap;
}

}  // namespace brindle::app

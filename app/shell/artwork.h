#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

namespace brindle::app {

// Makes the ":/artwork" resources available; safe to call more than once.
void EnsureArtwork();

// The SVG ":/artwork/<name>.svg" as a pixmap of the given size in device-independent pixels,
// rendered at the screens' highest pixel ratio so it stays sharp. The same name and size give
// the same shared pixmap.
QPixmap Artwork(const QString& name, QSize size);

}  // namespace brindle::app

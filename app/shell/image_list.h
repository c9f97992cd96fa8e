#pragma once

#include <QHash>
#include <QPixmap>
#include <QString>

namespace brindle::app {

class ImageControl;

// Pictures by key, each with a tag; a control "shows" a key only when it holds that very
// picture object, not an equal-looking one.
class ImageList {
public:
    void Add(const QString& key, const QPixmap& picture, const QString& tag = {});
    bool Contains(const QString& key) const { return entries_.contains(key); }
    // A null pixmap and empty text for a missing key.
    QPixmap Picture(const QString& key) const { return entries_.value(key).picture; }
    QString Tag(const QString& key) const { return entries_.value(key).tag; }

    bool Shows(const ImageControl* image, const QString& key) const;

private:
    struct Entry {
        QPixmap picture;
        QString tag;
    };
    QHash<QString, Entry> entries_;
};

}  // namespace brindle::app

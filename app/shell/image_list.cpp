#include "shell/image_list.h"

#include "shell/image_control.h"

namespace brindle::app {

void ImageList::Add(const QString& key, const QPixmap& picture, const QString& tag) {
    entries_.insert(key, Entry{picture, tag});
}

bool ImageList::Shows(const ImageControl* image, const QString& key) const {
    const auto found = entries_.constFind(key);
    if (image == nullptr || found == entries_.constEnd() || image->pixmap().isNull()) {
        return false;
    }
    return image->pixmap().cacheKey() == found->picture.cacheKey();
}

}  // namespace brindle::app

#include "io/exif.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "io/file_io.h"

// The library's headers still use std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>

namespace brindle {
namespace {

std::atomic<std::uint64_t> g_photoBytesRead{0};

// The library's one-time set-up is not thread-safe; it runs once, before any read.
void Prepare() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::LogMsg::setHandler(nullptr);
        Exiv2::XmpParser::initialize();
    });
}

// What `take` finds in the photo `io` holds; nothing where the library reads no image.
template <typename Found, typename Take>
std::optional<Found> FromImage(Exiv2::BasicIo::AutoPtr io, Take take) {
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(io);
        if (image.get() == nullptr) {
            return std::nullopt;
        }
        image->readMetadata();
        return take(*image);
    } catch (...) {
        // Whatever a crafted image makes the library throw (its own errors, bad_alloc, ...).
        return std::nullopt;
    }
}

std::string Value(const Exiv2::ExifData& exif, const char* name) {
    const auto found = exif.findKey(Exiv2::ExifKey(name));
    return found == exif.end() ? std::string() : found->toString();
}

std::optional<std::string> DateTimeOriginal(Exiv2::BasicIo::AutoPtr io) {
    return FromImage<std::string>(std::move(io), [](Exiv2::Image& image) -> std::optional<std::string> {
        const std::string taken = Value(image.exifData(), "Exif.Photo.DateTimeOriginal");
        return taken.empty() ? std::nullopt : std::optional<std::string>(taken);
    });
}

std::optional<PhotoFacts> Facts(Exiv2::BasicIo::AutoPtr io) {
    return FromImage<PhotoFacts>(std::move(io), [](Exiv2::Image& image) -> std::optional<PhotoFacts> {
        const Exiv2::ExifData& exif = image.exifData();
        PhotoFacts facts{Value(exif, "Exif.Image.Model"), Value(exif, "Exif.Photo.LensModel"),
                         Value(exif, "Exif.Photo.PixelXDimension"), Value(exif, "Exif.Photo.PixelYDimension")};
        // The image's own size where the EXIF block does not give one.
        if (facts.width.empty() && image.pixelWidth() > 0) {
            facts.width = std::to_string(image.pixelWidth());
        }
        if (facts.height.empty() && image.pixelHeight() > 0) {
            facts.height = std::to_string(image.pixelHeight());
        }
        return facts;
    });
}

// The head of a photo, read by the file seam: the library's own file reader would follow a
// crafted segment length through the whole file, and its "open by name" takes web addresses.
std::optional<std::vector<unsigned char>> PhotoHead(const std::string& path) {
    // A pipe or device in place of a photo is never opened (a read would wait on it). One the
    // system cannot look at has no date or facts to give, as one that cannot be opened below.
    io::FileType type = io::FileType::kNone;
    if (!io::TypeAt(path, &type).ok() || type != io::FileType::kRegular) {
        return std::nullopt;
    }
    io::File file;
    std::int64_t size = 0;
    if (!file.OpenRead(path).ok() || !file.Size(&size).ok()) {
        return std::nullopt;
    }
    std::vector<unsigned char> head(std::min(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)), kExifReadLimit));
    if (!file.ReadExact(head.data(), head.size()).ok()) {
        return std::nullopt;
    }
    g_photoBytesRead += head.size();
    return head;
}

}  // namespace

std::optional<PhotoFacts> ExifPhotoFacts(const std::string& path) {
    const auto head = PhotoHead(path);
    return head ? ExifPhotoFacts(head->data(), head->size()) : std::nullopt;
}

std::optional<PhotoFacts> ExifPhotoFacts(const unsigned char* data, std::size_t size) {
    if (size > static_cast<std::size_t>(LONG_MAX)) {
        return std::nullopt;
    }
    Prepare();
    try {
        return Facts(Exiv2::BasicIo::AutoPtr(new Exiv2::MemIo(data, static_cast<long>(size))));
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<std::string> ExifDateTimeOriginal(const std::string& path) {
    const auto head = PhotoHead(path);
    return head ? ExifDateTimeOriginal(head->data(), head->size()) : std::nullopt;
}

std::optional<std::string> ExifDateTimeOriginal(const unsigned char* data, std::size_t size) {
    if (size > static_cast<std::size_t>(LONG_MAX)) {
        return std::nullopt;
    }
    Prepare();
    try {
        return DateTimeOriginal(
            Exiv2::BasicIo::AutoPtr(new Exiv2::MemIo(data, static_cast<long>(size))));
    } catch (...) {
        return std::nullopt;
    }
}

namespace testing {
std::uint64_t PhotoBytesRead() { return g_photoBytesRead.load(); }
}  // namespace testing

}  // namespace brindle

#pragma GCC diagnostic pop

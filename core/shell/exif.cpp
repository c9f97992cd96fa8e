#include "shell/exif.h"

#include <climits>
#include <exception>
#include <memory>
#include <mutex>

#include "shell/file_io.h"

// The library's headers still use std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>

namespace brindle {
namespace {

// The library's one-time set-up is not thread-safe; it runs once, before any read.
void Prepare() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::LogMsg::setHandler(nullptr);
        Exiv2::XmpParser::initialize();
    });
}

std::optional<std::string> DateTimeOriginal(Exiv2::BasicIo::AutoPtr io) {
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(io);
        if (image.get() == nullptr) {
            return std::nullopt;
        }
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        static const Exiv2::ExifKey key("Exif.Photo.DateTimeOriginal");
        const auto found = exif.findKey(key);
        if (found == exif.end()) {
            return std::nullopt;
        }
        return found->toString();
    } catch (...) {
        // Whatever a crafted image makes the library throw (its own errors, bad_alloc, ...).
        return std::nullopt;
    }
}

}  // namespace

std::optional<std::string> ExifDateTimeOriginal(const std::string& path) {
    // A pipe or device in place of a photo is never opened (the library would wait on it).
    if (!io::IsRegularFile(path)) {
        return std::nullopt;
    }
    Prepare();
    try {
        // The file's own reader, never the library's "open by name", which also takes
        // web addresses.
        return DateTimeOriginal(Exiv2::BasicIo::AutoPtr(new Exiv2::FileIo(path)));
    } catch (...) {
        return std::nullopt;
    }
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

}  // namespace brindle

#pragma GCC diagnostic pop

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace brindle {

// How much of a photo is read for its date: the EXIF block sits near the start (a JPEG's is
// at most 64 KiB, after few segments), and a crafted file must not make us read it all.
inline constexpr std::size_t kExifReadLimit = std::size_t{512} << 10;

// An image's EXIF DateTimeOriginal as stored ("YYYY:MM:DD HH:MM:SS"), read by a well-kept
// library (libexiv2) from at most the first kExifReadLimit bytes of the file; this is the
// only place core reaches it. Images are untrusted input: nothing comes back for a file the
// library does not know, that lacks the tag, or that it cannot read, and no failure
// escapes. Safe to call from several threads at once.
std::optional<std::string> ExifDateTimeOriginal(const std::string& path);
// The same for an image held in memory.
std::optional<std::string> ExifDateTimeOriginal(const unsigned char* data, std::size_t size);

// What a photo says of itself for names: the camera's model, the lens and the size in
// pixels as texts, empty where the photo does not say. Read as ExifDateTimeOriginal reads.
struct PhotoFacts {
    std::string camera;
    std::string lens;
    std::string width;
    std::string height;
};
std::optional<PhotoFacts> ExifPhotoFacts(const std::string& path);
std::optional<PhotoFacts> ExifPhotoFacts(const unsigned char* data, std::size_t size);

namespace testing {
// The bytes read from photo files by this process so far.
std::uint64_t PhotoBytesRead();
}  // namespace testing

}  // namespace brindle

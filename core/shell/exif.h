#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace brindle {

// An image's EXIF DateTimeOriginal as stored ("YYYY:MM:DD HH:MM:SS"), read by a well-kept
// library (libexiv2); this is the only place core reaches it. Images are untrusted input:
// nothing comes back for a file the library does not know, that lacks the tag, or that it
// cannot read, and no failure escapes. Safe to call from several threads at once.
std::optional<std::string> ExifDateTimeOriginal(const std::string& path);
// The same for an image held in memory.
std::optional<std::string> ExifDateTimeOriginal(const unsigned char* data, std::size_t size);

}  // namespace brindle

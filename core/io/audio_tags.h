#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace brindle {

// The tags of a music file that names are built from, as stored (an empty text where the
// file has none).
struct AudioTags {
    std::string artist;
    std::string album;
    std::string title;
    std::string track;
    std::string disc;
    std::string year;
    std::string genre;
};

// The audio kinds whose tags are read, by a file's extension: MP3 (ID3v1, ID3v2), FLAC,
// Ogg Vorbis, Opus and MP4 (m4a, mp4, m4b).
bool HasAudioTags(std::string_view extension);

// A music file's tags, read by libtag behind this header alone. Files are untrusted input:
// the reader only seeks and reads within the file, so a tag's size never reaches past the
// file's end, and nothing comes back for a kind it does not know, a file it cannot read or
// a damaged tag; no failure escapes. Safe to call from several threads at once.
std::optional<AudioTags> ReadAudioTags(const std::string& path);
// The same for a file held in memory, tried as every kind in turn.
std::optional<AudioTags> ReadAudioTags(const unsigned char* data, std::size_t size);

}  // namespace brindle

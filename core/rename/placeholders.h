#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/audio_tags.h"
#include "io/exif.h"
#include "rename/rename_row.h"

namespace brindle {

// What a name text's placeholders need read from each file.
struct FactsNeeded {
    bool audio = false;  // {artist} {album} {title} {track} {disc} {year} {genre}
    bool photo = false;  // {camera} {lens} {width} {height}
    bool any() const { return audio || photo; }
};
FactsNeeded PlaceholderNeeds(std::string_view text);

// What was read from one file; empty where it has no such tags.
struct FileFacts {
    std::optional<AudioTags> audio;
    std::optional<PhotoFacts> photo;
};
FileFacts ReadFileFacts(const std::string& path, FactsNeeded needs);

// The facts of many files, read on a few threads at once: element i is those of paths[i].
// Once `stopped` says so (asked from the reading threads), the files not read yet get none.
std::vector<FileFacts> ReadManyFileFacts(std::span<const std::string> paths, FactsNeeded needs,
                                         const std::function<bool()>& stopped = {});

// `text` with {name}, {folder} and the tag placeholders filled from the row's file; a
// number may take a width, as {track:02}. {{ and }} write braces; anything else in braces
// stays as written. A "/" or NUL from a file becomes "_", and the spaces around a value go.
std::string FillPlaceholders(std::string_view text, const RenameRow& row, const FileFacts& facts);

}  // namespace brindle

#include "rename/placeholders.h"

#include <algorithm>

#include "rename/each_on_cores.h"
#include "shell/paths.h"

namespace brindle {
namespace {

enum class Source { kRow, kAudio, kPhoto };

struct Key {
    std::string_view name;
    Source source;
};

constexpr Key kKeys[] = {
    {"name", Source::kRow},     {"folder", Source::kRow},  {"artist", Source::kAudio},
    {"album", Source::kAudio},  {"title", Source::kAudio}, {"track", Source::kAudio},
    {"disc", Source::kAudio},   {"year", Source::kAudio},  {"genre", Source::kAudio},
    {"camera", Source::kPhoto}, {"lens", Source::kPhoto},  {"width", Source::kPhoto},
    {"height", Source::kPhoto},
};

const Key* Find(std::string_view name) {
    for (const Key& key : kKeys) {
        if (key.name == name) {
            return &key;
        }
    }
    return nullptr;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// One placeholder at text[at] == '{': its key and width, and where it ends; nothing when
// the braces hold no known key.
struct Placeholder {
    const Key* key = nullptr;
    std::size_t width = 0;
    std::size_t end = 0;  // just past the '}'
};
std::optional<Placeholder> ReadPlaceholder(std::string_view text, std::size_t at) {
    const auto close = text.find('}', at + 1);
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view inside = text.substr(at + 1, close - at - 1);
    Placeholder found;
    found.end = close + 1;
    const auto colon = inside.find(':');
    if (colon != std::string_view::npos) {
        const std::string_view width = inside.substr(colon + 1);
        if (width.empty() || width.size() > 2 || !std::all_of(width.begin(), width.end(), IsDigit)) {
            return std::nullopt;
        }
        found.width = static_cast<std::size_t>(std::stoi(std::string(width)));
        inside = inside.substr(0, colon);
    }
    found.key = Find(inside);
    if (found.key == nullptr) {
        return std::nullopt;
    }
    return found;
}

// The leading number of "3/12" or "2019-05-01".
std::string LeadingNumber(const std::string& value) {
    std::size_t n = 0;
    while (n < value.size() && IsDigit(value[n])) {
        ++n;
    }
    return n == 0 ? value : value.substr(0, n);
}

std::string RawValue(std::string_view name, const RenameRow& row, const FileFacts& facts) {
    if (name == "name") {
        const auto dot = row.fileName.rfind('.');
        return dot == std::string::npos ? row.fileName : row.fileName.substr(0, dot);
    }
    if (name == "folder") {
        return GetFileName(row.fileLocation.empty() ? GetFolderName(row.key) : row.fileLocation);
    }
    if (facts.audio) {
        const AudioTags& a = *facts.audio;
        if (name == "artist") return a.artist;
        if (name == "album") return a.album;
        if (name == "title") return a.title;
        if (name == "track") return LeadingNumber(a.track);
        if (name == "disc") return LeadingNumber(a.disc);
        if (name == "year") return LeadingNumber(a.year);
        if (name == "genre") return a.genre;
    }
    if (facts.photo) {
        const PhotoFacts& p = *facts.photo;
        if (name == "camera") return p.camera;
        if (name == "lens") return p.lens;
        if (name == "width") return p.width;
        if (name == "height") return p.height;
    }
    return {};
}

// A value fit to stand in a file name.
std::string Clean(std::string value) {
    std::replace(value.begin(), value.end(), '/', '_');
    std::replace(value.begin(), value.end(), '\0', '_');
    const auto first = value.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = value.find_last_not_of(" \t\r\n");
    return value.substr(first, last - first + 1);
}

}  // namespace

FactsNeeded PlaceholderNeeds(std::string_view text) {
    FactsNeeded needs;
    for (std::size_t at = text.find('{'); at != std::string_view::npos; at = text.find('{', at + 1)) {
        if (const auto placeholder = ReadPlaceholder(text, at)) {
            needs.audio |= placeholder->key->source == Source::kAudio;
            needs.photo |= placeholder->key->source == Source::kPhoto;
        }
    }
    return needs;
}

FileFacts ReadFileFacts(const std::string& path, FactsNeeded needs) {
    FileFacts facts;
    if (needs.audio) {
        facts.audio = ReadAudioTags(path);
    }
    if (needs.photo) {
        facts.photo = ExifPhotoFacts(path);
    }
    return facts;
}

std::vector<FileFacts> ReadManyFileFacts(std::span<const std::string> paths, FactsNeeded needs,
                                         const std::function<bool()>& stopped) {
    std::vector<FileFacts> facts(paths.size());
    // Tags are mostly parsing, as photos' dates are.
    EachOnCores(paths.size(), [&](std::size_t i) { facts[i] = ReadFileFacts(paths[i], needs); }, stopped);
    return facts;
}

std::string FillPlaceholders(std::string_view text, const RenameRow& row, const FileFacts& facts) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
            out += c;
            i += 2;
            continue;
        }
        if (c == '{') {
            if (const auto placeholder = ReadPlaceholder(text, i)) {
                std::string value = Clean(RawValue(placeholder->key->name, row, facts));
                if (!value.empty() && value.size() < placeholder->width &&
                    std::all_of(value.begin(), value.end(), IsDigit)) {
                    value.insert(0, placeholder->width - value.size(), '0');
                }
                out += value;
                i = placeholder->end;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return out;
}

}  // namespace brindle

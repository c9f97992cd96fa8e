#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Piece sizes for the limits people split for: a CD, a FAT32 stick, a mail attachment.
namespace brindle {

struct SizePreset {
    const char* name;     // as the command takes it: "cd", "fat32", "mail-10", ...
    const char* caption;  // as the windows list it, untranslated
    std::int64_t pieceFileSize;  // of the program's own pieces, header included
    std::int64_t rawPieceSize;   // of plain numbered pieces
};

// Every preset, in the order the windows list them.
std::span<const SizePreset> SizePresets();

// The preset of that name, or nothing.
const SizePreset* FindSizePreset(std::string_view name);

// A size as the size field and unit list take it: whole megabytes in MB, else bytes (no unit).
struct SizeFields {
    std::string size;
    std::string unit;
};
SizeFields PresetFields(std::int64_t bytes);

}  // namespace brindle

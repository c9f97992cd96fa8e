#include "split/split_presets.h"

#include <array>

#include "format/piece_format.h"
#include "shell/translate.h"

namespace brindle {
namespace {

constexpr std::int64_t kMiB = std::int64_t{1} << 20;

// A mail limit of N MB holds about N * 3/4 after base64, less the message's own lines.
constexpr std::array<SizePreset, 5> kPresets = {{
    {"cd", N_("CD (700 MB)"), 700 * kMiB, 700 * kMiB},
    // FAT32 holds files up to 4 GiB - 1; the program's own pieces stop at their largest.
    {"fat32", N_("FAT32 stick"), kMaxPieceFileSize, (std::int64_t{4} << 30) - 1},
    {"mail-10", N_("Mail, 10 MB limit"), 7'000'000, 7'000'000},
    {"mail-20", N_("Mail, 20 MB limit"), 14'000'000, 14'000'000},
    {"mail-25", N_("Mail, 25 MB limit"), 18'000'000, 18'000'000},
}};

}  // namespace

std::span<const SizePreset> SizePresets() { return kPresets; }

const SizePreset* FindSizePreset(std::string_view name) {
    for (const SizePreset& preset : kPresets) {
        if (name == preset.name) {
            return &preset;
        }
    }
    return nullptr;
}

SizeFields PresetFields(std::int64_t bytes) {
    if (bytes % kMiB == 0) {
        return {std::to_string(bytes / kMiB), "MB"};
    }
    return {std::to_string(bytes), ""};
}

}  // namespace brindle

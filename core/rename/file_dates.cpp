#include "rename/file_dates.h"

#include <algorithm>

#include "io/exif.h"
#include "io/file_meta.h"
#include "rename/each_on_cores.h"

namespace brindle {

std::optional<std::chrono::year_month_day> ParseExifDate(std::string_view text) {
    // "YYYY:MM:DD" and then, where present, the time; some writers put "-" for ":".
    if (text.size() < 10 || (text[4] != ':' && text[4] != '-') || text[7] != text[4]) {
        return std::nullopt;
    }
    int fields[3] = {};
    const std::size_t starts[3] = {0, 5, 8};
    const std::size_t widths[3] = {4, 2, 2};
    for (int f = 0; f < 3; ++f) {
        for (std::size_t i = starts[f]; i < starts[f] + widths[f]; ++i) {
            if (text[i] < '0' || text[i] > '9') {
                return std::nullopt;
            }
            fields[f] = fields[f] * 10 + (text[i] - '0');
        }
    }
    if (text.size() > 10 && text[10] != ' ' && text[10] != 'T' && text[10] != '\0') {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year{fields[0]},
                                           std::chrono::month{static_cast<unsigned>(fields[1])},
                                           std::chrono::day{static_cast<unsigned>(fields[2])}};
    if (!date.ok() || fields[0] < 100) {
        return std::nullopt;
    }
    return date;
}

std::optional<std::chrono::year_month_day> FileDate(DateSource source, const std::string& path) {
    if (source == DateSource::kTaken) {
        if (const auto stamp = ExifDateTimeOriginal(path)) {
            if (const auto date = ParseExifDate(*stamp)) {
                return date;
            }
        }
    }
    return io::ModifiedLocalDate(path);
}

std::vector<std::optional<std::chrono::year_month_day>> ReadFileDates(
    DateSource source, std::span<const std::string> paths, const std::function<bool()>& stopped) {
    std::vector<std::optional<std::chrono::year_month_day>> dates(paths.size());
    EachOnCores(paths.size(), [&](std::size_t i) { dates[i] = FileDate(source, paths[i]); }, stopped);
    return dates;
}

}  // namespace brindle

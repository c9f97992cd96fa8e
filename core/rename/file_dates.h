#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// Where the date slot takes its date from. Values are the positions in the editor's list.
enum class DateSource {
    kChosen = 0,    // one date for the run, moving by the step
    kModified = 1,  // each file's modification time
    kTaken = 2,     // each photo's EXIF DateTimeOriginal, else its modification time
};

// The calendar date of an EXIF date-time ("2026:03:05 14:30:00"); nothing for the empty
// or zeroed values cameras write when they do not know, or for anything malformed.
std::optional<std::chrono::year_month_day> ParseExifDate(std::string_view text);

// The date of one file, in local time for a modification time; nothing when the file
// cannot be read.
std::optional<std::chrono::year_month_day> FileDate(DateSource source, const std::string& path);

// The dates of many files, read on a few threads at once: element i is the date of
// paths[i]. Once `stopped` says so (it is asked from the reading threads), the files not
// read yet get no date.
std::vector<std::optional<std::chrono::year_month_day>> ReadFileDates(
    DateSource source, std::span<const std::string> paths,
    const std::function<bool()>& stopped = {});

}  // namespace brindle

#pragma once

#include <optional>
#include <string>

namespace brindle::test {

// A complete 1x1 grey JPEG; with a date, it carries an EXIF block whose DateTimeOriginal
// holds that text ("2019:07:14 09:30:00").
std::string TinyJpeg(const std::optional<std::string>& dateTimeOriginal = std::nullopt);

}  // namespace brindle::test

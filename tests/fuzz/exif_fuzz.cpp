// Any bytes as an image: the EXIF reader answers with a date text or nothing, never a
// fault, and the date reading behind it takes whatever text comes back.
#include <cstdint>

#include "io/exif.h"
#include "rename/file_dates.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const auto stamp = brindle::ExifDateTimeOriginal(data, size)) {
        if (const auto date = brindle::ParseExifDate(*stamp); date && !date->ok()) {
            __builtin_trap();
        }
    }
    return 0;
}

#include "rename/natural_order.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <numeric>
#include <optional>
#include <string_view>

#include "io/exif.h"

namespace brindle {
namespace {

icu::Collator* Collator(void* collator) { return static_cast<icu::Collator*>(collator); }

// A file's time as text that sorts as the time does: the EXIF time taken where asked and
// known, else the modification time in local time, in the same form.
std::optional<std::string> TimeKey(const std::string& path, bool taken) {
    if (taken) {
        if (std::optional<std::string> exif = ExifDateTimeOriginal(path); exif && exif->size() >= 19 &&
                                                                                exif->compare(0, 4, "0000") != 0) {
            return exif->substr(0, 19) + ".999999999";  // the second's start would sort before a file's own
        }
    }
    std::error_code error;
    const auto written = std::filesystem::last_write_time(path, error);
    if (error) {
        return std::nullopt;
    }
    const auto since = std::chrono::file_clock::to_sys(written).time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
    const std::time_t when = seconds.count();
    std::tm local{};
    if (::localtime_r(&when, &local) == nullptr) {
        return std::nullopt;
    }
    char text[96];
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count();
    std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d.%09lld", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<long long>(nanos));
    return std::string(text);
}

}  // namespace

NaturalOrder::NaturalOrder() {
    UErrorCode error = U_ZERO_ERROR;
    // The C locale's collation is the bytes' order, capitals first: the root's reads better.
    const icu::Locale& user = icu::Locale::getDefault();
    icu::Collator* collator = icu::Collator::createInstance(
        std::string_view(user.getVariant()) == "POSIX" ? icu::Locale::getRoot() : user, error);
    if (U_FAILURE(error) || collator == nullptr) {
        error = U_ZERO_ERROR;
        collator = icu::Collator::createInstance(icu::Locale::getRoot(), error);
    }
    if (collator != nullptr) {
        collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, error);
        collator->setStrength(icu::Collator::SECONDARY);  // letter case aside, accents not
    }
    collator_ = collator;
}

NaturalOrder::~NaturalOrder() { delete Collator(collator_); }

bool NaturalOrder::operator()(const std::string& a, const std::string& b) const {
    if (collator_ != nullptr) {
        UErrorCode error = U_ZERO_ERROR;
        const UCollationResult result = Collator(collator_)->compareUTF8(a, b, error);
        if (U_SUCCESS(error) && result != UCOL_EQUAL) {
            return result == UCOL_LESS;
        }
    }
    return a < b;
}

std::vector<std::size_t> SortRows(std::vector<RenameRow>& rows, RowOrder order, bool reverse) {
    std::vector<std::size_t> index(rows.size());
    std::iota(index.begin(), index.end(), std::size_t{0});
    // Reversed, ties keep the order they had, so a second reverse gives the first order back.
    const auto sortBy = [&](auto less) {
        std::stable_sort(index.begin(), index.end(), [&](std::size_t a, std::size_t b) {
            return reverse ? less(b, a) : less(a, b);
        });
    };
    if (order == RowOrder::kAsGiven) {
        if (reverse) {
            std::reverse(index.begin(), index.end());
        }
    } else if (order == RowOrder::kNatural || order == RowOrder::kLocation) {
        const NaturalOrder natural;
        sortBy([&](std::size_t a, std::size_t b) {
            if (order == RowOrder::kLocation && rows[a].fileLocation != rows[b].fileLocation) {
                return natural(rows[a].fileLocation, rows[b].fileLocation);
            }
            return natural(rows[a].fileName, rows[b].fileName);
        });
    } else if (order == RowOrder::kSize) {
        // A file that could not be measured goes last.
        sortBy([&](std::size_t a, std::size_t b) {
            return rows[a].fileBytes.value_or(INT64_MAX) < rows[b].fileBytes.value_or(INT64_MAX);
        });
    } else {
        std::vector<std::optional<std::string>> keys;
        keys.reserve(rows.size());
        for (const RenameRow& row : rows) {
            keys.push_back(TimeKey(row.key, order == RowOrder::kTaken));
        }
        sortBy([&](std::size_t a, std::size_t b) {
            return keys[a] && keys[b] ? *keys[a] < *keys[b] : keys[a].has_value() > keys[b].has_value();
        });
    }
    std::vector<RenameRow> sorted;
    sorted.reserve(rows.size());
    for (const std::size_t i : index) {
        sorted.push_back(std::move(rows[i]));
    }
    rows = std::move(sorted);
    return index;
}

}  // namespace brindle

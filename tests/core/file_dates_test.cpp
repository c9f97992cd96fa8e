#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "io/exif.h"
#include "rename/file_dates.h"
#include "rename/naming_rule.h"
#include "support/temp_dir.h"
#include "support/tiny_jpeg.h"

namespace brindle {
namespace {

using namespace std::chrono;
using test::TempDir;
using test::TinyJpeg;
using test::WriteFile;

// Sets a file's modification time to a moment given in UTC.
void SetModified(const std::string& path, sys_seconds when) {
    const auto fileTime = std::filesystem::file_time_type::clock::from_sys(when);
    std::filesystem::last_write_time(path, fileTime);
}

class FileDatesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    TempDir dir;
};

TEST_F(FileDatesTest, DatesFromModificationTimesAndFromPhotosWithAndWithoutExif) {
    WriteFile(dir.File("plain.txt"), "text");
    WriteFile(dir.File("exif.jpg"), TinyJpeg("2019:07:14 09:30:00"));
    WriteFile(dir.File("bare.jpg"), TinyJpeg());
    WriteFile(dir.File("zeroed.jpg"), TinyJpeg("0000:00:00 00:00:00"));
    WriteFile(dir.File("cut.jpg"), TinyJpeg("2019:07:14 09:30:00").substr(0, 40));
    const sys_seconds modified = sys_days{2024y / 2 / 29} + 23h + 59min;
    for (const char* name : {"plain.txt", "exif.jpg", "bare.jpg", "zeroed.jpg", "cut.jpg"}) {
        SetModified(dir.File(name), modified);
    }
    const year_month_day leap = 2024y / 2 / 29;
    const struct {
        const char* file;
        DateSource source;
        std::optional<year_month_day> date;
    } cases[] = {
        {"plain.txt", DateSource::kModified, leap},
        {"exif.jpg", DateSource::kModified, leap},
        {"exif.jpg", DateSource::kTaken, 2019y / 7 / 14},
        {"bare.jpg", DateSource::kTaken, leap},    // no EXIF: its modification time
        {"zeroed.jpg", DateSource::kTaken, leap},  // a camera's "unknown"
        {"cut.jpg", DateSource::kTaken, leap},     // a damaged photo
        {"plain.txt", DateSource::kTaken, leap},
        {"missing.jpg", DateSource::kTaken, std::nullopt},
    };
    std::vector<std::string> paths;
    for (const auto& c : cases) {
        EXPECT_EQ(FileDate(c.source, dir.File(c.file)), c.date) << c.file;
        paths.push_back(dir.File(c.file));
    }
    // Many files at once, on several threads, in the order given.
    std::vector<std::string> many;
    for (int i = 0; i < 100; ++i) {
        many.push_back(paths[static_cast<std::size_t>(i % 4)]);
    }
    const auto dates = ReadFileDates(DateSource::kTaken, many);
    ASSERT_EQ(dates.size(), many.size());
    for (std::size_t i = 0; i < many.size(); ++i) {
        EXPECT_EQ(dates[i], FileDate(DateSource::kTaken, many[i])) << i;
    }
    EXPECT_EQ(ExifDateTimeOriginal(dir.path()), std::nullopt);  // a folder is no photo
}

TEST_F(FileDatesTest, GenerationUsesEachFilesOwnDateWithFormatAndSeparator) {
    WriteFile(dir.File("a.jpg"), TinyJpeg("2019:07:14 09:30:00"));
    WriteFile(dir.File("b.jpg"), TinyJpeg());
    SetModified(dir.File("b.jpg"), sys_days{2021y / 3 / 5});
    NamingRule rule = InitialNamingRule(2000y / 1 / 1);
    AddItemToSlots(rule, kItemDate);
    rule.DateFrom = DateSource::kTaken;
    rule.DateFormat = "DMYY";
    rule.DateSeparator = "-";
    rule.Separators[0] = "_";
    std::vector<RenameRow> rows = {{true, dir.File("a.jpg"), "a.jpg", "", {}, dir.path()},
                                   {true, dir.File("b.jpg"), "b.jpg", "", {}, dir.path()},
                                   {true, dir.File("gone.jpg"), "gone.jpg", "", {}, dir.path()}};
    std::string why;
    EXPECT_FALSE(GenerateNewNames(rule, rows, &why));  // a file without any date fails
    EXPECT_EQ(rows[0].newFileName, "a_14-7-19.jpg");
    EXPECT_EQ(rows[1].newFileName, "b_5-3-21.jpg");
    EXPECT_NE(why.find("gone.jpg"), std::string::npos);
}

TEST(ParseExifDateTest, TakesOnlyRealDates) {
    EXPECT_EQ(ParseExifDate("2026:03:05 14:30:00"), 2026y / 3 / 5);
    EXPECT_EQ(ParseExifDate("2026:03:05"), 2026y / 3 / 5);
    for (const char* bad : {"", "    :  :     :  :  ", "0000:00:00 00:00:00", "2026:02:30 00:00:00",
                            "2026:3:5 1:2:3", "2026-03:05", "2026:03:05x", "0099:01:01"}) {
        EXPECT_EQ(ParseExifDate(bad), std::nullopt) << bad;
    }
}

// A crafted segment length would lead the reader through the whole file; a photo's date
// lies in its head, so the head is all that is read, and a real photo keeps its date.
TEST_F(FileDatesTest, PhotosAreReadNoFurtherThanTheirHead) {
    const std::string tail(std::size_t{8} << 20, '\0');
    const struct {
        std::string bytes;
        std::optional<year_month_day> date;
    } cases[] = {
        {std::string("\xFF\xD8\xFF\xE1\xFF\xFF", 6) + tail, std::nullopt},
        {TinyJpeg("2019:07:14 09:30:00") + tail, 2019y / July / 14},
    };
    for (const auto& c : cases) {
        WriteFile(dir.File("p.jpg"), c.bytes);
        const std::uint64_t before = testing::PhotoBytesRead();
        const auto stamp = ExifDateTimeOriginal(dir.File("p.jpg"));
        EXPECT_EQ(stamp ? ParseExifDate(*stamp) : std::nullopt, c.date);
        EXPECT_LE(testing::PhotoBytesRead() - before, kExifReadLimit);
    }
}

}  // namespace
}  // namespace brindle

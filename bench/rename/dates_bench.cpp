// Times reading the dates of many photos, as `--date-from taken` and the rule editor do.
//   dates_bench make FOLDER COUNT    writes COUNT photos (EXIF with a 24 KiB maker note,
//                                    the file made 3 MB long by a hole after the image)
//   dates_bench time FOLDER ROUNDS   alternates EXIF-taken and modification-time rounds
//                                    over every file of FOLDER, cache warm; prints medians
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "rename/file_dates.h"
#include "support/tiny_jpeg.h"

namespace {

using namespace std::chrono;

// The tiny JPEG with a comment segment as large as a camera's maker note and thumbnail.
std::string Photo(int i) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "20%02d:%02d:%02d 10:%02d:00", 10 + i % 15, 1 + i % 12,
                  1 + i % 28, i % 60);
    std::string jpeg = brindle::test::TinyJpeg(stamp);
    const std::string note(24 * 1024, static_cast<char>('a' + i % 26));
    std::string segment("\xFF\xFE", 2);
    segment += static_cast<char>((note.size() + 2) >> 8);
    segment += static_cast<char>((note.size() + 2) & 0xFF);
    jpeg.insert(jpeg.size() - 5, segment + note);  // after the frame, before the scan
    return jpeg;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: dates_bench make FOLDER COUNT | time FOLDER ROUNDS\n");
        return 2;
    }
    const std::string mode = argv[1];
    const std::filesystem::path folder = argv[2];
    const int number = std::atoi(argv[3]);
    if (mode == "make") {
        std::filesystem::create_directories(folder);
        for (int i = 0; i < number; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "IMG_%05d.JPG", i);
            const auto path = folder / name;
            std::ofstream(path, std::ios::binary) << Photo(i);
            std::filesystem::resize_file(path, 3'000'000);
        }
        return 0;
    }
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    std::vector<double> taken;
    std::vector<double> modified;
    std::size_t fromExif = 0;
    (void)brindle::ReadFileDates(brindle::DateSource::kTaken, paths);  // warm the cache
    for (int round = 0; round < number; ++round) {
        for (const auto source : round % 2 == 0
                                     ? std::vector{brindle::DateSource::kTaken, brindle::DateSource::kModified}
                                     : std::vector{brindle::DateSource::kModified, brindle::DateSource::kTaken}) {
            const auto start = steady_clock::now();
            const auto dates = brindle::ReadFileDates(source, paths);
            const double seconds = duration<double>(steady_clock::now() - start).count();
            (source == brindle::DateSource::kTaken ? taken : modified).push_back(seconds);
            if (source == brindle::DateSource::kTaken) {
                fromExif = static_cast<std::size_t>(std::count_if(dates.begin(), dates.end(), [](const auto& d) {
                    return d && d->year() < std::chrono::year{2025};
                }));
            }
        }
    }
    std::printf("%zu photos (%zu dated by EXIF), %d rounds each, alternating, medians:\n",
                paths.size(), fromExif, number);
    std::printf("  EXIF time taken      %.3f s   (rounds %.3f-%.3f)\n", Median(taken),
                *std::min_element(taken.begin(), taken.end()), *std::max_element(taken.begin(), taken.end()));
    std::printf("  modification time    %.3f s   (rounds %.3f-%.3f)\n", Median(modified),
                *std::min_element(modified.begin(), modified.end()),
                *std::max_element(modified.begin(), modified.end()));
    return 0;
}

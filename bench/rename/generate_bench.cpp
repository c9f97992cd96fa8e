// Times new-name generation over large lists: prints the best of several runs in ms.
//   generate_bench [ROWS] [RUNS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "rename/naming_rule.h"

namespace {

using namespace std::chrono;

std::vector<brindle::RenameRow> MakeRows(std::size_t count) {
    std::vector<brindle::RenameRow> rows(count);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].checked = true;
        rows[i].fileName = "IMG_" + std::to_string(100000 + i) + ".JPG";
        rows[i].key = "/photos/" + rows[i].fileName;
        rows[i].fileLocation = "/photos";
    }
    return rows;
}

bool Time(const char* label, const brindle::NamingRule& rule, std::size_t count, int runs) {
    std::vector<brindle::RenameRow> rows = MakeRows(count);
    double best = 1e300;
    for (int run = 0; run < runs; ++run) {
        const auto start = steady_clock::now();
        if (!brindle::GenerateNewNames(rule, rows)) {
            std::fprintf(stderr, "%s: generation failed\n", label);
            return false;
        }
        const double ms = duration<double, std::milli>(steady_clock::now() - start).count();
        best = ms < best ? ms : best;
    }
    std::printf("%-34s %7zu rows: %7.1f ms (best of %d), last name %s\n", label, rows.size(),
                best, runs, rows.back().newFileName.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;

    // A replaced name, a fixed date, the extension and separators.
    brindle::NamingRule fixed = brindle::InitialNamingRule(year{2026} / March / 5);
    brindle::AddItemToSlots(fixed, brindle::kItemDate);
    fixed.FileNameText = "holiday";
    fixed.DateSeparator = "-";
    fixed.Separators = {"_", "_", "", ""};

    // Every item moving from row to row. The counter and the date offset are 16-bit, so
    // this list stays below 32,768 rows.
    brindle::NamingRule moving = fixed;
    brindle::AddItemToSlots(moving, brindle::kItemNumber);
    moving.DateMode = brindle::DateMode::kIncrement;
    moving.DateStep = 1;
    moving.NumberTemplate = "(00001)";
    moving.NumberDigits = brindle::TemplateDigits(moving.NumberTemplate);

    const bool ok = Time("name, fixed date, extension", fixed, count, runs) &&
                    Time("name, moving date, counter, ext", moving, 32000, runs);
    return ok ? 0 : 1;
}

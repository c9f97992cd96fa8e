#include <gtest/gtest.h>

#include "split/split_planning.h"
#include "split/split_presets.h"
#include "support/split_choice.h"

namespace brindle {
namespace {

using Choice = test::SplitChoice;

TEST(CheckSplitChoice, AcceptsAndRecordsTheChoice) {
    struct Case {
        Choice choice;
        bool bySize;
        std::int32_t count;
        std::int32_t pieceFileSize;
    };
    const Case cases[] = {
        {{"two pieces", 100, 0, "2", "", ""}, false, 2, 0},
        {{"999 pieces", 100, 0, "999", "", ""}, false, 999, 0},
        {{"2.5 rounds to even", 100, 0, "2.5", "", ""}, false, 2, 0},
        {{"3.5 rounds to even", 100, 0, "3.5", "", ""}, false, 4, 0},
        {{"1.5 MB is 2 MB", 10'000'000, 1, "", "1.5", "MB"}, true, 0, 2 * 1048576},
        {{"2.5 MB is 2 MB", 10'000'000, 1, "", "2.5", "MB"}, true, 0, 2 * 1048576},
        {{"size equal to the file", 5000, 1, "", "5000", ""}, true, 0, 5000},
        {{"exactly 999 KB in 1 KB", 1'022'976, 1, "", "1", "KB"}, false, 0, 0},
        {{"no unit counts bytes", 600'000, 1, "", "500000", ""}, true, 0, 500'000},
        {{"floppy just above", 1'457'665, 2, "", "", ""}, true, 0, 1'457'664},
        {{"floppy ignores a huge size", 3'000'000, 2, "", "9", "GB"}, true, 0, 1'457'664},
        {{"5 GB in 3 pieces", 5'000'000'000LL, 0, "3", "", ""}, false, 3, 0},
        {{"5 GB in 1 GB pieces", 5'000'000'000LL, 1, "", "1", "GB"}, true, 0, 1 << 30},
    };
    for (const Case& c : cases) {
        SplitState state;
        const auto rejection = CheckSplitChoice(c.choice.length, c.choice.mode, c.choice.number,
                                                c.choice.size, c.choice.unit, state);
        if (std::string(c.choice.what) == "exactly 999 KB in 1 KB") {
            // 999 pieces by the size, but 1,332 once headers are taken off: refused before writing.
            ASSERT_TRUE(rejection);
            EXPECT_EQ(rejection->message, "The size you entered is too small.");
            continue;
        }
        ASSERT_FALSE(rejection) << c.choice.what << ": " << rejection->message;
        EXPECT_EQ(state.SplitBySize, c.bySize) << c.choice.what;
        if (c.bySize) {
            EXPECT_EQ(state.SplitPieceSize, c.pieceFileSize) << c.choice.what;
        } else {
            EXPECT_EQ(state.SplitPieceCount, c.count) << c.choice.what;
        }
    }
}

TEST(CheckSplitChoice, RejectsWithExactMessagesAndLeavesTheStateAlone) {
    struct Case {
        Choice choice;
        const char* message;
        SplitProblem problem;
    };
    const char* kNumber = "You must enter a number between 2 and 999.";
    const char* kSmall = "The size you entered is too small.";
    const char* kGreater = "The size you entered is greater than your original file size.";
    const Case cases[] = {
        {{"one piece", 100, 0, "1", "", ""}, kNumber, SplitProblem::kPieceCount},
        {{"1.9 pieces", 100, 0, "1.9", "", ""}, kNumber, SplitProblem::kPieceCount},
        {{"letters", 100, 0, "abc", "", ""}, kNumber, SplitProblem::kPieceCount},
        {{"1000 pieces", 100, 0, "1000", "", ""}, kNumber, SplitProblem::kPieceCount},
        {{"empty count", 100, 0, "", "", ""}, kNumber, SplitProblem::kPieceCount},
        {{"2x is not numeric", 100, 0, "2x", "", ""}, kNumber, SplitProblem::kPieceCount},
        {{"empty file", 0, 0, "2", "", ""}, "The file is empty.", SplitProblem::kEmptyFile},
        {{"floppy at exactly one floppy", 1'457'664, 2, "", "", ""},
         "The File size is smaller than the size of floppy.", SplitProblem::kSmallerThanFloppy},
        {{"floppy over 999 pieces", 1'455'950'593, 2, "", "", ""},
         "The file is too large for floppy-sized pieces.", SplitProblem::kTooLargeForFloppy},
        {{"size above the file", 1000, 1, "", "1001", ""}, kGreater, SplitProblem::kSizeOverFile},
        {{"512,000,000 bytes", 600'000, 1, "", "500000", "KB"}, kGreater, SplitProblem::kSizeOverFile},
        {{"2 GB overflows", 2'000'000'000, 1, "", "2", "GB"}, kGreater, SplitProblem::kSizeOverFile},
        {{"zero size", 1000, 1, "", "0", "KB"}, kSmall, SplitProblem::kSizeTooSmall},
        {{"empty size", 1000, 1, "", "", "KB"}, kSmall, SplitProblem::kSizeTooSmall},
        {{"0.4 rounds to 0", 1000, 1, "", "0.4", "KB"}, kSmall, SplitProblem::kSizeTooSmall},
        {{"negative size", 1000, 1, "", "-5", "KB"}, kSmall, SplitProblem::kSizeTooSmall},
        {{"header-only pieces", 1000, 1, "", "256", ""}, kSmall, SplitProblem::kSizeTooSmall},
        {{"over 999 by size", 1'000'000, 1, "", "1000", ""}, kSmall, SplitProblem::kSizeTooSmall},
        {{"999 MB in 1 MB", 999 * 1048576LL, 1, "", "1", "MB"}, kSmall, SplitProblem::kSizeTooSmall},
        {{"2 pieces just over 2 GB each", 4'294'967'000LL, 0, "2", "", ""},
         "Each piece would be larger than 2 GB. Choose more pieces.", SplitProblem::kPiecesOver2GB},
        {{"2 pieces of 5 GB", 5'000'000'000LL, 0, "2", "", ""},
         "Each piece would be larger than 2 GB. Choose more pieces.", SplitProblem::kPiecesOver2GB},
        {{"beyond 999 pieces of 2 GB", kMaxSourceLength + 1, 0, "999", "", ""},
         "The file is larger than 2 TB and cannot be split.", SplitProblem::kFileTooLarge},
    };
    for (const Case& c : cases) {
        SplitState state;
        state.SplitPieceCount = 7;
        state.SplitPieceSize = 77;
        state.SplitBySize = c.choice.mode == 0;  // the opposite of what a pass would record
        const auto rejection = CheckSplitChoice(c.choice.length, c.choice.mode, c.choice.number,
                                                c.choice.size, c.choice.unit, state);
        ASSERT_TRUE(rejection) << c.choice.what;
        EXPECT_EQ(rejection->message, c.message) << c.choice.what;
        EXPECT_EQ(rejection->problem, c.problem) << c.choice.what;
        EXPECT_EQ(state.SplitPieceCount, 7) << c.choice.what;
        EXPECT_EQ(state.SplitPieceSize, 77) << c.choice.what;
        EXPECT_EQ(state.SplitBySize, c.choice.mode == 0) << c.choice.what;
    }
}

TEST(ComputePieceDataSize, CountRoundsUpAndSizeTakesTheHeaderOff) {
    struct Case {
        std::int64_t length;
        bool bySize;
        std::int32_t choice;
        std::int32_t data;
    };
    const Case cases[] = {
        {10'000'000, false, 3, 3'333'334},
        {9'000'000, false, 3, 3'000'000},
        {10, false, 7, 2},
        {10'000'000, true, 3'145'728, 3'145'472},
        {3'000'000, true, 1'457'664, 1'457'408},
    };
    for (const Case& c : cases) {
        SplitState state;
        state.SplitBySize = c.bySize;
        (c.bySize ? state.SplitPieceSize : state.SplitPieceCount) = c.choice;
        ComputePieceDataSize(c.length, state);
        EXPECT_EQ(state.SplitPieceSize, c.data) << c.length << " " << c.choice;
    }
}

TEST(BuildSplitSummary, DescribesThePiecesTheEngineWillCut) {
    SplitState state;
    state.SplitSourcePath = "/data/film.avi";
    state.SplitDestFolder = "/out";
    state.SplitBySize = true;
    state.SplitPieceSize = 3'145'472;
    EXPECT_EQ(BuildSplitSummary(state, 10'000'000),
              "File Name: film.avi\n"
              "File Size: 9.54 MB\n"
              "File location: /data/\n"
              "Split Destination: /out\n"
              "\n"
              "This file will be splitted to 4 pieces.\n"
              "Action: Split into same size\n"
              "Size of 3 file(s): 3 MB\n"
              "and the remaining file is: 550.62 KB\n");

    state.SplitPieceSize = 2'500'000;
    EXPECT_NE(BuildSplitSummary(state, 10'000'000).find("Size of each file: 2.38 MB\n"), std::string::npos);

    // Ten bytes in seven pieces: the engine cuts five pieces of two bytes, and says so.
    state.SplitBySize = false;
    state.SplitPieceCount = 7;
    state.SplitPieceSize = 2;
    const std::string count = BuildSplitSummary(state, 10);
    EXPECT_NE(count.find("This file will be splitted to 5 pieces.\n"
                         "Action: Split into 7 pieces\n"
                         "Size of the file pieces: 258 BYTE\n"),
              std::string::npos)
        << count;

    state.SplitPieceCount = 3;
    state.SplitPieceSize = 3'333'334;
    const std::string uneven = BuildSplitSummary(state, 10'000'000);
    EXPECT_NE(uneven.find("2 file(s) size will be : 3.18 MB\nand one file size will be : 3.18 MB\n"),
              std::string::npos)
        << uneven;
}

TEST(SizePresets, HoldTheLimitsTheyAreNamedFor) {
    struct Want {
        const char* name;
        std::int64_t own;
        std::int64_t raw;
        const char* size;
        const char* unit;
    };
    const Want wants[] = {
        {"cd", 734'003'200, 734'003'200, "700", "MB"},
        {"fat32", 2'147'483'647, 4'294'967'295, "2147483647", ""},
        {"mail-10", 7'000'000, 7'000'000, "7000000", ""},
        {"mail-20", 14'000'000, 14'000'000, "14000000", ""},
        {"mail-25", 18'000'000, 18'000'000, "18000000", ""},
    };
    ASSERT_EQ(SizePresets().size(), std::size(wants));
    for (const Want& want : wants) {
        const SizePreset* preset = FindSizePreset(want.name);
        ASSERT_NE(preset, nullptr) << want.name;
        EXPECT_EQ(preset->pieceFileSize, want.own) << want.name;
        EXPECT_EQ(preset->rawPieceSize, want.raw) << want.name;
        // What the windows fill in must come back as the same bytes.
        const SizeFields fields = PresetFields(preset->pieceFileSize);
        EXPECT_EQ(fields.size, want.size);
        EXPECT_EQ(fields.unit, want.unit);
        EXPECT_EQ(std::stoll(fields.size) * UnitBytes(fields.unit), want.own);
    }
    EXPECT_EQ(FindSizePreset("dvd"), nullptr);
}

}  // namespace
}  // namespace brindle

#include <gtest/gtest.h>
#include <xxhash.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <utility>

#include "format/discovery.h"
#include "io/file_io.h"
#include "split/raw_split.h"
#include "split/split_engine.h"
#include "support/recording_progress.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using test::ReadFile;
using test::RecordingProgress;
using test::TempDir;

class SplitEngineTest : public ::testing::Test {
protected:
    SplitParams Params(const std::string& source, std::int32_t pieceSize) {
        SplitParams params;
        params.sourcePath = source;
        params.destFolder = dir.path();
        params.groupName = "report";
        params.pieceSize = pieceSize;
        params.splitDate = "8.12.2026";
        params.groupId = 123456789;
        return params;
    }

    PieceHeader Header(const std::string& name) {
        PieceHeader header;
        EXPECT_TRUE(ReadPieceHeader(dir.File(name), &header).ok()) << name;
        return header;
    }

    TempDir dir;
};

TEST_F(SplitEngineTest, CutsFullPiecesAndAShortLastOneWithWizardProgress) {
    const std::string bytes = test::PatternBytes(10'000'000);
    test::WriteFile(dir.File("film.avi"), bytes);
    RecordingProgress progress;
    const SplitResult result = SplitFile(Params(dir.File("film.avi"), 3'000'000), progress);
    ASSERT_TRUE(result.status.ok()) << result.status.message();

    const char* names[] = {"report(1).qmf", "report(2).qmf002", "report(3).qmf003", "report(4).qmf004"};
    ASSERT_EQ(result.pieces.size(), 4u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(result.pieces[k], dir.File(names[k]));
        const std::string piece = ReadFile(dir.File(names[k]));
        const std::size_t data = k < 3 ? 3'000'000 : 1'000'000;
        ASSERT_EQ(piece.size(), 256 + data) << names[k];
        EXPECT_EQ(piece.substr(256), bytes.substr(k * 3'000'000, data)) << names[k];
        const PieceHeader header = Header(names[k]);
        EXPECT_EQ(header.GroupId, 123456789);
        EXPECT_EQ(header.PieceIndex, k + 1);
        EXPECT_EQ(header.PieceSize, 3'000'000);  // the short piece too
        EXPECT_EQ(header.PieceCount, 4);
        EXPECT_EQ(header.SourceLength, 10'000'000);
        EXPECT_EQ(StoredText(header.SourceName), "film.avi");
        EXPECT_EQ(StoredText(header.SplitDate), "8.12.2026");
    }
    // The values at the pieces' ends, in order; the plain copy road also moves inside them.
    std::vector<int> ends;
    std::vector<std::string> endPercents;
    for (std::size_t i = 0; i < progress.values.size(); ++i) {
        if (progress.values[i] % 3333 == 0 || progress.values[i] == 10000) {
            ends.push_back(progress.values[i]);
            endPercents.push_back(progress.percents[i]);
        }
    }
    EXPECT_EQ(ends, (std::vector<int>{3333, 6666, 9999, 10000}));
    EXPECT_EQ(endPercents, (std::vector<std::string>{"33", "67", "100", "100"}));
    EXPECT_TRUE(std::is_sorted(progress.values.begin(), progress.values.end()));
    EXPECT_EQ(progress.yields, 3);  // none after the short piece
}

TEST_F(SplitEngineTest, ExactMultipleHasNoShortPieceAndOneByteRemainderGivesA257ByteFile) {
    test::WriteFile(dir.File("even.bin"), test::PatternBytes(30));
    RecordingProgress even;
    const SplitResult exact = SplitFile(Params(dir.File("even.bin"), 10), even);
    ASSERT_TRUE(exact.status.ok());
    EXPECT_EQ(exact.pieces.size(), 3u);
    EXPECT_EQ(Header("report(3).qmf003").PieceCount, 3);
    EXPECT_EQ(even.values.back(), 10000);

    test::WriteFile(dir.File("odd.bin"), test::PatternBytes(2001));
    RecordingProgress odd;
    SplitParams params = Params(dir.File("odd.bin"), 1000);
    params.groupName = "";
    const SplitResult remainder = SplitFile(params, odd);
    ASSERT_TRUE(remainder.status.ok());
    EXPECT_EQ(std::filesystem::file_size(dir.File("(3).qmf003")), 257u);
    EXPECT_EQ(Header("(3).qmf003").PieceSize, 1000);
    EXPECT_TRUE(test::Exists(dir.File("(1).qmf")));
}

TEST_F(SplitEngineTest, SplittingAgainReplacesThePiecesWithANewGroup) {
    test::WriteFile(dir.File("a.bin"), test::PatternBytes(100));
    RecordingProgress progress;
    SplitParams params = Params(dir.File("a.bin"), 40);
    params.groupId.reset();
    ASSERT_TRUE(SplitFile(params, progress).status.ok());
    // Longer than a piece, but still one of this file's.
    test::WriteFile(dir.File("report(1).qmf"), ReadFile(dir.File("report(1).qmf")) + std::string(5000, 'x'));
    const std::int32_t first = Header("report(2).qmf002").GroupId;
    RecordingProgress again;
    ASSERT_TRUE(SplitFile(params, again).status.ok());
    EXPECT_EQ(std::filesystem::file_size(dir.File("report(1).qmf")), 296u);
    // Drawn from a billion values: equal only by a one-in-a-billion chance.
    EXPECT_NE(Header("report(2).qmf002").GroupId, first);
    EXPECT_GE(Header("report(1).qmf").GroupId, 0);
}

TEST_F(SplitEngineTest, RefusesBadInputWithoutWritingAnything) {
    test::WriteFile(dir.File("small.bin"), test::PatternBytes(1000));
    struct Case {
        const char* what;
        std::string source;
        std::string dest;
        std::int32_t pieceSize;
        std::string group = "report";
    };
    const Case cases[] = {
        {"missing source", dir.File("nope.bin"), dir.path(), 4},
        {"missing folder", dir.File("small.bin"), dir.File("no/such"), 4},
        {"zero piece size", dir.File("small.bin"), dir.path(), 0},
        {"piece larger than the file", dir.File("small.bin"), dir.path(), 1001},
        {"1000 pieces", dir.File("small.bin"), dir.path(), 1},
        {"piece file above 2 GB", dir.File("small.bin"), dir.path(), 2'147'483'647 - 255},
        {"group name aiming elsewhere", dir.File("small.bin"), dir.path(), 100, "../x"},
        {"group name with a NUL", dir.File("small.bin"), dir.path(), 100, std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        SplitParams params = Params(c.source, c.pieceSize);
        params.destFolder = c.dest;
        params.groupName = c.group;
        RecordingProgress progress;
        const SplitResult result = SplitFile(params, progress);
        EXPECT_FALSE(result.status.ok()) << c.what;
        EXPECT_TRUE(result.pieces.empty()) << c.what;
        EXPECT_EQ(test::SortedNames(dir.path()), std::vector<std::string>{"small.bin"}) << c.what;
    }
}

TEST_F(SplitEngineTest, NeverWritesAPieceOrTheChecksumFileOverTheSourceEvenWhenAllowed) {
    const std::string bytes = test::PatternBytes(50);
    for (const char* source : {"x(2).qmf002", "x.sha256"}) {
        test::WriteFile(dir.File(source), bytes);
        SplitParams params = Params(dir.File(source), 20);
        params.groupName = "x";
        params.checksums = true;
        params.replaceOthers = true;
        RecordingProgress progress;
        EXPECT_FALSE(SplitFile(params, progress).status.ok()) << source;
        EXPECT_EQ(ReadFile(dir.File(source)), bytes) << source;
        EXPECT_EQ(test::SortedNames(dir.path()), std::vector<std::string>{source});
        std::filesystem::remove(dir.File(source));
    }
}

// Another file's group, a file that is no piece or a checksum file of the user's is replaced
// only when allowed; a replaced group leaves no piece of its own behind.
TEST_F(SplitEngineTest, ReplacesOnlyTheSourcesOwnPiecesUnlessAllowedAndLeavesNoOrphan) {
    test::WriteFile(dir.File("report.txt"), test::PatternBytes(150));
    SplitParams text = Params(dir.File("report.txt"), 50);
    text.checksums = true;
    RecordingProgress progress;
    ASSERT_TRUE(SplitFile(text, progress).status.ok());
    const std::string firstPiece = ReadFile(dir.File("report(1).qmf"));

    test::WriteFile(dir.File("report.pdf"), test::PatternBytes(160, 2));
    SplitParams pdf = Params(dir.File("report.pdf"), 80);
    std::optional<SplitClash> clash;
    ASSERT_TRUE(CheckSplitTargets(pdf, 160, &clash).ok());
    ASSERT_TRUE(clash.has_value());
    EXPECT_EQ(clash->path, dir.File("report(1).qmf"));
    EXPECT_EQ(clash->holds, "piece 1 of 3 of report.txt");
    EXPECT_FALSE(SplitFile(pdf, progress).status.ok());
    EXPECT_EQ(ReadFile(dir.File("report(1).qmf")), firstPiece);

    pdf.replaceOthers = true;
    ASSERT_TRUE(SplitFile(pdf, progress).status.ok());
    EXPECT_EQ(test::SortedNames(dir.path()),
              (std::vector<std::string>{"report(1).qmf", "report(2).qmf002", "report.pdf", "report.txt"}));

    // A file that is no piece, then the user's own checksum file.
    test::WriteFile(dir.File("notes(2).qmf002"), "my notes");
    test::WriteFile(dir.File("notes.bin"), test::PatternBytes(100));
    SplitParams notes = Params(dir.File("notes.bin"), 50);
    notes.groupName = "notes";
    ASSERT_TRUE(CheckSplitTargets(notes, 100, &clash).ok());
    EXPECT_EQ(clash->holds, "a file that is not a piece");
    std::filesystem::remove(dir.File("notes(2).qmf002"));
    test::WriteFile(dir.File("notes.sha256"), "mine\n");
    notes.checksums = true;
    ASSERT_TRUE(CheckSplitTargets(notes, 100, &clash).ok());
    ASSERT_TRUE(clash.has_value());
    EXPECT_EQ(clash->path, dir.File("notes.sha256"));
    EXPECT_FALSE(SplitFile(notes, progress).status.ok());
    notes.checksums = false;
    ASSERT_TRUE(SplitFile(notes, progress).status.ok());
    EXPECT_EQ(ReadFile(dir.File("notes.sha256")), "mine\n");

    // The same file again in fewer pieces: its own pieces need no word, none is left over;
    // a copy of one under a name no piece has ("(02)") is the user's, and stays.
    std::filesystem::copy_file(dir.File("notes(2).qmf002"), dir.File("notes(02).qmf002"));
    notes.pieceSize = 100;
    ASSERT_TRUE(CheckSplitTargets(notes, 100, &clash).ok());
    EXPECT_FALSE(clash.has_value());
    ASSERT_TRUE(SplitFile(notes, progress).status.ok());
    EXPECT_FALSE(test::Exists(dir.File("notes(2).qmf002")));
    EXPECT_TRUE(test::Exists(dir.File("notes(02).qmf002")));
}

// Two splits into one folder take turns: the second, started while the first pauses after
// its first piece, waits for it, so whichever ends last leaves a whole group.
TEST_F(SplitEngineTest, TwoSplitsIntoOneFolderNeverInterleave) {
    test::WriteFile(dir.File("big.bin"), test::PatternBytes(2 << 20));
    std::promise<void> firstPieceDone;
    std::promise<void> secondDone;
    struct PausingProgress final : RecordingProgress {
        std::function<void()> onYield;
        void Yield() override {
            if (onYield) {
                std::exchange(onYield, nullptr)();
            }
        }
    };
    const auto split = [&](std::int32_t id, std::function<void()> onYield) {
        SplitParams params = Params(dir.File("big.bin"), 64 << 10);
        params.groupId = id;
        PausingProgress progress;
        progress.onYield = std::move(onYield);
        EXPECT_TRUE(SplitFile(params, progress).status.ok());
    };
    std::thread first(split, 1, [&] {
        firstPieceDone.set_value();
        (void)secondDone.get_future().wait_for(std::chrono::seconds(1));
    });
    firstPieceDone.get_future().wait();
    std::thread second([&] {
        split(2, nullptr);
        secondDone.set_value();
    });
    first.join();
    second.join();
    const std::int32_t id = Header("report(1).qmf").GroupId;
    for (int k = 2; k <= 32; ++k) {
        ASSERT_EQ(Header(*PieceFileName("report", k)).GroupId, id) << k;
    }
}

TEST_F(SplitEngineTest, AFailedSplitTakesBackItsPiecesAndSaysWhatItDidToAnEarlierGroup) {
    test::WriteFile(dir.File("a.bin"), test::PatternBytes(100));
    test::WriteFile(dir.File("report(2).qmf002"), "from an earlier split");
    io::testing::FaultPlan plan;
    plan.LimitWrites(256 + 40 + 256 + 10);  // dies inside the second piece's data
    RecordingProgress progress;
    SplitParams params = Params(dir.File("a.bin"), 40);
    params.replaceOthers = true;
    SplitResult result = SplitFile(params, progress);
    plan.LimitWrites(-1);
    EXPECT_FALSE(result.status.ok());
    EXPECT_TRUE(result.pieces.empty());
    EXPECT_EQ(result.status.message().find("earlier split"), std::string::npos);
    EXPECT_EQ(ReadFile(dir.File("report(2).qmf002")), "from an earlier split");
    EXPECT_EQ(test::SortedNames(dir.path()), (std::vector<std::string>{"a.bin", "report(2).qmf002"}));

    // A re-split that dies after replacing the earlier group's first piece: a piece gets its
    // name, and its hash, once the next one is written.
    ASSERT_TRUE(SplitFile(params, progress).status.ok());
    plan.LimitWrites(2 * (256 + 40) + kDataHashWidth + 256 + 10);
    result = SplitFile(params, progress);
    plan.LimitWrites(-1);
    EXPECT_FALSE(result.status.ok());
    EXPECT_NE(result.status.message().find("earlier split"), std::string::npos) << result.status.message();
    EXPECT_EQ(test::SortedNames(dir.path()),
              (std::vector<std::string>{"a.bin", "report(2).qmf002", "report(3).qmf003"}));
}

// Every piece's Reserved holds the marker and XXH3-128 of header bytes 0 to 167 and its data,
// canonical, then zeros; without a data check Reserved stays zero, as earlier writers left it.
TEST_F(SplitEngineTest, EachPieceCarriesTheHashOfItsHeaderAndDataUnlessAskedNotTo) {
    const std::string bytes = test::PatternBytes(2 * io::kCopyBufferSize + 5);
    test::WriteFile(dir.File("a.bin"), bytes);
    for (const bool dataCheck : {true, false}) {
        RecordingProgress progress;
        SplitParams params = Params(dir.File("a.bin"), static_cast<std::int32_t>(io::kCopyBufferSize + 1));
        params.dataCheck = dataCheck;
        const SplitResult result = SplitFile(params, progress);
        ASSERT_TRUE(result.status.ok()) << result.status.message();
        ASSERT_EQ(result.pieces.size(), 3u);
        for (const std::string& path : result.pieces) {
            const std::string piece = ReadFile(path);
            std::string hashed = piece.substr(0, 168) + piece.substr(kHeaderSize);
            XXH128_canonical_t canonical;
            XXH128_canonicalFromHash(&canonical, XXH3_128bits(hashed.data(), hashed.size()));
            const std::string hash(reinterpret_cast<const char*>(canonical.digest), sizeof(canonical.digest));
            const std::string reserved = piece.substr(156, 100);
            EXPECT_EQ(reserved, dataCheck ? std::string(12, '\0') + "BX3H" + hash + std::string(68, '\0')
                                          : std::string(100, '\0'))
                << path;
        }
    }
}

// A group name the folder takes for piece 1 but not for the last piece is refused before a
// file is created.
TEST_F(SplitEngineTest, ALastPieceNameTooLongForTheFolderIsRefusedUpFront) {
    const std::optional<std::int64_t> limit = io::NameLimit(dir.path());
    if (!limit) {
        GTEST_SKIP() << "the system tells no name limit";
    }
    test::WriteFile(dir.File("a.bin"), test::PatternBytes(100));
    SplitParams params = Params(dir.File("a.bin"), 50);
    params.groupName = std::string(static_cast<std::size_t>(*limit) - 8, 'n');  // "(1).qmf" fits
    std::optional<SplitClash> clash;
    EXPECT_EQ(CheckSplitTargets(params, 100, &clash).code(), Status::Code::kInvalidArgument);
    RecordingProgress progress;
    const SplitResult result = SplitFile(params, progress);
    EXPECT_EQ(result.status.code(), Status::Code::kInvalidArgument);
    EXPECT_NE(result.status.message().find("longer than the folder allows"), std::string::npos);
    EXPECT_EQ(test::SortedNames(dir.path()), std::vector<std::string>{"a.bin"});
    params.groupName.resize(static_cast<std::size_t>(*limit) - 10);  // "(2).qmf002" fits too
    EXPECT_TRUE(SplitFile(params, progress).status.ok());
}

// Asks to stop on its third question.
class StopOnThirdAsk final : public RecordingProgress {
public:
    bool StopRequested() const override { return ++asked >= 3; }
    mutable std::atomic<int> asked{0};
};

// A split waiting for another to leave the folder ends its wait on a stop, writing nothing.
TEST_F(SplitEngineTest, AStopEndsTheWaitForTheFolderLock) {
    test::WriteFile(dir.File("a.bin"), test::PatternBytes(100));
    const std::function<Status(Progress&)> splits[] = {
        [&](Progress& progress) { return SplitFile(Params(dir.File("a.bin"), 40), progress).status; },
        [&](Progress& progress) {
            return SplitRaw(RawSplitParams{dir.File("a.bin"), dir.path(), "a.bin", 40}, progress).status;
        },
    };
    for (const auto& split : splits) {
        auto holder = std::make_unique<io::FolderLock>();
        ASSERT_TRUE(holder->Lock(dir.path()).ok());
        StopOnThirdAsk progress;
        auto waiting = std::async(std::launch::async, [&] { return split(progress); });
        // Should it wait on regardless, let it go rather than hang the test.
        if (waiting.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            holder.reset();
        }
        EXPECT_TRUE(waiting.get().cancelled());
        EXPECT_EQ(progress.asked.load(), 3);
        EXPECT_EQ(test::SortedNames(dir.path()), std::vector<std::string>{"a.bin"});
    }
}

// What a share of recovery data rebuilds, known before a split (the windows say it then),
// is what the split then reports, a short last piece and the headers counted.
TEST_F(SplitEngineTest, WhatTheRecoveryShareRebuildsIsKnownBeforeTheSplit) {
    for (const std::int64_t length : {2500, 3000}) {
        test::WriteFile(dir.File("a.bin"), test::PatternBytes(static_cast<std::size_t>(length)));
        for (const int percent : {10, 30, 38, 40, 75, 100}) {
            SplitParams params = Params(dir.File("a.bin"), 1000);
            params.recoveryPercent = percent;
            RecordingProgress progress;
            const SplitResult result = SplitFile(params, progress);
            ASSERT_TRUE(result.status.ok()) << result.status.message();
            EXPECT_EQ(RebuildablePieces(length, 1000, percent), result.rebuildablePieces) << length << " " << percent;
        }
    }
    EXPECT_EQ(RebuildablePieces(30000, 10000, 10), 0);
    EXPECT_EQ(RebuildablePieces(30000, 10000, 34), 1);
}

}  // namespace
}  // namespace brindle

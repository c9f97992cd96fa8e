#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>

#include <sys/stat.h>

#include "checks/hash_pool.h"
#include "format/checksums.h"
#include "format/discovery.h"
#include "io/file_io.h"
#include "io/file_meta.h"
#include "join/join_engine.h"
#include "shell/paths.h"
#include "split/split_engine.h"
#include "split/split_planning.h"
#include "support/checksum_files.h"
#include "support/recording_progress.h"
#include "support/split_choice.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using namespace test;

class JoinEngineTest : public ::testing::Test {
protected:
    // Splits `bytes` as the windows would for one choice and returns the ordered pieces.
    std::vector<std::string> SplitAs(const std::string& bytes, int mode, const char* number, const char* size,
                                     const char* unit, const std::string& group = "g") {
        WriteFile(dir.File(group + ".src"), bytes);
        SplitState state;
        EXPECT_FALSE(CheckSplitChoice(static_cast<std::int64_t>(bytes.size()), mode, number, size, unit, state));
        ComputePieceDataSize(static_cast<std::int64_t>(bytes.size()), state);
        const SplitParams params = SplitOf(group, state.SplitPieceSize);
        RecordingProgress progress;
        const SplitResult result = SplitFile(params, progress);
        EXPECT_TRUE(result.status.ok()) << result.status.message();
        std::filesystem::remove(params.sourcePath);
        return result.pieces;
    }

    // Splits dir/GROUP.src into GROUP(1).qmf, ... beside it.
    SplitParams SplitOf(const std::string& group, std::int64_t pieceSize) {
        SplitParams params;
        params.sourcePath = dir.File(group + ".src");
        params.destFolder = dir.path();
        params.groupName = group;
        params.pieceSize = pieceSize;
        return params;
    }

    Status Join(const std::vector<std::string>& pieces, const std::string& output) {
        RecordingProgress progress;
        return JoinPieces({output, pieces}, progress);
    }

    // Nothing but the pieces and what the test put there: no output, no temporary.
    void ExpectOnlyFiles(const std::vector<std::string>& expected) {
        EXPECT_EQ(test::SortedNames(dir.path()), expected);
    }

    TempDir dir;
};

TEST_F(JoinEngineTest, RoundTripsByteForByteInEveryMode) {
    const test::SplitChoice cases[] = {
        {"three pieces", 1'000'003, 0, "3", "", ""},
        {"999 pieces", 5'000, 0, "999", "", ""},
        {"fewer pieces than asked", 10, 0, "7", "", ""},
        {"100 KB pieces", 1'000'000, 1, "", "100", "KB"},
        {"size equal to the file", 3'000, 1, "", "3000", ""},
        {"floppy", 3'000'000, 2, "", "", ""},
    };
    for (const auto& c : cases) {
        const auto length = static_cast<std::size_t>(c.length);
        const std::string bytes = test::PatternBytes(length, static_cast<std::uint32_t>(length));
        const auto pieces = SplitAs(bytes, c.mode, c.number, c.size, c.unit);
        ASSERT_FALSE(pieces.empty()) << c.what;
        const Status status = Join(pieces, dir.File("joined.bin"));
        ASSERT_TRUE(status.ok()) << c.what << ": " << status.message();
        EXPECT_TRUE(ReadFile(dir.File("joined.bin")) == bytes) << c.what;
        for (const auto& piece : pieces) {
            std::filesystem::remove(piece);
        }
        std::filesystem::remove(dir.File("joined.bin"));
    }
}

TEST_F(JoinEngineTest, RoundTripsThroughThePlainCopyWithPiecesLargerThanItsBuffer) {
    io::testing::FaultPlan plan;
    plan.UseKernelCopy(false);
    const std::string bytes = test::PatternBytes(5 * io::kCopyBufferSize / 2 + 7);
    const auto pieces = SplitAs(bytes, 0, "2", "", "");
    const Status status = Join(pieces, dir.File("joined.bin"));
    ASSERT_TRUE(status.ok()) << status.message();
    EXPECT_TRUE(ReadFile(dir.File("joined.bin")) == bytes);
    EXPECT_TRUE(ReadFile(pieces[1]).substr(256) == bytes.substr(bytes.size() / 2 + 1));
}

TEST_F(JoinEngineTest, ProgressMovesPerPieceAndEndsAtMax) {
    const auto pieces = SplitAs(test::PatternBytes(3000), 0, "3", "", "");
    RecordingProgress progress;
    ASSERT_TRUE(JoinPieces({dir.File("out"), pieces}, progress).ok());
    EXPECT_EQ(progress.values, (std::vector<int>{3333, 6666, 9999, 10000}));
    EXPECT_EQ(progress.percents, (std::vector<std::string>{"33", "67", "100", "100"}));

    // A bar shorter than the piece count never moves until the end.
    RecordingProgress shortBar(2);
    ASSERT_TRUE(JoinPieces({dir.File("out"), pieces}, shortBar).ok());
    EXPECT_EQ(shortBar.values, (std::vector<int>{0, 0, 0, 2}));
}

TEST_F(JoinEngineTest, ReplacesALongerTargetExactly) {
    const std::string bytes = test::PatternBytes(500);
    const auto pieces = SplitAs(bytes, 0, "2", "", "");
    WriteFile(dir.File("target"), std::string(10'000, 'x'));
    ASSERT_TRUE(Join(pieces, dir.File("target")).ok());
    EXPECT_EQ(ReadFile(dir.File("target")), bytes);
    const auto single = SplitAs(bytes, 0, "2", "", "", "h");
    EXPECT_FALSE(Join({single[0]}, dir.File("half")).ok());  // data short of SourceLength
}

TEST_F(JoinEngineTest, FlushesToDiskOnlyWhenReplacingAndReplacesOnlyWhenAllowed) {
    const std::string bytes = test::PatternBytes(3000);
    const auto pieces = SplitAs(bytes, 0, "3", "", "");
    int syncs = io::testing::SyncCount();
    ASSERT_TRUE(Join(pieces, dir.File("new")).ok());
    EXPECT_EQ(io::testing::SyncCount(), syncs);

    WriteFile(dir.File("old"), "the user's file");
    ASSERT_TRUE(Join(pieces, dir.File("old")).ok());
    EXPECT_EQ(io::testing::SyncCount(), syncs + 1);
    EXPECT_TRUE(ReadFile(dir.File("old")) == bytes);

    WriteFile(dir.File("kept"), "the user's file");
    RecordingProgress progress;
    JoinParams params{dir.File("kept"), pieces};
    params.replaceExisting = false;
    EXPECT_FALSE(JoinPieces(params, progress).ok());
    EXPECT_EQ(ReadFile(dir.File("kept")), "the user's file");
    params.outputPath = dir.File("fresh");
    EXPECT_TRUE(JoinPieces(params, progress).ok());
    EXPECT_TRUE(ReadFile(dir.File("fresh")) == bytes);
}

TEST_F(JoinEngineTest, OutputGetsOrdinaryPermissionsUnderTheCallersUmask) {
    const auto pieces = SplitAs(test::PatternBytes(700), 0, "2", "", "");
    const mode_t before = ::umask(027);
    const Status status = Join(pieces, dir.File("out"));
    ::umask(before);
    ASSERT_TRUE(status.ok()) << status.message();
    namespace fs = std::filesystem;
    EXPECT_EQ(fs::status(dir.File("out")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(JoinEngineTest, CorruptOrForeignPiecesFailAndTouchNothing) {
    const std::string bytes = test::PatternBytes(3000);
    const std::string before = "the file that was here first";
    struct Case {
        const char* what;
        void (*damage)(const std::vector<std::string>& pieces, const std::vector<std::string>& other);
    };
    const Case cases[] = {
        {"piece from another split",
         [](const auto& pieces, const auto& other) { std::filesystem::copy_file(other[2], pieces[2],
                                                        std::filesystem::copy_options::overwrite_existing); }},
        {"first piece from another split",
         [](const auto& pieces, const auto& other) { std::filesystem::copy_file(other[0], pieces[0],
                                                        std::filesystem::copy_options::overwrite_existing); }},
        {"header-only piece", [](const auto& pieces, const auto&) { std::filesystem::resize_file(pieces[1], 256); }},
        {"truncated piece", [](const auto& pieces, const auto&) { std::filesystem::resize_file(pieces[1], 900); }},
        {"piece with extra bytes",
         [](const auto& pieces, const auto&) { std::filesystem::resize_file(pieces[1], 1300); }},
        {"shorter than a header", [](const auto& pieces, const auto&) { std::filesystem::resize_file(pieces[2], 10); }},
        {"missing piece", [](const auto& pieces, const auto&) { std::filesystem::remove(pieces[1]); }},
        {"flipped GroupId byte",
         [](const auto& pieces, const auto&) {
             std::string piece = ReadFile(pieces[2]);
             piece[0] = static_cast<char>(piece[0] ^ 0x01);
             WriteFile(pieces[2], piece);
         }},
    };
    for (const Case& c : cases) {
        const auto pieces = SplitAs(bytes, 0, "3", "", "", "g");
        const auto other = SplitAs(bytes, 0, "3", "", "", "o");
        c.damage(pieces, other);
        WriteFile(dir.File("target"), before);
        const auto listed = test::SortedNames(dir.path());
        EXPECT_FALSE(Join(pieces, dir.File("target")).ok()) << c.what;
        EXPECT_EQ(ReadFile(dir.File("target")), before) << c.what;
        ExpectOnlyFiles(listed);
        std::filesystem::remove_all(dir.path());
        std::filesystem::create_directory(dir.path());
    }
}

TEST_F(JoinEngineTest, RefusesTargetsThatCannotOrMustNotBeWritten) {
    const std::string bytes = test::PatternBytes(900);
    const auto pieces = SplitAs(bytes, 0, "3", "", "");
    const std::string firstPiece = ReadFile(pieces[0]);
    EXPECT_FALSE(Join(pieces, pieces[0]).ok());
    EXPECT_FALSE(Join(pieces, dir.path() + "/./" + std::filesystem::path(pieces[1]).filename().string()).ok());
    EXPECT_EQ(ReadFile(pieces[0]), firstPiece);
    EXPECT_FALSE(Join(pieces, dir.File("no/such/folder/out")).ok());
    EXPECT_FALSE(Join(pieces, "").ok());
    EXPECT_FALSE(Join({}, dir.File("out")).ok());
    std::filesystem::create_directory(dir.File("a-folder"));
    EXPECT_FALSE(Join(pieces, dir.File("a-folder")).ok());
    EXPECT_EQ(test::SortedNames(dir.path()).size(), 4u);  // the pieces and the folder
}

TEST_F(JoinEngineTest, AFullDiskLeavesNoOutputBehind) {
    const auto pieces = SplitAs(test::PatternBytes(3000), 0, "3", "", "");
    WriteFile(dir.File("target"), "old");
    const auto listed = test::SortedNames(dir.path());
    io::testing::FaultPlan plan;
    plan.LimitWrites(1500);
    const Status status = Join(pieces, dir.File("target"));
    plan.LimitWrites(-1);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(ReadFile(dir.File("target")), "old");
    ExpectOnlyFiles(listed);
}

TEST_F(JoinEngineTest, OnePieceGroup) {
    const std::string bytes = test::PatternBytes(400);
    WriteFile(dir.File("one.src"), bytes);
    const SplitParams params = SplitOf("one", 400);
    RecordingProgress progress;
    ASSERT_TRUE(SplitFile(params, progress).status.ok());
    ASSERT_TRUE(Join({dir.File("one(1).qmf")}, dir.File("one.out")).ok());
    EXPECT_EQ(ReadFile(dir.File("one.out")), bytes);
}

// Every header against its place, in the join and in verify alike: only a group that joins
// into the split file's bytes passes.
TEST_F(JoinEngineTest, PiecesOutOfTheirPlaceAreRefusedByJoinAndNamedByVerify) {
    const std::string bytes = test::PatternBytes(3000);
    using Pieces = const std::vector<std::string>&;
    const auto setField = [](const std::string& path, std::size_t offset, std::int32_t value) {
        std::string piece = ReadFile(path);
        for (std::size_t i = 0; i < 4; ++i) {
            piece[offset + i] = static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF);
        }
        WriteFile(path, piece);
    };
    struct Case {
        const char* what;
        std::function<void(Pieces)> change;
        int badPiece;  // 0: a sound group
        const char* fault;
    };
    const Case cases[] = {
        {"sound group", [](Pieces) {}, 0, ""},
        {"pieces 2 and 3 swapped",
         [](Pieces p) {
             std::filesystem::rename(p[1], p[0] + ".aside");
             std::filesystem::rename(p[2], p[1]);
             std::filesystem::rename(p[0] + ".aside", p[2]);
         },
         2, "holds piece 3"},
        {"piece 2 copied as piece 3",
         [](Pieces p) {
             std::filesystem::copy_file(p[1], p[2], std::filesystem::copy_options::overwrite_existing);
         },
         3, "holds piece 2"},
        {"piece 2 ten bytes short, piece 3 ten long",
         [](Pieces p) {
             const std::string second = ReadFile(p[1]);
             WriteFile(p[1], second.substr(0, second.size() - 10));
             WriteFile(p[2], ReadFile(p[2]) + second.substr(second.size() - 10));
         },
         2, "holds 10 bytes too few"},
        {"piece 3 counts four pieces", [&](Pieces p) { setField(p[2], kPieceCountOffset, 4); }, 3,
         "says the group has 4 pieces, piece 1 says 3"},
        {"piece 2 has another piece size", [&](Pieces p) { setField(p[1], kPieceSizeOffset, 999); }, 2,
         "has another piece size than piece 1"},
        {"piece 2 has another length", [&](Pieces p) { setField(p[1], kSourceLengthOffset, 3001); }, 2,
         "has another source length than piece 1"},
    };
    for (const Case& c : cases) {
        const auto pieces = SplitAs(bytes, 0, "3", "", "", "g");
        c.change(pieces);
        const Status joined = Join(pieces, dir.File("out"));
        const GroupCheck check = CheckGroup(dir.path(), "g");
        ASSERT_EQ(check.pieces.size(), 3u) << c.what;
        if (c.badPiece == 0) {
            EXPECT_TRUE(joined.ok()) << joined.message();
            EXPECT_TRUE(check.Joinable()) << c.what;
        } else {
            EXPECT_FALSE(joined.ok()) << c.what;
            EXPECT_NE(joined.message().find(c.fault), std::string::npos) << c.what << ": " << joined.message();
            EXPECT_FALSE(test::Exists(dir.File("out"))) << c.what;
            EXPECT_EQ(check.pieces[static_cast<std::size_t>(c.badPiece - 1)].fault, c.fault) << c.what;
            EXPECT_FALSE(check.Joinable()) << c.what;
        }
        std::filesystem::remove_all(dir.path());
        std::filesystem::create_directory(dir.path());
    }
}

// A checked join hashes the bytes it wrote: a piece changed after the check is caught.
TEST_F(JoinEngineTest, APieceChangedWhileTheJoinRunsFailsTheCheckedJoin) {
    const std::string bytes = test::PatternBytes(3000);
    const auto pieces = SplitAs(bytes, 0, "3", "", "");
    ASSERT_TRUE(WriteChecksumFile(dir.path(), "g", pieces).ok());
    struct ChangingProgress final : RecordingProgress {
        std::string piece;
        void Yield() override {
            if (!piece.empty()) {
                std::string changed = ReadFile(piece);
                changed[500] = static_cast<char>(changed[500] ^ 1);
                WriteFile(piece, changed);
                piece.clear();
            }
        }
    } progress;
    progress.piece = pieces[2];
    WriteFile(dir.File("out"), "before");
    const Status status = JoinPieces({dir.File("out"), pieces}, progress);
    EXPECT_EQ(status.code(), Status::Code::kCorruption) << status.message();
    EXPECT_NE(status.message().find("g(3).qmf003"), std::string::npos) << status.message();
    EXPECT_EQ(ReadFile(dir.File("out")), "before");
    EXPECT_EQ(test::SortedNames(dir.path()).size(), 5u);  // pieces, checksum file, output
}

// Without a checksum file only the header read again before each copy tells a piece that
// changed since the check: its data is as it was, so the join would otherwise succeed.
TEST_F(JoinEngineTest, AHeaderChangedBetweenTheCheckAndTheCopyIsRefused) {
    const auto pieces = SplitAs(test::PatternBytes(3000), 0, "3", "", "");
    struct ChangingProgress final : RecordingProgress {
        std::string piece;
        void Yield() override {
            if (!piece.empty()) {
                std::string changed = ReadFile(piece);
                changed[kSplitDateOffset] = static_cast<char>(changed[kSplitDateOffset] ^ 1);
                WriteFile(piece, changed);
                piece.clear();
            }
        }
    } progress;
    progress.piece = pieces[1];
    const Status status = JoinPieces({dir.File("out"), pieces}, progress);
    EXPECT_EQ(status.message(), "the piece changed during the join: " + pieces[1]);
    EXPECT_FALSE(test::Exists(dir.File("out")));
}

// A mismatch the hashing behind the copy finds stops the copy there, and nothing takes the
// output's place.
TEST_F(JoinEngineTest, AMismatchFoundBehindTheCopyStopsItAndLeavesNothing) {
    const auto pieces = SplitAs(test::PatternBytes(4000), 0, "4", "", "");
    ASSERT_TRUE(WriteChecksumFile(dir.path(), "g", pieces).ok());
    std::string damaged = ReadFile(pieces[0]);
    damaged[300] = static_cast<char>(damaged[300] ^ 1);
    WriteFile(pieces[0], damaged);

    std::mutex mutex;
    std::condition_variable told;
    bool firstHashed = false;
    io::testing::SetAfterHash([&](std::size_t job, const Status&) {
        const std::lock_guard<std::mutex> lock(mutex);
        firstHashed = firstHashed || job == 0;
        told.notify_all();
    });
    // The copy waits after its first piece until that piece's hash is in.
    struct WaitingProgress final : RecordingProgress {
        std::function<void()> wait;
        void Yield() override {
            ++yields;
            wait();
        }
    } progress;
    progress.wait = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        told.wait_for(lock, std::chrono::seconds(20), [&] { return firstHashed; });
    };
    WriteFile(dir.File("out"), "before");
    const auto names = test::SortedNames(dir.path());
    const Status status = JoinPieces({dir.File("out"), pieces}, progress);
    io::testing::SetAfterHash({});
    EXPECT_EQ(status.code(), Status::Code::kCorruption) << status.message();
    EXPECT_NE(status.message().find("g(1).qmf"), std::string::npos) << status.message();
    EXPECT_EQ(progress.yields, 1);  // no later piece was copied
    EXPECT_EQ(ReadFile(dir.File("out")), "before");
    ExpectOnlyFiles(names);
}

// A pass that brings piece 2, gone from the disk, with its later half first (as a damaged
// piece's rebuilt blocks come after its sound ones), and the others from the disk.
TEST_F(JoinEngineTest, AOnePassJoinPutsBroughtBytesInPlaceAndChecksThemBeforeNaming) {
    const std::string bytes = test::PatternBytes(300'000, 7);
    const std::vector<std::string> pieces = SplitAs(bytes, 0, "3", "", "");
    const std::string lost = ReadFile(pieces[1]);
    std::filesystem::remove(pieces[1]);
    const std::vector<std::string> left = test::SortedNames(dir.path());
    struct Case {
        const char* what;
        std::size_t flip;  // a byte of the brought piece changed, or npos
        bool stop;
        const char* fault;
    };
    const Case cases[] = {
        {"whole", std::string::npos, false, nullptr},
        {"a byte of its data", 70'000, false, "its data does not match its header's hash"},
        {"its piece number", 4, false, "does not fit its place (it holds piece 3)"},
        {"a stop", std::string::npos, true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string brought = lost;
        if (c.flip != std::string::npos) {
            brought[c.flip] = static_cast<char>(brought[c.flip] ^ 1);
        }
        const auto at = [](const std::string& b, std::size_t from) { return reinterpret_cast<const unsigned char*>(b.data()) + from; };
        const PiecePass pass{{-1, static_cast<std::int64_t>(brought.size()), -1},
                             [&](const PiecePass::Bytes& give, const PiecePass::Tick& tick) {
                                 Status status;
                                 for (const std::size_t i : {std::size_t{0}, std::size_t{2}}) {
                                     const std::string there = ReadFile(pieces[i]);
                                     if (status.ok() && !tick(static_cast<std::int64_t>(i), 3)) {
                                         status = Status::Cancelled();
                                     }
                                     if (status.ok()) {
                                         status = give(i, 0, at(there, 0), there.size());
                                     }
                                 }
                                 const std::size_t half = brought.size() / 2;
                                 if (status.ok()) {
                                     status = give(1, static_cast<std::int64_t>(half), at(brought, half), brought.size() - half);
                                 }
                                 return status.ok() ? give(1, 0, at(brought, 0), half) : status;
                             }};
        struct Stopping : RecordingProgress {
            bool stop = false;
            bool StopRequested() const override { return stop; }
        } progress;
        progress.stop = c.stop;
        const Status status = JoinPiecesInOnePass({dir.File("out.bin"), pieces}, pass, progress);
        if (c.fault == nullptr && !c.stop) {
            ASSERT_TRUE(status.ok()) << status.message();
            EXPECT_TRUE(ReadFile(dir.File("out.bin")) == bytes);
            EXPECT_EQ(progress.Value(), progress.Max());
            std::filesystem::remove(dir.File("out.bin"));
            continue;
        }
        EXPECT_EQ(status.cancelled(), c.stop) << status.message();
        if (c.fault != nullptr) {
            EXPECT_NE(status.message().find(c.fault), std::string::npos) << status.message();
        }
        ExpectOnlyFiles(left);
    }
}

// Where the kernel's copy gives up (another file system, an old kernel, a file system that
// copies nothing), the plain road carries on.
TEST_F(JoinEngineTest, FallsBackToPlainCopyingWhereTheKernelCopyGivesUp) {
    const std::string bytes = test::PatternBytes(3 * io::kCopyBufferSize / 2);
    const auto pieces = SplitAs(bytes, 0, "2", "", "");
    for (const int fault : {EXDEV, ENOSYS, EOPNOTSUPP, EINVAL, 0}) {
        io::testing::FaultPlan plan;
        plan.FailKernelCopy(fault);
        const Status status = Join(pieces, dir.File("out"));
        ASSERT_TRUE(status.ok()) << fault << ": " << status.message();
        EXPECT_TRUE(ReadFile(dir.File("out")) == bytes) << fault;
    }
}

// A piece's data sits 256 bytes into its page against the output, so it goes through a pipe;
// where a file takes no splice the plain road carries on, and a failing read fails the join.
TEST_F(JoinEngineTest, TheCopyThroughAPipeFallsBackOrFailsAsTheFileSays) {
    if (!io::IdentitiesKnown()) {
        GTEST_SKIP() << "the portable file road copies through no pipe";
    }
    const std::string bytes = test::PatternBytes(3 * io::kCopyBufferSize / 2);
    const auto pieces = SplitAs(bytes, 0, "2", "", "");
    {
        io::testing::FaultPlan plan;
        plan.FailSplice(EINVAL);
        const Status status = Join(pieces, dir.File("out"));
        ASSERT_TRUE(status.ok()) << status.message();
        EXPECT_TRUE(ReadFile(dir.File("out")) == bytes);
    }
    io::testing::FaultPlan plan;
    plan.FailSplice(EIO);
    const Status status = Join(pieces, dir.File("failed"));
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.message().find("cannot read"), std::string::npos) << status.message();
    EXPECT_FALSE(std::filesystem::exists(dir.File("failed")));
}

// A replaced file keeps who may read it; any name the folder allows can be written.
TEST_F(JoinEngineTest, AReplacedOutputKeepsItsPermissionsAndLongNamesWork) {
    const std::string bytes = test::PatternBytes(700);
    const auto pieces = SplitAs(bytes, 0, "2", "", "");
    WriteFile(dir.File("private"), "secret");
    namespace fs = std::filesystem;
    fs::permissions(dir.File("private"), fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(Join(pieces, dir.File("private")).ok());
    EXPECT_EQ(ReadFile(dir.File("private")), bytes);
    EXPECT_EQ(fs::status(dir.File("private")).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    const std::string longest = dir.File(std::string(251, 'n') + ".bin");
    const Status status = Join(pieces, longest);
    ASSERT_TRUE(status.ok()) << status.message();
    EXPECT_EQ(ReadFile(longest), bytes);
}


// Each piece's header carries the hash of its data: any damaged byte of a piece the program
// wrote is refused by the join, which names the piece, and named by verify; a piece without
// the hash among pieces with it is another split's; pieces of an earlier writer (no hash
// anywhere) join unchecked.
TEST_F(JoinEngineTest, EveryDamagedByteIsRefusedByTheJoinAndNamedByVerify) {
    const std::string bytes = test::PatternBytes(3000);
    using Pieces = const std::vector<std::string>&;
    const auto change = [](const std::string& path, std::size_t offset, const std::string& with) {
        std::string piece = ReadFile(path);
        piece.replace(offset, with.size(), with);
        WriteFile(path, piece);
    };
    const auto flip = [](const std::string& path, std::size_t offset) {
        std::string piece = ReadFile(path);
        piece[offset] = static_cast<char>(piece[offset] ^ 0x10);
        WriteFile(path, piece);
    };
    const std::string hashFault = "its data does not match its header's hash";
    struct Case {
        const char* what;
        std::function<void(Pieces)> damage;
        int badPiece;  // 0: the group joins
        PieceVerdict verdict;
        std::string fault;        // what verify says of the piece
        std::string joinMessage;  // what the join says, the piece's name standing for NAME
        bool dataCheck = true;
        bool checksums = false;
    };
    const Case cases[] = {
        {"a flipped byte in piece 1", [&](Pieces p) { flip(p[0], 256 + 7); }, 1, PieceVerdict::kDamaged, hashFault,
         "NAME: damaged (" + hashFault + ")"},
        {"a flipped byte in piece 2", [&](Pieces p) { flip(p[1], 256 + 500); }, 2, PieceVerdict::kDamaged,
         hashFault, "NAME: damaged (" + hashFault + ")"},
        {"the last byte of the last piece", [&](Pieces p) { flip(p[2], 256 + 999); }, 3, PieceVerdict::kDamaged,
         hashFault, "NAME: damaged (" + hashFault + ")"},
        {"piece 2's data replaced whole", [&](Pieces p) { change(p[1], 256, std::string(1000, 'x')); }, 2,
         PieceVerdict::kDamaged, hashFault, "NAME: damaged (" + hashFault + ")"},
        {"a damaged header field", [&](Pieces p) { flip(p[2], kSplitDateOffset + 2); }, 3, PieceVerdict::kDamaged,
         hashFault, "NAME: damaged (" + hashFault + ")"},
        {"a hash field zeroed", [&](Pieces p) { change(p[1], kDataHashOffset, std::string(kDataHashWidth, '\0')); },
         2, PieceVerdict::kDamaged, hashFault, "NAME: damaged (" + hashFault + ")"},
        {"piece 3 without the hash",
         [&](Pieces p) { change(p[2], kDataHashMarkerOffset, std::string(4 + kDataHashWidth, '\0')); }, 3,
         PieceVerdict::kForeign, "carries no data check, unlike the other pieces",
         "the piece comes from another split: PATH"},
        // Past the hash only the checksum file can tell; with both, both are checked.
        {"a byte after the hash, with a checksum file", [&](Pieces p) { flip(p[1], 200); }, 2,
         PieceVerdict::kDamaged, "", "the piece is damaged (its checksum does not match): PATH", true, true},
        {"an earlier writer's pieces", [](Pieces) {}, 0, PieceVerdict::kOk, "", "", false},
        {"an earlier writer's damaged piece, with a checksum file", [&](Pieces p) { flip(p[1], 700); }, 2,
         PieceVerdict::kDamaged, "", "the piece is damaged (its checksum does not match): PATH", false, true},
    };
    for (const Case& c : cases) {
        WriteFile(dir.File("g.src"), bytes);
        SplitParams params = SplitOf("g", 1000);
        params.dataCheck = c.dataCheck;
        params.checksums = c.checksums;
        RecordingProgress progress;
        const SplitResult split = SplitFile(params, progress);
        ASSERT_TRUE(split.status.ok()) << split.status.message();
        std::filesystem::remove(params.sourcePath);
        const std::vector<std::string>& pieces = split.pieces;
        ASSERT_EQ(pieces.size(), 3u);
        c.damage(pieces);

        const Status joined = Join(pieces, dir.File("out"));
        const GroupCheck check = CheckGroup(dir.path(), "g");
        ASSERT_EQ(check.pieces.size(), 3u) << c.what;
        EXPECT_EQ(check.dataCheckNote, c.dataCheck ? "" : "no data check in these pieces") << c.what;
        if (c.badPiece == 0) {
            EXPECT_TRUE(joined.ok()) << c.what << ": " << joined.message();
            EXPECT_TRUE(ReadFile(dir.File("out")) == bytes) << c.what;
            EXPECT_TRUE(check.Joinable()) << c.what;
        } else {
            const std::string& bad = pieces[static_cast<std::size_t>(c.badPiece - 1)];
            std::string message = c.joinMessage;
            for (const auto& [mark, by] : {std::pair<std::string, std::string>{"NAME", GetFileName(bad)},
                                           {"PATH", bad}}) {
                if (const auto at = message.find(mark); at != std::string::npos) {
                    message.replace(at, mark.size(), by);
                }
            }
            EXPECT_EQ(joined.message(), message) << c.what;
            EXPECT_FALSE(test::Exists(dir.File("out"))) << c.what;
            const PieceCheck& named = check.pieces[static_cast<std::size_t>(c.badPiece - 1)];
            EXPECT_EQ(named.verdict, c.verdict) << c.what;
            EXPECT_EQ(named.fault, c.fault) << c.what;
            EXPECT_FALSE(check.Joinable()) << c.what;
            for (std::size_t i = 0; i < check.pieces.size(); ++i) {
                if (static_cast<int>(i) + 1 != c.badPiece) {
                    EXPECT_EQ(check.pieces[i].verdict, PieceVerdict::kOk) << c.what << ", piece " << i + 1;
                }
            }
        }
        std::filesystem::remove_all(dir.path());
        std::filesystem::create_directory(dir.path());
    }
}

}  // namespace
}  // namespace brindle

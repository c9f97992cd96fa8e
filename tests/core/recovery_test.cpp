#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "checks/hash_pool.h"
#include "io/file_io.h"
#include "recovery/galois.h"
#include "recovery/par2_packets.h"
#include "recovery/recovery.h"
#include "support/fault_calls.h"
#include "support/forged_par2.h"
#include "support/recording_progress.h"
#include "support/shell_run.h"
#include "support/temp_dir.h"
#include "split/raw_split.h"
#include "split/split_engine.h"

namespace brindle::recovery {
namespace {

using test::FlipByte;
using test::HavePar2;
using test::PatternBytes;
using test::ReadFile;
using test::Shell;
using test::TempDir;
using test::WriteFile;

// Files data.001... of the given sizes, each with its own bytes.
std::vector<std::string> MakeFiles(const TempDir& dir, const std::vector<std::size_t>& sizes) {
    std::vector<std::string> files;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string name = "data.00" + std::to_string(i + 1);
        files.push_back(dir.File(name.size() > 8 ? "data.0" + std::to_string(i + 1) : name));
        WriteFile(files.back(), PatternBytes(sizes[i], static_cast<std::uint32_t>(i + 7)));
    }
    return files;
}

Input InputFor(const TempDir& dir, const std::vector<std::string>& files) { return {dir.path(), "data", files, {}, false}; }

// The one-pass rebuild, noting in `handed` whether any rebuilt bytes of file FILE came out.
Status RebuildInOnePassWatching(const Input& input, const Check& check, std::size_t file, bool& handed) {
    handed = false;
    return RebuildInOnePass(
        input, check,
        [&](std::size_t rebuilt, std::int64_t, const unsigned char*, std::size_t) {
            handed = handed || rebuilt == file;
            return Status::Ok();
        },
        {});
}

TEST(GaloisTest, RegionMultiplyMatchesThePlainReferenceAtAnyLengthAndPlace) {
    // Every road the processor has, the library's included, not only the fastest.
    for (const auto road : {testing::GfRoad::kLibrary, testing::GfRoad::kAvx2, testing::GfRoad::kAvx512,
                            testing::GfRoad::kGfni}) {
        SCOPED_TRACE(static_cast<int>(road));
        const testing::GfRoadCeiling ceiling(road);
        std::mt19937 random(5);
        std::vector<unsigned char> source(70000);
        for (unsigned char& byte : source) {
            byte = static_cast<unsigned char>(random());
        }
        // Lengths that leave odd tails after the SIMD lines; places equal or unequal against 16 bytes.
        for (const std::size_t length : {2UL, 30UL, 64UL, 998UL, 4096UL, 65538UL}) {
            for (const std::size_t srcShift : {0UL, 2UL, 6UL}) {
                for (const std::size_t destShift : {0UL, 2UL}) {
                    const auto c = static_cast<Gf>(random() | 1);
                    std::vector<unsigned char> fast(length + 64, 0x5A);
                    std::vector<unsigned char> plain = fast;
                    MulAddRegion(c, source.data() + srcShift, fast.data() + destShift, length);
                    MulAddRegionPlain(c, source.data() + srcShift, plain.data() + destShift, length);
                    ASSERT_EQ(fast, plain) << "length " << length << " shifts " << srcShift << "/" << destShift;
                }
            }
        }
        // Several outputs from one read of the source: each its own constant (one of them 0).
        for (const std::size_t length : {126UL, 130UL, 4098UL}) {
            const std::vector<GfFactor> factors{GfFactor(static_cast<Gf>(random())), GfFactor(0), GfFactor(0xFFFF)};
            std::vector<std::vector<unsigned char>> fast(factors.size(), std::vector<unsigned char>(length, 0x33));
            std::vector<unsigned char*> dests;
            for (auto& out : fast) {
                dests.push_back(out.data());
            }
            MulAddRegions(factors.data(), factors.size(), source.data() + 2, dests.data(), length);
            for (std::size_t k = 0; k < factors.size(); ++k) {
                std::vector<unsigned char> plain(length, 0x33);
                MulAddRegionPlain(factors[k].c, source.data() + 2, plain.data(), length);
                ASSERT_EQ(fast[k], plain) << "length " << length << " output " << k;
            }
        }
        // The field is PAR2's: 2^16 wraps to x^12 + x^3 + x + 1.
        EXPECT_EQ(GfMul(0x8000, 2), 0x100B);
        EXPECT_EQ(GfMul(GfDiv(1234, 777), 777), 1234);
        EXPECT_EQ(GfPow(2, 16), GfExp2(16));
    }
}

TEST(RecoveryPlanTest, BlocksFollowTheLargestFileAndTheLimit) {
    const Plan plan = PlanFor(std::vector<std::int64_t>(20, 1024), 10);
    EXPECT_EQ(plan.blockSize, 1024 / kBlocksPerPiece);
    EXPECT_EQ(plan.sourceBlocks, 20 * kBlocksPerPiece);
    EXPECT_EQ(plan.recoveryBlocks, 2 * kBlocksPerPiece);
    EXPECT_EQ(plan.rebuildableFiles, 2);
    // Counted from the largest file: one fits, the block left over does not make another.
    const Plan shortLast = PlanFor({1024, 1024, 100}, 50);
    EXPECT_EQ(shortLast.sourceBlocks, 2 * kBlocksPerPiece + 1);
    EXPECT_EQ(shortLast.recoveryBlocks, kBlocksPerPiece + 1);
    EXPECT_EQ(shortLast.rebuildableFiles, 1);
    // Blocks grow past the limit, in whole words; 1% of anything is at least one block.
    const Plan many = PlanFor(std::vector<std::int64_t>(5000, (1 << 20) + 2), 1);
    EXPECT_LE(many.sourceBlocks, kMaxBlocks);
    EXPECT_GT(many.sourceBlocks, kMaxBlocks / 2);
    EXPECT_EQ(many.blockSize % 4, 0);
    EXPECT_EQ(PlanFor({10}, 1).recoveryBlocks, 1);
    // Made as the files are written only while every recovery block fits in memory at once.
    const std::int64_t piece = (std::int64_t{1} << 30) / 20 + 256;
    EXPECT_TRUE(OnePass(std::vector<std::int64_t>(20, piece), 10));
    EXPECT_FALSE(OnePass(std::vector<std::int64_t>(20, piece), 100));       // 1 GiB of recovery blocks
    EXPECT_FALSE(OnePass(std::vector<std::int64_t>(20, 10 * piece), 10));   // 64 MiB blocks
}

TEST(RecoveryPlanTest, OnePassTakesWhatFitsInMemoryAndNoMore) {
    constexpr std::int64_t kMiB = std::int64_t{1} << 20;
    struct Case {
        std::int64_t blockSize;
        int blocksNeeded;
        bool fits;
    };
    const Case cases[] = {
        {32 * kMiB, 8, true},       // 256 MiB, the bound
        {32 * kMiB, 9, false},      // over it
        {32 * kMiB + 64, 1, false}, // a block longer than one stretch
        {kMiB, 256, true},
        {kMiB, 257, false},
        {kMiB, 0, false},           // nothing to rebuild
    };
    for (const Case& c : cases) {
        Check check;
        check.blockSize = c.blockSize;
        check.blocksNeeded = c.blocksNeeded;
        EXPECT_EQ(FitsOnePass(check), c.fits) << c.blockSize << " x " << c.blocksNeeded;
    }
}

class RecoveryFiles : public ::testing::Test {
protected:
    TempDir dir;
    std::vector<std::string> files = MakeFiles(dir, {40000, 40000, 40000, 40000, 40000, 40000, 40000, 40000, 40000, 12345});
    std::vector<std::string> originals = [this] {
        std::vector<std::string> bytes;
        for (const std::string& file : files) {
            bytes.push_back(ReadFile(file));
        }
        return bytes;
    }();

    WriteResult Write(int percent) {
        test::RecordingProgress progress;
        return WriteRecoveryFiles(files, dir.path(), "data", percent, progress);
    }
    // Every file taken on trust but the lost one.
    Input TrustedAllBut(std::size_t lost) {
        Input input = InputFor(dir, files);
        input.trusted.assign(files.size(), true);
        input.trusted[lost] = false;
        return input;
    }
    Check CheckNow(std::vector<bool> trusted = {}) {
        test::RecordingProgress progress;
        Input input = InputFor(dir, files);
        input.trusted = std::move(trusted);
        return CheckFiles(input, progress);
    }
    // A refused or stopped rebuild keeps nothing and leaves no temporary behind.
    void ExpectNothingKept(Rebuilt& rebuilt) {
        EXPECT_TRUE(rebuilt.entries().empty());
        for (const std::string& name : test::SortedNames(dir.path())) {
            EXPECT_FALSE(name.starts_with(".")) << "left: " << name;
        }
    }
    void RebuildAndCompare() {
        const Check check = CheckNow();
        ASSERT_TRUE(check.CanRebuild()) << Summary(check);
        test::RecordingProgress progress;
        Rebuilt rebuilt = RebuildFiles(InputFor(dir, files), check, progress);
        ASSERT_TRUE(rebuilt.status.ok()) << rebuilt.status.message();
        ASSERT_TRUE(rebuilt.PutInPlace(files).ok());
        for (std::size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(ReadFile(files[i]), originals[i]) << files[i];
        }
    }
};

TEST_F(RecoveryFiles, ThePar2ToolVerifiesAndRepairsWhatIsWritten) {
    if (!HavePar2()) {
        GTEST_SKIP() << "par2 is not installed";
    }
    const WriteResult written = Write(20);
    ASSERT_TRUE(written.status.ok()) << written.status.message();
    ASSERT_GE(written.files.size(), 2U);
    EXPECT_EQ(written.files.front(), dir.File("data.par2"));
    EXPECT_EQ(Shell("par2 verify -q " + written.files.front()), 0);
    std::remove(files[3].c_str());
    std::remove(files[9].c_str());
    ASSERT_EQ(Shell("par2 repair -q " + written.files.front()), 0);
    EXPECT_EQ(ReadFile(files[3]), originals[3]);
    EXPECT_EQ(ReadFile(files[9]), originals[9]);
}

TEST_F(RecoveryFiles, WhatThePar2ToolWritesIsRebuiltByUs) {
    if (!HavePar2()) {
        GTEST_SKIP() << "par2 is not installed";
    }
    ASSERT_EQ(Shell("cd " + dir.path() + " && par2 create -q -s4000 -r12 data.par2 data.0*"), 0);
    std::remove(files[0].c_str());
    RebuildAndCompare();
}

class MemorySource : public par2::Source {
public:
    explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
    std::int64_t Size() const override { return static_cast<std::int64_t>(bytes_.size()); }
    Status ReadAt(std::int64_t offset, void* buffer, std::size_t n) override {
        std::memcpy(buffer, bytes_.data() + offset, n);
        return Status::Ok();
    }

private:
    std::string bytes_;
};

TEST(Par2PacketsTest, IntactPacketsAreFoundAroundDamageAndAcrossTheReadWindow) {
    const par2::Md5 set = par2::Md5Of("set");
    par2::FileEntry file;
    file.name = "a.bin";
    file.length = 10;
    file.id = par2::FileId(file.headMd5, file.length, file.name);
    file.slices = {{par2::Md5Of("x"), 0x12345678}};
    const std::string main = par2::Packet(set, par2::kMainType, par2::MainBody(12, {file.id}));
    std::string damaged = par2::Packet(set, par2::kFileDescType, par2::FileDescBody(file));
    damaged[damaged.size() - 1] ^= 1;
    // The file's description only after a damaged copy of it, garbage, and a run of bytes that
    // puts the last packet's magic across the reader's 1 MiB window.
    const std::string garbage(1000, 'P');
    std::string bytes = main + damaged + garbage;
    bytes += std::string((1 << 20) - bytes.size() - 3, '\0');
    bytes += par2::Packet(set, par2::kFileDescType, par2::FileDescBody(file));
    bytes += par2::Packet(set, par2::kIfscType, par2::IfscBody(file));
    MemorySource source(bytes);
    par2::Scan scan;
    ASSERT_TRUE(par2::ScanPackets(source, 0, &scan).ok());
    EXPECT_EQ(scan.damagedPackets, 1);
    const par2::Set* found = par2::CompleteSet(scan);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->sliceSize, 12U);
    const par2::FileEntry& entry = found->files.at(file.id);
    EXPECT_EQ(entry.name, "a.bin");
    ASSERT_EQ(entry.slices.size(), 1U);
    EXPECT_EQ(entry.slices[0].crc, 0x12345678U);
}

// Stops once the bar has moved `moves` times.
class StoppingProgress : public test::RecordingProgress {
public:
    explicit StoppingProgress(std::size_t moves) : moves_(moves) {}
    bool StopRequested() const override { return values.size() >= moves_; }

private:
    std::size_t moves_;
};

TEST_F(RecoveryFiles, AStopLeavesNoRecoveryFileAndNoTemporary) {
    for (const std::size_t moves : {0UL, 3UL}) {
        StoppingProgress progress(moves);
        const WriteResult written = WriteRecoveryFiles(files, dir.path(), "data", 30, progress);
        EXPECT_TRUE(written.status.cancelled()) << written.status.message();
        for (const std::string& name : test::SortedNames(dir.path())) {
            EXPECT_TRUE(name.starts_with("data.0")) << "left: " << name;
        }
    }
    ASSERT_TRUE(Write(30).status.ok());
    std::remove(files[2].c_str());
    const Check check = CheckNow();
    StoppingProgress progress(2);
    Rebuilt rebuilt = RebuildFiles(InputFor(dir, files), check, progress);
    EXPECT_TRUE(rebuilt.status.cancelled());
    ExpectNothingKept(rebuilt);
}

TEST_F(RecoveryFiles, TrustedFilesAreNeverRebuiltAndARebuildOnWrongBytesIsRefused) {
    ASSERT_TRUE(Write(20).status.ok());
    // Damaged after its own check vouched for it: the check takes it on trust (it counts no
    // bad block), and the rebuild it then feeds comes out wrong, is caught, and is not kept.
    FlipByte(files[1], 30000);
    const std::string vouched = ReadFile(files[1]);
    std::remove(files[6].c_str());
    const Input input = TrustedAllBut(6);
    test::RecordingProgress progress;
    const Check check = CheckFiles(input, progress);
    EXPECT_EQ(check.faultyFiles, 1);
    EXPECT_EQ(check.files[1].state, FileState::kOk);
    Rebuilt rebuilt = RebuildFiles(input, check, progress);
    EXPECT_NE(rebuilt.status.message().find("data.007 does not match the recovery files"), std::string::npos)
        << rebuilt.status.message();
    ExpectNothingKept(rebuilt);
    EXPECT_EQ(ReadFile(files[1]), vouched);
    EXPECT_FALSE(test::Exists(files[6]));
}

// Every block of a file grown by whole blocks still matches: only its length tells it is not
// the file the recovery data describes.
TEST_F(RecoveryFiles, AFileGrownByWholeBlocksIsDamaged) {
    const WriteResult written = Write(20);
    ASSERT_TRUE(written.status.ok()) << written.status.message();
    WriteFile(files[3], originals[3] + PatternBytes(static_cast<std::size_t>(2 * written.plan.blockSize), 99));
    const Check check = CheckNow();
    EXPECT_EQ(check.files[3].state, FileState::kDamaged);
    EXPECT_EQ(check.faultyFiles, 1);
    RebuildAndCompare();
}

// The same in one pass, where a piece without a data hash has nothing else to catch it: the
// rebuilt block is refused before any of its bytes is handed on.
TEST_F(RecoveryFiles, AOnePassRebuildOnWrongBytesHandsNoneOfThem) {
    ASSERT_TRUE(Write(20).status.ok());
    FlipByte(files[1], 30000);
    std::remove(files[6].c_str());
    const Input input = TrustedAllBut(6);
    test::RecordingProgress progress;
    const Check check = CheckFiles(input, progress);
    ASSERT_TRUE(check.CanRebuild() && FitsOnePass(check)) << Summary(check);
    bool rebuiltHanded = false;
    const Status status = RebuildInOnePassWatching(input, check, 6, rebuiltHanded);
    EXPECT_EQ(status.message(), "the rebuilt data.007 does not match the recovery files");
    EXPECT_FALSE(rebuiltHanded);
}

// Every block as the set describes it, the whole file's MD5 not: the rebuilt file is refused,
// in temporaries and in one pass alike, before it stands for the lost one.
TEST_F(RecoveryFiles, ARebuiltFileIsCheckedWholeAgainstTheSet) {
    const WriteResult written = Write(20);
    ASSERT_TRUE(written.status.ok());
    for (const std::string& path : written.files) {
        test::RewritePar2(path, [](const par2::Type& type, std::string& body) {
            if (type == par2::kFileDescType && body.find("data.007") == 56) {
                body[20] = static_cast<char>(body[20] ^ 1);  // in its whole-file MD5
            }
        });
    }
    std::remove(files[6].c_str());
    const Check check = CheckNow();
    ASSERT_TRUE(check.CanRebuild() && FitsOnePass(check)) << Summary(check);
    test::RecordingProgress progress;
    Rebuilt rebuilt = RebuildFiles(InputFor(dir, files), check, progress);
    EXPECT_EQ(rebuilt.status.message(), "the rebuilt data.007 does not match the recovery files");
    ExpectNothingKept(rebuilt);
    bool handed = false;
    const Status status = RebuildInOnePassWatching(InputFor(dir, files), check, 6, handed);
    EXPECT_EQ(status.message(), "the rebuilt data.007 does not match the recovery files");
    EXPECT_FALSE(handed);
}

TEST_F(RecoveryFiles, AFileChangedBetweenItsCheckAndTheRebuildIsRefused) {
    ASSERT_TRUE(Write(20).status.ok());
    FlipByte(files[4], 20000);  // its fifth block, to rebuild
    const Check check = CheckNow();
    ASSERT_TRUE(check.CanRebuild()) << Summary(check);
    // A block the check found sound, and the rebuild copies, changes before it is copied.
    FlipByte(files[4], 2000);
    test::RecordingProgress progress;
    Rebuilt rebuilt = RebuildFiles(InputFor(dir, files), check, progress);
    EXPECT_NE(rebuilt.status.message().find("data.005 changed while it was rebuilt"), std::string::npos)
        << rebuilt.status.message();
    ExpectNothingKept(rebuilt);
}

TEST_F(RecoveryFiles, ADamagedRecoveryBlockIsNeverUsedAndAnyVolumeStandsAlone) {
    const WriteResult written = Write(25);
    ASSERT_TRUE(written.status.ok());
    // The description alone goes; a byte of the first volume's recovery data flips.
    std::remove(written.files[0].c_str());
    std::string volume = ReadFile(written.files[1]);
    volume[100] ^= 1;
    WriteFile(written.files[1], volume);
    std::remove(files[9].c_str());  // the short last file: one block
    FlipByte(files[4], 20000);        // one block of another
    const Check check = CheckNow();
    EXPECT_TRUE(check.usable) << check.note;
    EXPECT_EQ(check.blocksNeeded, check.files[9].blocks + 1);
    EXPECT_EQ(check.blocksAvailable, written.plan.recoveryBlocks - 1);
    EXPECT_EQ(check.files[4].state, FileState::kDamaged);
    EXPECT_EQ(check.files[4].badBlocks, 1);
    EXPECT_EQ(check.files[9].state, FileState::kMissing);
    ASSERT_TRUE(check.CanRebuild() && FitsOnePass(check)) << Summary(check);

    // In one pass every byte is handed once, and the rebuilt ones last, only once checked.
    std::vector<std::int64_t> lengths(files.size(), -1);
    lengths[4] = 40000;
    lengths[9] = 12345;
    EXPECT_EQ(RebuiltLengths(check), lengths);
    const auto rebuilt = [](std::size_t file, std::int64_t offset, std::size_t n) {
        return file == 9 || (file == 4 && offset <= 20000 && 20000 < offset + static_cast<std::int64_t>(n));
    };
    std::vector<std::string> seen(files.size());
    std::vector<std::vector<int>> times(files.size());
    for (std::size_t f = 0; f < files.size(); ++f) {
        seen[f].assign(originals[f].size(), '\0');
        times[f].assign(originals[f].size(), 0);
    }
    bool rebuiltYet = false;
    bool keptAfterRebuilt = false;
    const FileBytes hand = [&](std::size_t file, std::int64_t offset, const unsigned char* data, std::size_t n) {
        const bool mine = rebuilt(file, offset, n);
        keptAfterRebuilt = keptAfterRebuilt || (rebuiltYet && !mine);
        rebuiltYet = rebuiltYet || mine;
        for (std::size_t k = 0; k < n; ++k) {
            seen[file].at(static_cast<std::size_t>(offset) + k) = static_cast<char>(data[k]);
            ++times[file].at(static_cast<std::size_t>(offset) + k);
        }
        return Status::Ok();
    };
    std::int64_t lastDone = -1;
    const Status status = RebuildInOnePass(InputFor(dir, files), check, hand, [&](std::int64_t done, std::int64_t total) {
        EXPECT_LE(done, total);
        lastDone = done;
        return true;
    });
    ASSERT_TRUE(status.ok()) << status.message();
    EXPECT_GT(lastDone, 0);
    EXPECT_FALSE(keptAfterRebuilt);
    for (std::size_t f = 0; f < files.size(); ++f) {
        EXPECT_TRUE(seen[f] == originals[f]) << files[f];
        EXPECT_TRUE(std::all_of(times[f].begin(), times[f].end(), [](int t) { return t == 1; })) << files[f];
    }
    // A stop ends it as Cancelled before any rebuilt byte is handed (a failure of the
    // receiver, the fault matrix's).
    rebuiltYet = false;
    const Status stopped = RebuildInOnePass(InputFor(dir, files), check,
                                            [&](std::size_t file, std::int64_t offset, const unsigned char*, std::size_t n) {
                                                rebuiltYet = rebuiltYet || rebuilt(file, offset, n);
                                                return Status::Ok();
                                            },
                                            [](std::int64_t, std::int64_t) { return false; });
    EXPECT_TRUE(stopped.cancelled()) << stopped.message();
    EXPECT_FALSE(rebuiltYet);
    RebuildAndCompare();
}

// A split of `folder`/src.bin into `folder`, with `percent`% recovery data.
SplitParams SplitOf(const std::string& folder, std::int32_t pieceSize, int percent) {
    SplitParams params;
    params.sourcePath = folder + "/src.bin";
    params.destFolder = folder;
    params.groupName = "src";
    params.pieceSize = pieceSize;
    params.splitDate = "12/8/26";
    params.recoveryPercent = percent;
    return params;
}

TEST(RecoverySplitTest, TheBarMovesThroughTheSplitAndEndsFull) {
    TempDir dir;
    WriteFile(dir.File("src.bin"), PatternBytes(300000, 4));
    test::RecordingProgress progress;
    const SplitResult result = SplitFile(SplitOf(dir.path(), 100000, 34), progress);
    ASSERT_TRUE(result.status.ok()) << result.status.message();
    EXPECT_EQ(result.rebuildablePieces, 1);
    ASSERT_GE(result.recoveryFiles.size(), 2U);
    EXPECT_EQ(result.recoveryFiles.front(), dir.File("src.par2"));
    ASSERT_FALSE(progress.values.empty());
    EXPECT_TRUE(std::is_sorted(progress.values.begin(), progress.values.end()));
    EXPECT_EQ(progress.values.back(), progress.Max());
    // Pieces and recovery data are made in one pass, which the bar follows.
    EXPECT_TRUE(std::any_of(progress.values.begin(), progress.values.end(),
                            [&progress](int value) { return value > 0 && value < progress.Max(); }));
}

// Pieces written beside their recovery data, against the same split's pieces written first
// and read back: the same bytes, piece for piece and recovery file for recovery file.
TEST(RecoverySplitTest, OnePassWritesWhatReadingThePiecesBackWrites) {
    struct Case {
        bool raw;
        std::int32_t pieceSize;
        bool dataCheck;
        bool checksums;
    };
    // Heads longer and shorter than the 16 KiB PAR2 names a file by; a short last piece.
    for (const Case c : {Case{false, 70000, true, true}, Case{false, 5000, false, false}, Case{false, 9000, true, false},
                         Case{true, 70000, false, false}, Case{true, 7000, false, false}}) {
        SCOPED_TRACE(std::to_string(c.pieceSize) + (c.raw ? " raw" : ""));
        const std::string source = PatternBytes(300000, 9);
        const auto split = [&](const std::string& folder, bool readBack) {
            WriteFile(folder + "/src.bin", source);
            test::RecordingProgress progress;
            testing::SetReadBack(readBack);
            SplitResult result;
            if (c.raw) {
                result = SplitRaw({folder + "/src.bin", folder, "src.bin", c.pieceSize, false, 20}, progress);
            } else {
                SplitParams params = SplitOf(folder, c.pieceSize, 20);
                params.groupId = 4242;
                params.dataCheck = c.dataCheck;
                params.checksums = c.checksums;
                result = SplitFile(params, progress);
            }
            testing::SetReadBack(false);
            return result;
        };
        const TempDir one;
        const TempDir back;
        const SplitResult together = split(one.path(), false);
        ASSERT_TRUE(together.status.ok()) << together.status.message();
        const SplitResult after = split(back.path(), true);
        ASSERT_TRUE(after.status.ok()) << after.status.message();
        EXPECT_EQ(together.rebuildablePieces, after.rebuildablePieces);
        EXPECT_EQ(together.pieces.size(), after.pieces.size());
        const std::vector<std::string> names = test::SortedNames(one.path());
        ASSERT_EQ(names, test::SortedNames(back.path()));
        EXPECT_GT(names.size(), together.pieces.size() + 2);  // the source and recovery files too
        for (const std::string& name : names) {
            EXPECT_TRUE(ReadFile(one.File(name)) == ReadFile(back.File(name))) << name;
        }
    }
}

TEST(RecoverySplitTest, AStopAnywhereLeavesOnlyTheSource) {
    TempDir dir;
    WriteFile(dir.File("src.bin"), PatternBytes(300000, 5));
    for (const std::size_t moves : {0UL, 1UL, 2UL, 3UL}) {
        SplitParams params = SplitOf(dir.path(), 20000, 10);
        params.checksums = true;
        StoppingProgress progress(moves);
        const SplitResult result = SplitFile(params, progress);
        EXPECT_TRUE(result.status.cancelled()) << moves << ": " << result.status.message();
        EXPECT_EQ(test::SortedNames(dir.path()), std::vector<std::string>{"src.bin"}) << moves;
        StoppingProgress rawProgress(moves);
        const SplitResult raw = SplitRaw({dir.File("src.bin"), dir.path(), "src.bin", 20000, true, 10}, rawProgress);
        EXPECT_TRUE(raw.status.cancelled()) << moves << ": " << raw.status.message();
        EXPECT_EQ(test::SortedNames(dir.path()), std::vector<std::string>{"src.bin"}) << moves;
    }
}

// A split that fails as it names its last files (recovery files, then the checksum file), or
// writes its last bytes, takes back the pieces and recovery files it had already named: only
// the source is left.
TEST(RecoverySplitTest, ALateFailureTakesBackPiecesAndRecoveryFiles) {
    TempDir dir;
    WriteFile(dir.File("src.bin"), PatternBytes(300000, 6));
    for (const bool raw : {false, true}) {
        const auto split = [&] {
            test::RecordingProgress progress;
            SplitParams params = SplitOf(dir.path(), 60000, 30);
            params.checksums = true;
            return raw ? SplitRaw({dir.File("src.bin"), dir.path(), "src.bin", 60000, true, 30}, progress)
                       : SplitFile(params, progress);
        };
        // Counted within their kind: the hashing reads on other threads fall between them
        // differently from run to run.
        std::vector<std::pair<io::Call, int>> late;
        for (const io::Call call : {io::Call::kRename, io::Call::kWrite}) {
            const auto count = static_cast<int>(test::CallsOf(call, [&] { ASSERT_TRUE(split().status.ok()); }).size());
            ASSERT_GE(count, 4);
            for (int n = count - 3; n <= count; ++n) {
                late.emplace_back(call, n);
            }
            for (const std::string& name : test::SortedNames(dir.path())) {
                if (name != "src.bin") {
                    std::remove(dir.File(name).c_str());
                }
            }
        }
        for (const auto& [call, n] : late) {
            io::testing::FaultPlan plan;
            plan.FailCallOf(call, n, EIO);
            EXPECT_FALSE(split().status.ok()) << raw << " " << n;
            EXPECT_EQ(test::SortedNames(dir.path()), std::vector<std::string>{"src.bin"}) << raw << " " << n;
        }
    }
}

// The pieces' headers hold hashes taken in a first pass over the source; a byte that changes
// before the pieces are written would leave a piece that does not check out.
TEST(RecoverySplitTest, ASourceChangedAfterItsHashesWereTakenIsRefused) {
    TempDir dir;
    WriteFile(dir.File("src.bin"), PatternBytes(300000, 3));
    io::testing::SetAfterHash([&dir](std::size_t job, const Status&) {
        if (job == 0) {  // piece 1's data is hashed: one of its bytes changes in place
            std::fstream file(dir.File("src.bin"), std::ios::in | std::ios::out | std::ios::binary);
            char byte = 0;
            file.seekg(1000);
            file.get(byte);
            file.seekp(1000);
            file.put(static_cast<char>(byte ^ 0x10));
        }
    });
    test::RecordingProgress progress;
    const SplitResult result = SplitFile(SplitOf(dir.path(), 100000, 10), progress);
    io::testing::SetAfterHash({});
    EXPECT_NE(result.status.message().find("src.bin changed while it was split"), std::string::npos)
        << result.status.message();
    EXPECT_EQ(test::SortedNames(dir.path()), std::vector<std::string>{"src.bin"});
}

// A description of `files` with valid packet hashes whatever sizes it declares: what a hostile
// writer can make. `length` forges every file's described length when given.
std::string ForgedIndex(const std::vector<std::string>& files, std::uint64_t sliceSize,
                        std::optional<std::uint64_t> length = std::nullopt) {
    std::vector<par2::FileEntry> entries;
    for (const std::string& path : files) {
        const std::string bytes = ReadFile(path);
        par2::FileEntry& entry = entries.emplace_back();
        entry.name = path.substr(path.rfind('/') + 1);
        entry.length = length.value_or(bytes.size());
        entry.md5 = par2::Md5Of(bytes);
        entry.headMd5 = par2::Md5Of(bytes.substr(0, par2::kHeadBytes));
        entry.id = par2::FileId(entry.headMd5, entry.length, entry.name);
        entry.slices.resize((entry.length + sliceSize - 1) / sliceSize);
        for (std::size_t k = 0; k < entry.slices.size() && sliceSize <= (1U << 20); ++k) {
            std::string slice = bytes.substr(std::min<std::size_t>(k * sliceSize, bytes.size()), sliceSize);
            slice.resize(sliceSize, '\0');
            Digest crc(DigestKind::kCrc32);
            crc.Update(slice.data(), slice.size());
            for (const char byte : crc.RawDigest()) {
                entry.slices[k].crc = (entry.slices[k].crc << 8) | static_cast<unsigned char>(byte);
            }
            entry.slices[k].md5 = par2::Md5Of(slice);
        }
    }
    std::vector<par2::Md5> ids;
    for (const par2::FileEntry& entry : entries) {
        ids.push_back(entry.id);
    }
    std::sort(ids.begin(), ids.end(), par2::IdBefore);
    const std::string main = par2::MainBody(sliceSize, ids);
    const par2::Md5 set = par2::Md5Of(main);
    std::string bytes = par2::Packet(set, par2::kMainType, main);
    for (const par2::FileEntry& entry : entries) {
        bytes += par2::Packet(set, par2::kFileDescType, par2::FileDescBody(entry));
        bytes += par2::Packet(set, par2::kIfscType, par2::IfscBody(entry));
    }
    return bytes;
}

// Sizes no file here has are refused before any work: a slice of 2^50 bytes would otherwise
// have its padding hashed for hours, and a length past 2^63 wraps the slice count to none,
// leaving nothing to check and an empty file to "rebuild".
TEST_F(RecoveryFiles, ImpossibleSizesMakeTheSetUnusableAtOnce) {
    const std::vector<std::pair<std::uint64_t, std::optional<std::uint64_t>>> forged = {
        {std::uint64_t{1} << 50, std::nullopt},
        {std::uint64_t{1} << 30, std::nullopt},
        {4, ~std::uint64_t{0}},
    };
    for (const auto& [sliceSize, length] : forged) {
        SCOPED_TRACE(sliceSize);
        WriteFile(dir.File("data.par2"), ForgedIndex(files, sliceSize, length));
        const Check check = CheckNow();
        EXPECT_TRUE(check.status.ok()) << check.status.message();
        EXPECT_TRUE(check.present);
        EXPECT_FALSE(check.usable);
        EXPECT_NE(check.note.find("data.par2"), std::string::npos) << check.note;
    }
    // The same forger with sizes that hold: the set is taken, so the refusals are the sizes'.
    WriteFile(dir.File("data.par2"), ForgedIndex({files[9]}, 12348));
    const Check one = [this] {
        test::RecordingProgress progress;
        return CheckFiles(InputFor(dir, {files[9]}), progress);
    }();
    EXPECT_TRUE(one.usable) << one.note;
    EXPECT_EQ(one.faultyFiles, 0);
}

}  // namespace
}  // namespace brindle::recovery

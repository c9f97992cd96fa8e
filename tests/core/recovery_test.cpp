#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "recovery/galois.h"
#include "recovery/par2_packets.h"
#include "recovery/recovery.h"
#include "support/recording_progress.h"
#include "support/temp_dir.h"

namespace brindle::recovery {
namespace {

using test::PatternBytes;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

bool HavePar2() { return std::system("par2 --version >/dev/null 2>&1") == 0; }

int Shell(const std::string& command) { return std::system(("cd / && " + command + " >/dev/null 2>&1").c_str()); }

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

TEST(GaloisTest, RegionMultiplyMatchesThePlainReferenceAtAnyLengthAndPlace) {
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
    // The field is PAR2's: 2^16 wraps to x^12 + x^3 + x + 1.
    EXPECT_EQ(GfMul(0x8000, 2), 0x100B);
    EXPECT_EQ(GfMul(GfDiv(1234, 777), 777), 1234);
    EXPECT_EQ(GfPow(2, 16), GfExp2(16));
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
    Check CheckNow(std::vector<bool> trusted = {}) {
        test::RecordingProgress progress;
        Input input = InputFor(dir, files);
        input.trusted = std::move(trusted);
        return CheckFiles(input, progress);
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

}  // namespace
}  // namespace brindle::recovery

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "format/checksums.h"
#include "format/numbered_group.h"
#include "io/file_io.h"
#include "split/raw_split.h"
#include "support/recording_progress.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using test::RecordingProgress;
using test::SortedNames;
using test::TempDir;

constexpr std::int64_t kPiece = 1000;

class RawSplitTest : public ::testing::Test {
protected:
    void SetUp() override { test::WriteFile(dir.File("film.avi"), test::PatternBytes(3 * kPiece - 10)); }

    RawSplitParams Params(bool checksums = false) const {
        return {dir.File("film.avi"), dir.path(), "film.avi", kPiece, checksums};
    }
    // The names a user sees, hidden ones left out.
    std::vector<std::string> Visible() const {
        std::vector<std::string> names;
        for (const std::string& name : SortedNames(dir.path())) {
            if (name.front() != '.') {
                names.push_back(name);
            }
        }
        return names;
    }

    TempDir dir;
};

// What a kill at any moment of the writing would leave: hidden files only, never a piece.
TEST_F(RawSplitTest, NoPieceHasItsNameUntilEveryPieceIsWritten) {
    // Left by a killed split of this file, and one of another file's.
    test::WriteFile(dir.File(".film.avi.002.brindle-part"), "stale");
    test::WriteFile(dir.File(".other.001.brindle-part"), "not this file's");
    struct WatchingProgress final : RecordingProgress {
        std::function<void()> onYield;
        void Yield() override { onYield(); }
    } progress;
    int pieces = 0;
    progress.onYield = [&] {
        ++pieces;
        EXPECT_EQ(Visible(), std::vector<std::string>{"film.avi"}) << "after piece " << pieces;
    };
    const SplitResult result = SplitRaw(Params(), progress);
    ASSERT_TRUE(result.status.ok()) << result.status.message();
    EXPECT_EQ(pieces, 3);
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{".other.001.brindle-part", "film.avi",
                                                                 "film.avi.001", "film.avi.002", "film.avi.003"}));
    EXPECT_TRUE(FindNumberedGroup(dir.path(), "film.avi").Ready());
}

TEST_F(RawSplitTest, AnEarlierListOfItsOwnIsReplacedOrRemovedAnotherToolsIsNot) {
    RecordingProgress progress;
    ASSERT_TRUE(SplitRaw(Params(true), progress).status.ok());
    const auto removePieces = [&] {
        for (const char* name : {"film.avi.001", "film.avi.002", "film.avi.003"}) {
            ASSERT_TRUE(io::RemoveFile(dir.File(name)).ok());
        }
    };
    // Fewer pieces now: the old list would name a piece that is missing.
    removePieces();
    RawSplitParams two = Params(true);
    two.pieceSize = 2 * kPiece;
    ASSERT_TRUE(SplitRaw(two, progress).status.ok());
    ChecksumList list;
    ASSERT_TRUE(ReadChecksumFile(dir.File("film.avi.sha256"), &list).ok());
    EXPECT_EQ(list.size(), 2u);
    EXPECT_TRUE(FindNumberedGroup(dir.path(), "film.avi").Ready());

    ASSERT_TRUE(io::RemoveFile(dir.File("film.avi.001")).ok());
    ASSERT_TRUE(io::RemoveFile(dir.File("film.avi.002")).ok());
    ASSERT_TRUE(SplitRaw(Params(), progress).status.ok());
    EXPECT_EQ(Visible(), (std::vector<std::string>{"film.avi", "film.avi.001", "film.avi.002", "film.avi.003"}));

    // A list some other tool wrote is the user's: never replaced, and without checksums kept.
    removePieces();
    test::WriteFile(dir.File("film.avi.sha256"), std::string(64, '0') + "  film.avi.001\n");
    EXPECT_EQ(SplitRaw(Params(true), progress).status.code(), Status::Code::kInvalidArgument);
    EXPECT_EQ(Visible(), (std::vector<std::string>{"film.avi", "film.avi.sha256"}));
    ASSERT_TRUE(SplitRaw(Params(), progress).status.ok());
    EXPECT_TRUE(test::Exists(dir.File("film.avi.sha256")));
}

}  // namespace
}  // namespace brindle

#include <gtest/gtest.h>

#include <filesystem>

#include "checks/hash_pool.h"
#include "format/discovery.h"
#include "io/file_io.h"
#include "join/stream_join.h"
#include "split/split_engine.h"
#include "support/recording_progress.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using test::ReadFile;
using test::TempDir;

// Splits `bytes` into pieces of 2000 in `dir`; the pieces in order.
std::vector<std::string> Pieces(const TempDir& dir, const std::string& bytes, bool checksums) {
    test::WriteFile(dir.File("src.bin"), bytes);
    SplitParams params;
    params.sourcePath = dir.File("src.bin");
    params.destFolder = dir.path();
    params.groupName = "g";
    params.pieceSize = 2000;
    params.splitDate = "2026-12-09";
    params.checksums = checksums;
    test::RecordingProgress progress;
    return SplitFile(params, progress).pieces;
}


std::string JoinInto(const TempDir& dir, const std::vector<std::string>& pieces, StreamJoinResult* result) {
    io::File out;
    EXPECT_TRUE(out.CreateNew(dir.File("out.bin")).ok());
    test::RecordingProgress progress;
    *result = JoinToStream(pieces, out, progress);
    EXPECT_TRUE(out.Close().ok());
    return ReadFile(dir.File("out.bin"));
}

// With a checksum file the pieces are hashed ahead on the pool, without one read in place.
TEST(JoinToStream, ADamagedOrForeignPieceStopsTheOutputAtTheEndOfThePieceBefore) {
    for (const bool checksums : {false, true}) {
        SCOPED_TRACE(checksums ? "with a checksum file" : "data hashes only");
        TempDir dir;
        const std::string bytes = test::PatternBytes(5000);
        const std::vector<std::string> pieces = Pieces(dir, bytes, checksums);
        ASSERT_EQ(pieces.size(), 3u);
        StreamJoinResult result;
        EXPECT_EQ(JoinInto(dir, pieces, &result), bytes);
        ASSERT_TRUE(result.status.ok()) << result.status.message();

        std::filesystem::remove(dir.File("out.bin"));
        test::FlipByte(pieces[1], kHeaderSize + 1999);  // the last byte of piece 2
        EXPECT_EQ(JoinInto(dir, pieces, &result), bytes.substr(0, 2000));
        EXPECT_EQ(result.status.code(), Status::Code::kCorruption);
        EXPECT_EQ(result.badPiece, pieces[1]);

        // A piece in the wrong place is refused as surely, before any of its bytes.
        std::filesystem::remove(dir.File("out.bin"));
        EXPECT_EQ(JoinInto(dir, {pieces[0], pieces[2], pieces[1]}, &result), bytes.substr(0, 2000));
        EXPECT_EQ(result.badPiece, pieces[2]);
    }
}

// The later pieces are handed to the hashing only as the copy nears them: one damaged there,
// or gone once the join has begun, still stops the output at the end of the piece before.
TEST(JoinToStream, APieceFarBehindTheFirstIsCheckedAsSurely) {
    TempDir dir;
    const std::string bytes = test::PatternBytes(17000);
    const std::vector<std::string> pieces = Pieces(dir, bytes, false);
    ASSERT_EQ(pieces.size(), 9u);
    test::FlipByte(pieces[7], kHeaderSize);
    StreamJoinResult result;
    EXPECT_EQ(JoinInto(dir, pieces, &result), bytes.substr(0, 14000));
    EXPECT_EQ(result.status.code(), Status::Code::kCorruption);
    EXPECT_EQ(result.badPiece, pieces[7]);

    test::FlipByte(pieces[7], kHeaderSize);
    std::filesystem::remove(dir.File("out.bin"));
    io::testing::SetAfterHash([&](std::size_t job, const Status&) {
        if (job == 0) {
            std::filesystem::remove(pieces[6]);
        }
    });
    EXPECT_EQ(JoinInto(dir, pieces, &result), bytes.substr(0, 12000));
    io::testing::SetAfterHash({});
    EXPECT_FALSE(result.status.ok());
    EXPECT_EQ(result.badPiece, pieces[6]);
}

}  // namespace
}  // namespace brindle

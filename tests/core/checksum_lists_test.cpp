#include <gtest/gtest.h>

#include <cerrno>
#include <optional>

#include "checks/checksum_lists.h"
#include "format/checksums.h"
#include "io/file_io.h"
#include "support/fault_calls.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using test::TempDir;
using test::WriteFile;

// Lists as other tools and editors leave them, and the program's own: each row's list must
// speak for `name` exactly when `listed`.
TEST(ChecksumListsTest, ReadersTable) {
    struct Case {
        const char* what;
        bool own;  // read as the program's own G.sha256
        std::string file;
        std::string text;
        std::string name;
        bool listed;
        std::optional<std::int32_t> split = std::nullopt;  // of the program's own first line
    };
    const std::string bom = "\xEF\xBB\xBF";
    const std::string md5(32, 'a');
    const std::string sha1(40, 'b');
    const std::string sha256(64, 'c');
    const std::string ownLine = "# Tarnwick Brindle checksums of the split with GroupId 7\n";
    const Case cases[] = {
        {"an .sfv after a byte-order mark", false, "x.sfv", bom + "m.bin.001 0BADF00D\n", "m.bin.001", true},
        {"an .md5 after a byte-order mark", false, "x.md5", bom + md5 + "  m.bin.001\n", "m.bin.001", true},
        {"an .sha1 after a byte-order mark", false, "x.sha1", bom + sha1 + " *m.bin.001\r\n", "m.bin.001", true},
        {"an .sha256 after a byte-order mark", false, "x.sha256", bom + sha256 + "  m.bin.001\n", "m.bin.001", true},
        {"the program's own after a byte-order mark", true, "g.sha256", bom + ownLine + sha256 + "  g(1).qmf\n",
         "g(1).qmf", true, 7},
        {"./NAME in an .md5", false, "x.md5", md5 + "  ./m.bin.001\n", "m.bin.001", true},
        {"./NAME in an .sfv", false, "x.sfv", "./m.bin.001 0badf00d\n", "m.bin.001", true},
        {"./NAME in the program's own", true, "g.sha256", sha256 + "  ./g(1).qmf\n", "g(1).qmf", true},
        {"a name in a subfolder", false, "x.md5", md5 + "  sub/m.bin.001\n", "m.bin.001", false},
        {"a name in the folder above", false, "x.sfv", "../m.bin.001 0badf00d\n", "m.bin.001", false},
        {"././NAME", false, "x.sha1", sha1 + "  ././m.bin.001\n", "m.bin.001", false},
        {"a name in a subfolder of the program's own", true, "g.sha256", sha256 + "  sub/g(1).qmf\n", "g(1).qmf", false},
        {"an escaped name in the program's own", true, "g.sha256", "\\" + sha256 + "  odd\\\\g\\n(1).qmf\n",
         "odd\\g\n(1).qmf", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        WriteFile(dir.File(c.file), c.text);
        if (c.own) {
            ChecksumList list;
            std::optional<std::int32_t> split;
            ASSERT_TRUE(ReadChecksumFile(dir.File(c.file), &list, &split).ok());
            EXPECT_EQ(list.count(c.name), c.listed ? 1u : 0u);
            EXPECT_EQ(split, c.split);
        } else {
            const ChecksumLists lists = ReadChecksumLists(dir.path(), {c.name});
            EXPECT_EQ(lists.Lists(c.name), c.listed);
            EXPECT_EQ(lists.badLines, 0);
        }
    }
}

// A list the disk would not give may speak for every name its own starts: movie.sfv for
// movie.mkv and its pieces. Those names cannot go unchecked; others beside it are not its.
TEST(ChecksumListsTest, AnUnreadableListRefusesTheNamesItMaySpeakFor) {
    TempDir dir;
    WriteFile(dir.File("movie.sfv"), "movie.mkv.001 00000000\n");
    const std::vector<int> reads = test::CallsOf(io::Call::kRead, [&] { (void)ReadFolderLists(dir.path()); });
    ASSERT_EQ(reads.size(), 1U);
    io::testing::FaultPlan plan;
    plan.FailCall(reads.front(), EIO);
    const FolderLists lists = ReadFolderLists(dir.path());
    ASSERT_EQ(lists.unread.size(), 1U);
    for (const char* name : {"movie", "movie.mkv", "movie.mkv.001"}) {
        EXPECT_EQ(ListsNaming(lists, {name}).unread.code(), Status::Code::kIoError) << name;
    }
    EXPECT_TRUE(ListsNaming(lists, {"movies.mkv"}).unread.ok());
}

}  // namespace
}  // namespace brindle

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "io/file_meta.h"
#include "io/open_folder.h"
#include "support/temp_dir.h"

namespace brindle::io {
namespace {

using namespace brindle::test;

// The portable road's tests link that road's seam in front of the POSIX one: a slip there
// would run them over the POSIX road again and prove nothing.
TEST(FileRoad, IsTheOneTheTestsRunFor) {
#if defined(BRINDLE_PORTABLE_IO_BUILD)
    EXPECT_FALSE(IdentitiesKnown());
#else
    const char* portableCommand = std::getenv("BRINDLE_TEST_CLI");
    EXPECT_EQ(IdentitiesKnown(), portableCommand == nullptr || *portableCommand == '\0');
#endif
}

// The plan records what OpenFolder finds and undo compares it with what the whole paths give:
// one field apart and no renamed file would be known again.
TEST(OpenFolderTest, FindsAndRenamesAsTheWholePathsDo) {
    TempDir dir;
    WriteFile(dir.File("a.txt"), "a");
    WriteFile(dir.File("b.txt"), "b");
    OpenFolder folder;
    ASSERT_TRUE(folder.Open(dir.path()).ok());

    std::optional<FileId> id;
    std::optional<std::string> stamp;
    ASSERT_TRUE(folder.LookUp("a.txt", &id, &stamp).ok());
    std::optional<FileId> wholeId;
    std::optional<std::string> wholeStamp;
    ASSERT_TRUE(LookUpIdentity(dir.File("a.txt"), &wholeId).ok());
    ASSERT_TRUE(LookUpStamp(dir.File("a.txt"), &wholeStamp).ok());
    EXPECT_EQ(id, wholeId);
    EXPECT_EQ(stamp, wholeStamp);
    ASSERT_TRUE(folder.LookUp("none.txt", &id, &stamp).ok());
    EXPECT_FALSE(id);
    EXPECT_FALSE(stamp);

    EXPECT_FALSE(folder.MoveNoReplace("a.txt", "b.txt").ok());
    EXPECT_EQ(ReadFile(dir.File("b.txt")), "b");
    ASSERT_TRUE(folder.MoveNoReplace("a.txt", "c.txt").ok());
    EXPECT_EQ(ReadFile(dir.File("c.txt")), "a");
    ASSERT_TRUE(LookUpIdentity(dir.File("a.txt"), &wholeId).ok());
    EXPECT_FALSE(wholeId);
}

}  // namespace
}  // namespace brindle::io

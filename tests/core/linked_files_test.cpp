#include <gtest/gtest.h>

#include <filesystem>

#include "support/run_brindle.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::Brindle;
using test::Outcome;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// A piece or list that is a symbolic link is joined only when its file lies in the link's
// own folder, for both kinds of pieces, through join and verify alike.
TEST(LinkedFilesTest, OnlyLinksToFilesInTheirOwnFolderAreFollowed) {
    struct Case {
        const char* what;
        const char* link;    // made in the pieces' folder, in place of that file
        const char* target;  // where the file goes, from the pieces' folder
        const char* given;   // the piece joined and verified
        bool refused;
    };
    const Case cases[] = {
        {"a numbered piece to the folder above", "m.bin.002", "../m.bin.002", "m.bin.001", true},
        {"the numbered piece given", "m.bin.001", "../m.bin.001", "m.bin.001", true},
        {"a numbered piece to a subfolder", "m.bin.002", "sub/m.bin.002", "m.bin.003", true},
        {"an .sfv to the folder above", "m.bin.sfv", "../m.bin.sfv", "m.bin.001", true},
        {"a numbered piece to the same folder", "m.bin.002", "kept", "m.bin.001", false},
        {"a piece to the folder above", "g(2).qmf002", "../g(2).qmf002", "g(1).qmf", true},
        {"the group's checksum file to a subfolder", "g.sha256", "sub/g.sha256", "g(1).qmf", true},
        {"a piece to the same folder", "g(2).qmf002", "kept", "g(1).qmf", false},
    };
    const std::string bytes = test::PatternBytes(3000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string folder = dir.File("p");
        fs::create_directories(folder + "/sub");
        WriteFile(dir.File("m.bin"), bytes);
        WriteFile(dir.File("g"), bytes);
        ASSERT_EQ(Brindle({"split", dir.File("m.bin"), "--raw", "--pieces", "3", "--dest", folder}).code, 0);
        ASSERT_EQ(Brindle({"split", dir.File("g"), "--pieces", "3", "--dest", folder, "--checksums"}).code, 0);
        WriteFile(folder + "/m.bin.sfv", "; lists nothing, and is never read where it is a link\n");
        const std::string link = folder + "/" + c.link;
        fs::rename(link, folder + "/" + c.target);
        fs::create_symlink(c.target, link);

        const Outcome joined = Brindle({"join", folder + "/" + c.given, "--out", folder + "/out"});
        const Outcome verified = Brindle({"verify", folder + "/" + c.given});
        if (c.refused) {
            EXPECT_EQ(joined.code, 1);
            EXPECT_NE(joined.err.find("a link to a file outside its folder: " + link), std::string::npos) << joined.err;
            EXPECT_FALSE(test::Exists(folder + "/out"));
            EXPECT_EQ(verified.code, 1);
            EXPECT_NE(verified.err.find("a link to a file outside its folder: " + link), std::string::npos)
                << verified.out << verified.err;
        } else {
            EXPECT_EQ(joined.code, 0) << joined.err;
            EXPECT_EQ(ReadFile(folder + "/out"), bytes);
            EXPECT_EQ(verified.code, 0) << verified.out << verified.err;
        }
    }
}

}  // namespace
}  // namespace brindle

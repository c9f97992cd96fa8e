#include <gtest/gtest.h>

#include "io/file_io.h"
#include "io/file_list.h"
#include "shell/name_index.h"
#include "shell/numbers.h"
#include "shell/paths.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <map>

namespace brindle {
namespace {

TEST(FormatSize, UnitsThresholdsAndHalfEvenRounding) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0 BYTE"},          {-5, "-5 BYTE"},          {1023, "1023 BYTE"},
        {1024, "1 KB"},         {1536, "1.5 KB"},         {1126, "1.1 KB"},
        {1049, "1.02 KB"},      {1152, "1.12 KB"},        {1048575, "1024 KB"},
        {1048576, "1 MB"},      {1457664, "1.39 MB"},     {1073741823, "1024 MB"},
        {1073741824, "1 GB"},   {2147483647, "2 GB"},     {10000000, "9.54 MB"},
        {5000000000, "4.66 GB"}, {2145335907609, "1998 GB"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(FormatSize(bytes), text) << bytes;
    }
    EXPECT_EQ(FormatSize(1536, ','), "1,5 KB");
}

TEST(PathHelpers, CutAtTheLastSeparator) {
    EXPECT_EQ(GetFileName("/data/report.doc"), "report.doc");
    EXPECT_EQ(GetFileName("/dir/"), "");
    EXPECT_EQ(GetFolderName("/data/report.doc"), "/data");
    EXPECT_EQ(GetFolderName("/report.doc"), "/");
    EXPECT_EQ(JoinPath(GetFolderName("/report.doc"), "a(2).qmf002"), "/a(2).qmf002");
    EXPECT_EQ(GetFolderName("file.txt"), "file.txt");
    EXPECT_EQ(GetFolderName(""), "");
    EXPECT_EQ(JoinPath("/out", "a"), "/out/a");
    EXPECT_EQ(JoinPath("/out/", "a"), "/out/a");
    EXPECT_EQ(StripExtension("archive.tar.gz"), "archive.tar");
    EXPECT_EQ(StripExtension("README"), "README");
}

TEST(PathHelpers, ExtensionLetters) {
    const std::pair<const char*, const char*> cases[] = {
        {"base(1).qmf", "qmf"}, {"base(1).qmf002", "qmf"}, {"notes.txt", "txt"},
        {"README", "README"},   {"x.2024", ""},            {"A.QMF007", "QMF"},
        {"a.b.qmf12", "qmf"},   {"dir.old/name", "old/name"}, {"", ""},
    };
    for (const auto& [path, letters] : cases) {
        EXPECT_EQ(GetExtensionLetters(path), letters) << path;
    }
    EXPECT_EQ(RemoveDigits("a1b22c333"), "abc");
    EXPECT_EQ(RemoveDigits("0123"), "");
}

TEST(NumberReading, LeadingNumberAndWholeTextNumeric) {
    struct Case {
        const char* text;
        double value;
        bool numeric;
    };
    const Case cases[] = {
        {"2", 2, true},       {"2.5", 2.5, true},  {" 1 000 ", 1000, true}, {"abc", 0, false},
        {"", 0, false},       {"12abc", 12, false}, {"-3", -3, true},       {"+.5", 0.5, true},
        {"1.2.3", 1.2, false}, {".", 0, false},     {"- 7", -7, true},       {"5.", 5, true},
    };
    for (const auto& c : cases) {
        const NumberReading r = ReadNumber(c.text);
        EXPECT_DOUBLE_EQ(r.value, c.value) << c.text;
        EXPECT_EQ(r.numeric, c.numeric) << c.text;
    }
    EXPECT_DOUBLE_EQ(ReadNumber("1,5", ',').value, 1.5);
}

TEST(NumberReading, RoundsHalvesToEven) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(1.4999), 1);
}

TEST(FileList, SortedFilteredWithoutHiddenOrFolders) {
    test::TempDir dir;
    for (const char* name : {"b.jpg", "A.JPG", "c.txt", ".hidden.jpg", "noext"}) {
        test::WriteFile(dir.File(name), "x");
    }
    std::filesystem::create_directory(dir.File("folder.jpg"));
    std::vector<std::string> names;
    ASSERT_TRUE(ListFiles(dir.path(), "*.*", &names).ok());
    EXPECT_EQ(names, (std::vector<std::string>{"A.JPG", "b.jpg", "c.txt", "noext"}));
    ASSERT_TRUE(ListFiles(dir.path(), "*.jpg", &names).ok());
    EXPECT_EQ(names, (std::vector<std::string>{"A.JPG", "b.jpg"}));
    EXPECT_EQ(ListFiles(dir.File("missing"), "*", &names).code(), Status::Code::kNotFound);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(MatchesPattern("a(2).qmf002", "*.qmf???"));
    EXPECT_FALSE(MatchesPattern("a.qmf", "*.jpg"));
}

TEST(AbsolutePath, DropsOnlyWhatNeverChangesWhereAPathLeads) {
    const struct {
        const char* path;
        const char* current;
        const char* absolute;
    } cases[] = {
        {"a/../b", "/c", "/c/a/../b"},  // ".." after a link leads elsewhere: the system decides
        {"./a//b/", "/c/", "/c/a/b/"},  // a final separator still asks for a folder
        {"lk/.", "/c", "/c/lk/."},      // the folder a link leads to, not the link
        {"/x/./y", "/c", "/x/y"},
        {"./", "", "."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AbsolutePath(c.path, c.current), c.absolute) << c.path;
    }
}

TEST(LongPathName, EmptyForAMissingPath) {
    test::TempDir dir;
    test::WriteFile(dir.File("here.txt"), "x");
    std::string found = "x";
    EXPECT_TRUE(io::LongPathName(dir.File("missing.txt"), "/", &found).ok());
    EXPECT_EQ(found, "");
    EXPECT_TRUE(io::LongPathName("", dir.path(), &found).ok());
    EXPECT_EQ(found, "");
    EXPECT_TRUE(io::LongPathName("here.txt", dir.path(), &found).ok());
    EXPECT_EQ(found, dir.File("here.txt"));
}

// Grown from nothing past many doublings, and reserved: every name finds its own value, a
// name added again keeps the first, and names it never held (a prefix, one byte more, the
// empty name) are not found.
TEST(NameIndex, FindsEveryNameItHoldsAndNoOther) {
    std::vector<std::string> names;
    for (int i = 0; i < 5000; ++i) {
        names.push_back("IMG_" + std::to_string(i) + ".jpg");
    }
    for (const bool reserved : {false, true}) {
        NameIndex index;
        if (reserved) {
            index.reserve(names.size());
        }
        EXPECT_EQ(index.find("IMG_1.jpg"), nullptr);
        for (std::size_t i = 0; i < names.size(); ++i) {
            ASSERT_TRUE(index.emplace(names[i], i).second);
        }
        EXPECT_EQ(index.emplace(names[7], 99), std::make_pair(std::size_t{7}, false));
        EXPECT_EQ(index.size(), names.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::size_t* found = index.find(names[i]);
            ASSERT_NE(found, nullptr) << names[i];
            EXPECT_EQ(*found, i);
        }
        for (const char* absent : {"IMG_", "IMG_1.jpgx", "", "img_1.jpg"}) {
            EXPECT_EQ(index.find(absent), nullptr) << absent;
        }
    }
}

// What the listing tells of each kind of entry, on either file road: a link to a file counts
// as a file, a link to a folder not as a folder, and "." and ".." are no entries.
TEST(ListFolder, TellsFilesAndFoldersAsTheLinksLead) {
    test::TempDir dir;
    test::WriteFile(dir.File("file"), "x");
    std::filesystem::create_directory(dir.File("sub"));
    std::filesystem::create_symlink("file", dir.File("to-file"));
    std::filesystem::create_symlink("sub", dir.File("to-sub"));
    std::filesystem::create_symlink("gone", dir.File("dangling"));
    std::vector<io::FolderEntry> entries;
    ASSERT_TRUE(io::ListFolder(dir.path(), &entries).ok());
    std::map<std::string, std::pair<bool, bool>> kinds;
    for (const io::FolderEntry& entry : entries) {
        kinds[entry.name] = {entry.regular, entry.folder};
    }
    const std::map<std::string, std::pair<bool, bool>> expected = {
        {"dangling", {false, false}}, {"file", {true, false}},    {"sub", {false, true}},
        {"to-file", {true, false}},   {"to-sub", {false, false}},
    };
    EXPECT_EQ(kinds, expected);
    EXPECT_FALSE(io::ListFolder(dir.File("file"), &entries).ok());
}

}  // namespace
}  // namespace brindle

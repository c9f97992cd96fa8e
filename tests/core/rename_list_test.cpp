#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rename/rename_dialogs.h"
#include "rename/rename_list.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using test::TempDir;
using test::WriteFile;

using namespace std::string_literals;

std::vector<std::string> Names(const RenameList& list) {
    std::vector<std::string> names;
    for (const RenameRow& row : list.rows()) {
        names.push_back(row.fileName);
    }
    return names;
}

TEST(ReadFileString, BothDialogsAndCancel) {
    const struct {
        const char* label;
        std::string text;
        AddSource source;
        std::vector<std::string> names;  // empty: nothing to add
    } cases[] = {
        {"add files", "/pics\0a.jpg\0c.jpg"s, AddSource::kAddFiles, {"a.jpg", "c.jpg"}},
        {"add folder", "/pics\0a.jpg\0b.txt\0"s, AddSource::kAddFolder, {"a.jpg", "b.txt"}},
        {"folder drops its last element", "/pics\0a.jpg"s, AddSource::kAddFolder, {}},
        {"cancel", "cancel", AddSource::kAddFiles, {}},
        {"cancel from the folder dialog", "cancel", AddSource::kAddFolder, {}},
        {"folder alone", "/pics", AddSource::kAddFiles, {}},
        {"empty text", "", AddSource::kAddFiles, {}},
        {"empty names are no files", "/pics\0\0b\0"s, AddSource::kAddFiles, {"b"}},
    };
    for (const auto& c : cases) {
        const auto choice = ReadFileString(c.text, c.source);
        if (c.names.empty()) {
            EXPECT_FALSE(choice) << c.label;
            continue;
        }
        ASSERT_TRUE(choice) << c.label;
        EXPECT_EQ(choice->folder, "/pics") << c.label;
        EXPECT_EQ(choice->names, c.names) << c.label;
    }
}

class RenameListTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(dir.File("a.jpg"), std::string(511, 'a'));
        WriteFile(dir.File("b.jpg"), std::string(1536, 'b'));
        WriteFile(dir.File("c.jpg"), std::string(2600, 'c'));
        WriteFile(dir.File("d.jpg"), "");
    }

    void AddFiles(std::initializer_list<const char*> names) {
        list.Add(FileChoice{dir.path(), {names.begin(), names.end()}}, AddSource::kAddFiles);
    }

    TempDir dir;
    RenameList list;
};

TEST_F(RenameListTest, AddFilesAppendsWithSizeLocationAndKey) {
    AddFiles({"a.jpg", "b.jpg"});
    AddFiles({"c.jpg", "d.jpg"});
    ASSERT_EQ(Names(list), (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
    const RenameRow& row = list.rows()[2];
    EXPECT_EQ(row.key, dir.File("c.jpg"));
    EXPECT_EQ(row.fileBytes, 2600);
    EXPECT_EQ(row.fileLocation, dir.path());
    EXPECT_EQ(row.newFileName, "");
    EXPECT_FALSE(row.checked);
    EXPECT_EQ(list.rows()[0].fileBytes, 511);
    EXPECT_EQ(list.rows()[3].fileBytes, 0);
}

TEST_F(RenameListTest, DuplicatesAreSkippedWithoutDisturbingOtherRows) {
    AddFiles({"b.jpg", "c.jpg"});
    list.rows()[0].newFileName = "named";
    list.rows()[0].checked = true;
    WriteFile(dir.File("b.jpg"), std::string(9000, 'b'));  // a re-add must not re-measure it

    AddFiles({"b.jpg", "a.jpg", "b.jpg", "d.jpg"});
    EXPECT_EQ(Names(list), (std::vector<std::string>{"b.jpg", "c.jpg", "a.jpg", "d.jpg"}));
    EXPECT_EQ(list.rows()[0].fileBytes, 1536);
    EXPECT_EQ(list.rows()[0].newFileName, "named");
    EXPECT_TRUE(list.rows()[0].checked);
}

TEST_F(RenameListTest, AddFolderPutsTheFolderFirstInDialogOrder) {
    AddFiles({"c.jpg"});
    std::string filestring = dir.path() + "\0a.jpg\0b.jpg\0c.jpg\0d.jpg\0"s;
    EXPECT_EQ(list.AddFromFileString(filestring, AddSource::kAddFolder), 3u);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"a.jpg", "b.jpg", "d.jpg", "c.jpg"}));
    EXPECT_EQ(list.AddFromFileString("cancel", AddSource::kAddFolder), 0u);
    EXPECT_EQ(list.rows().size(), 4u);
}

TEST_F(RenameListTest, UnmeasurableFileIsListedWithoutSize) {
    AddFiles({"gone.jpg", "a.jpg"});
    ASSERT_EQ(Names(list), (std::vector<std::string>{"gone.jpg", "a.jpg"}));
    EXPECT_EQ(list.rows()[0].fileBytes, std::nullopt);
    EXPECT_EQ(list.rows()[1].fileBytes, 511);
}

TEST_F(RenameListTest, RemoveClearAndCheckMarks) {
    AddFiles({"a.jpg", "b.jpg", "c.jpg", "d.jpg"});
    for (RenameRow& row : list.rows()) {
        row.newFileName = "n-" + row.fileName;
    }
    list.ClearChecked();  // nothing checked: nothing changes
    EXPECT_EQ(list.rows()[1].newFileName, "n-b.jpg");

    list.ToggleCheck(1);
    list.ToggleCheck(2);
    list.ToggleCheck(99);
    EXPECT_EQ(list.CheckedCount(), 2u);
    list.ClearChecked();
    EXPECT_EQ(list.rows()[0].newFileName, "n-a.jpg");
    EXPECT_EQ(list.rows()[1].newFileName, "");
    EXPECT_EQ(list.rows()[2].newFileName, "");

    list.RemoveChecked();
    EXPECT_EQ(Names(list), (std::vector<std::string>{"a.jpg", "d.jpg"}));
    // A removed file may be added again.
    AddFiles({"b.jpg"});
    EXPECT_EQ(Names(list), (std::vector<std::string>{"a.jpg", "d.jpg", "b.jpg"}));

    list.CheckAll();
    EXPECT_EQ(list.CheckedCount(), 3u);
    list.UncheckAll();
    EXPECT_EQ(list.CheckedCount(), 0u);
}

TEST_F(RenameListTest, DialogsBuildTheirFileStrings) {
    WriteFile(dir.File(".hidden"), "x");
    WriteFile(dir.File("e.gif"), "x");

    FilePicker files;
    files.Show(dir.path(), PatternOfType("JPG Files(*.jpg)"));
    EXPECT_EQ(files.names(), (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
    EXPECT_FALSE(files.Confirm());  // "No file selected."
    files.ToggleTick(0);
    files.ToggleTick(2);
    EXPECT_EQ(files.Confirm(), dir.path() + "\0a.jpg\0c.jpg"s);
    files.Show(dir.path(), PatternOfType("GIF Files(*.gif)"));
    EXPECT_EQ(files.names(), (std::vector<std::string>{"e.gif"}));
    EXPECT_FALSE(files.ticked(0));  // a new listing clears the ticks
    files.TickAll(true);
    list.AddFromFileString(*files.Confirm(), AddSource::kAddFiles);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"e.gif"}));

    FolderPicker folder;
    folder.Show(dir.path());
    EXPECT_EQ(folder.names().size(), 5u);
    list.AddFromFileString(*folder.Confirm(), AddSource::kAddFolder);
    EXPECT_EQ(Names(list),
              (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.gif"}));

    TempDir empty;
    folder.Show(empty.path());
    EXPECT_FALSE(folder.Confirm());  // "There is no image inside the folder."
    files.Show(empty.path(), "*.*");
    EXPECT_FALSE(files.Confirm());
}

TEST(NewNameDialog, ExtensionKeptOrChanged) {
    EXPECT_EQ(OldExtension("archive.tar.gz"), "gz");
    EXPECT_EQ(OldExtension("README"), "");
    EXPECT_EQ(PatternOfType("All Files(*.*)"), "*.*");

    const struct {
        const char* typed;
        const char* chosen;
        const char* old;
        NewNameCheck check;
        const char* name;
    } cases[] = {
        {"holiday", "JPG", "JPG", NewNameCheck::kOk, "holiday.JPG"},
        {"holiday", "jpg", "JPG", NewNameCheck::kExtensionChanged, "holiday.jpg"},
        {"holiday", "", "JPG", NewNameCheck::kExtensionChanged, "holiday."},
        {"notes", "", "", NewNameCheck::kOk, "notes"},
        {"", "JPG", "JPG", NewNameCheck::kEmptyName, ".JPG"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckNewName(c.typed, c.chosen, c.old), c.check) << c.typed << "." << c.chosen;
        EXPECT_EQ(ComposeNewName(c.typed, c.chosen, c.old), c.name) << c.typed << "." << c.chosen;
    }
}

}  // namespace
}  // namespace brindle

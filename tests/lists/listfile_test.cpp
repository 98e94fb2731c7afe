#include "lists/listfile.h"

#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/apperror.h"
#include "common/cp932.h"
#include "lists/editedlist.h"
#include "support/tempdir.h"

using common::StringList;
using testing::HasSubstr;
using testing::ThrowsMessage;

TEST(ListFile, AnyBreakStyleLoadsTheSameEntriesAndSavesAsCrLf) {
    TempDir dir;
    for (const char* bytes : {"a.jp\r\nb.jp\r\n", "a.jp\rb.jp\r", "a.jp\nb.jp\n", "a.jp\nb.jp"}) {
        const std::string p = dir.file("materia/DomeinList.dat", bytes);
        const StringList list = lists::loadList(p);
        EXPECT_EQ(list, (StringList{"a.jp", "b.jp"})) << bytes;
        lists::saveList(p, list);
        EXPECT_EQ(readFile(p), "a.jp\r\nb.jp\r\n");
    }
}

TEST(ListFile, EntriesAreKeptExactlyIncludingEmptyOnesAndBlanks) {
    TempDir dir;
    const std::string p = dir.file("l", " x \r\n\r\nX\r\n x \r\n\x83\x41\r\n");
    const StringList list = lists::loadList(p);
    EXPECT_EQ(list, (StringList{" x ", "", "X", " x ", "\x83\x41"}));
    lists::saveList(p, list);
    EXPECT_EQ(lists::loadList(p), list);
}

TEST(ListFile, TextAfterAZeroByteIsDroppedByTheNextSave) {
    TempDir dir;
    const std::string p = dir.file("l", std::string("a\r\nb\0hidden\r\nc\r\n", 17));
    EXPECT_EQ(lists::loadList(p), (StringList{"a", "b"}));
    lists::saveList(p, lists::loadList(p));
    EXPECT_EQ(readFile(p), "a\r\nb\r\n");
}

TEST(ListFile, EmptyListIsAZeroByteFileAndLoadsBackEmpty) {
    TempDir dir;
    const std::string p = dir.file("l", "x\r\n");
    lists::saveList(p, {});
    EXPECT_EQ(readFile(p), "");
    EXPECT_EQ(lists::loadList(p), StringList{});
}

TEST(ListFile, MissingFileGivesTheOpenErrorWithItsFullPath) {
    TempDir dir;
    const std::string p = dir.path() + "/materia/SERobotsList.dat";
    EXPECT_THAT([&] { lists::loadList(p); }, ThrowsMessage<common::AppError>(HasSubstr("\"" + p + "\". ")));
    EXPECT_THAT([&] { lists::saveList(p, {"a"}); },
                ThrowsMessage<common::AppError>(HasSubstr(common::cp932(u8"を作成できません"))));
}

// Two copies of the program, or the user's editor, change one file between a window's read and its
// save: every change is applied to the file as it is then.
TEST(EditedList, ChangesApplyToTheFileAsItIsNowNotAsItWasRead) {
    TempDir dir;
    const std::string p = dir.file("l", "a\n");
    lists::EditedList first(p), second(p);
    first.load();
    second.load();
    first.append("alpha");
    second.append("beta");
    EXPECT_EQ(readFile(p), "a\r\nalpha\r\nbeta\r\n");
    EXPECT_EQ(second.entries(), (StringList{"a", "alpha", "beta"}));
    EXPECT_EQ(first.entries(), (StringList{"a", "alpha"}));  // as last read, until its next change

    // first shows "alpha" at row 1; a line written in front of it by hand moves it to row 2.
    writeFile(p, "hand\r\na\r\nalpha\r\nbeta\r\n");
    first.remove(1);
    EXPECT_EQ(readFile(p), "hand\r\na\r\nbeta\r\n");
    EXPECT_EQ(first.entries(), (StringList{"hand", "a", "beta"}));
    // Removed elsewhere meanwhile: nothing more goes.
    second.remove(1);
    EXPECT_EQ(readFile(p), "hand\r\na\r\nbeta\r\n");
}

TEST(EditedList, EqualEntriesAreToldApartByTheirOrder) {
    TempDir dir;
    const std::string p = dir.file("l", "d\r\nx\r\nd\r\n");
    lists::EditedList list(p);
    list.load();
    writeFile(p, "new\r\nd\r\nx\r\nd\r\n");
    list.remove(2);  // the second "d"
    EXPECT_EQ(readFile(p), "new\r\nd\r\nx\r\n");
}

TEST(EditedList, AFailedWriteLeavesTheFileAndShowsWhatItHolds) {
    TempDir dir;
    const std::string p = dir.file("l", "a\r\n");
    lists::EditedList list(p);
    list.load();
    ::chmod(p.c_str(), 0444);
    EXPECT_THROW(list.append("b"), common::AppError);
    EXPECT_EQ(list.entries(), StringList{"a"});
    ::chmod(p.c_str(), 0644);
    list.append("b");
    EXPECT_EQ(readFile(p), "a\r\nb\r\n");  // once, not twice
}

TEST(UpdateList, AFileThatCannotBeReadIsNotWrittenAndAMissingOneIsCreated) {
    TempDir dir;
    const std::string unreadable = dir.path() + "/d";
    std::filesystem::create_directory(unreadable);
    EXPECT_THAT([&] { lists::updateList(unreadable, [](StringList& l) { l.push_back("x"); }); },
                ThrowsMessage<common::AppError>(HasSubstr(common::cp932(u8"は開けません"))));
    EXPECT_TRUE(std::filesystem::is_directory(unreadable));
    const std::string missing = dir.path() + "/new";
    EXPECT_EQ(lists::updateList(missing, [](StringList& l) { l.push_back("x"); }), StringList{"x"});
    EXPECT_EQ(readFile(missing), "x\r\n");
}

#include "lists/listfile.h"

#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/apperror.h"
#include "common/cp932.h"
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
    EXPECT_THAT([&] { lists::loadList(p); },
                ThrowsMessage<common::AppError>(HasSubstr("\"" + p + "\". ")));
    EXPECT_THAT([&] { lists::saveList(p, {"a"}); },
                ThrowsMessage<common::AppError>(HasSubstr(common::cp932(u8"を作成できません"))));
}

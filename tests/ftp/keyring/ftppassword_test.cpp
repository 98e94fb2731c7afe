// Where the dialog's password goes and where it comes back from, with a real keyring.
#include "ftp/keyring/ftppassword.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/apperror.h"
#include "ftp/keyring/keyring.h"
#include "support/keyringsession.h"

using testing::HasSubstr;
using testing::ThrowsMessage;

namespace {

TEST(FtpPassword, TheChoiceIsTheFirstLineOfItsFile) {
    TempDir dir;
    EXPECT_FALSE(keyring::keyringChosen(dir / "none"));
    EXPECT_TRUE(keyring::keyringChosen(dir.file("a", "keyring\r\n")));
    EXPECT_TRUE(keyring::keyringChosen(dir.file("b", "keyring\nlater lines\n")));
    EXPECT_FALSE(keyring::keyringChosen(dir.file("c", "file\r\n")));
    EXPECT_FALSE(keyring::keyringChosen(dir.file("d", " keyring\r\n")));
    EXPECT_FALSE(keyring::keyringChosen(dir.file("e", "")));
}

TEST(FtpPassword, WithoutTheKeyringNoChoiceFileIsMadeAndTheLineHoldsThePassword) {
    TempDir dir;
    const auto line = keyring::placePassword(dir / "choice", false, "host", "user", "secret");
    EXPECT_EQ(line.line, "secret");
    EXPECT_EQ(line.warning, "");
    EXPECT_EQ(readFile(dir / "choice"), "<missing>");
    // A line that holds a password is taken as it is, whatever the choice.
    EXPECT_EQ(keyring::loadPassword(false, "host", "user", "secret"), "secret");
    EXPECT_EQ(keyring::loadPassword(true, "host", "user", "secret"), "secret");
    EXPECT_EQ(keyring::loadPassword(false, "host", "user", ""), "");
}

TEST(FtpPassword, TheKeyringTakesThePasswordAndTheLineStaysEmptyUntilItIsLeft) {
    REQUIRE_KEYRING();
    TempDir dir;
    const std::string choice = dir / "choice";
    auto line = keyring::placePassword(choice, true, "127.0.0.1", "munya", "secret");
    EXPECT_EQ(line.line, "");
    EXPECT_EQ(line.warning, "");
    EXPECT_EQ(readFile(choice), "keyring\r\n");
    EXPECT_EQ(keyring::readPassword(keyring::ftpKey("127.0.0.1", "munya")), "secret");
    EXPECT_EQ(keyring::loadPassword(true, "127.0.0.1", "munya", ""), "secret");

    // Leaving the keyring: the password goes back into the line and the keyring forgets it.
    line = keyring::placePassword(choice, false, "127.0.0.1", "munya", "secret");
    EXPECT_EQ(line.line, "secret");
    EXPECT_EQ(readFile(choice), "file\r\n");
    EXPECT_EQ(keyring::readPassword(keyring::ftpKey("127.0.0.1", "munya")), std::nullopt);
}

TEST(FtpPassword, AChosenKeyringWithoutTheAccountsEntryNamesIt) {
    REQUIRE_KEYRING();
    EXPECT_THAT([] { keyring::loadPassword(true, "127.0.0.1", "nobody", ""); },
                ThrowsMessage<common::AppError>(HasSubstr("nobody@127.0.0.1")));
}

}  // namespace

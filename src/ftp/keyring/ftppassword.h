// Where the download dialog keeps the FTP password: the third line of FTPSetting.dat, as always, or,
// when the user chose so, the desktop's keyring, with that line left empty.
#pragma once
#include <string>

namespace keyring {

// The choice, a name in materia/: "keyring" on its first line, or "file". No file: the settings file.
// Kept apart from FTPSetting.dat, whose readers know four lines and the way of transfer after them.
inline constexpr const char* kPasswordPlace = "FTPPasswordPlace.dat";

// Whether the file at path chooses the keyring; a missing or unreadable file does not.
bool keyringChosen(const std::string& path);

// What saving the settings does with the password. The choice is written to choicePath first (only
// "file" is not written where no choice was ever made); with the keyring chosen, the password goes
// into it under the server's and account's entry. Returns the third line for FTPSetting.dat: empty
// when the keyring holds the password; the password itself when the keyring is not chosen or does
// not answer, in which case `warning` says why, so that nothing is lost. Leaving the keyring forgets
// the entry there. Throws the choice file's write error.
struct PasswordLine {
    std::string line;
    std::string warning;
};
PasswordLine placePassword(const std::string& choicePath, bool useKeyring, const std::string& server,
                           const std::string& account, const std::string& password);

// The password for the dialog's field: the third line when it holds one (a keyring that did not
// answer at the last save left it there), else the keyring's when it is chosen, else empty. Throws
// "キーリングを使えません: ..." when the keyring is chosen and does not answer, and "キーリングに
// ACCOUNT@SERVER のパスワードがありません" when it has no entry.
std::string loadPassword(bool keyringChosen, const std::string& server, const std::string& account,
                         const std::string& line);

}  // namespace keyring

// Passwords in the desktop's keyring, for the Qt-free programs: the part that talks to the keyring
// (munyaro-keyring.so, Qt and QtKeychain) is loaded on the first call, never at start.
#pragma once
#include <optional>
#include <string>

namespace keyring {

// Texts are code page 932 bytes; the keyring holds them as UTF-8, as its own window shows them.
// Each call returns when the keyring has answered (it may first ask the user to unlock it). Where no
// keyring answers (no D-Bus session, no Secret Service, the module or its libraries not installed),
// each throws common::AppError "キーリングを使えません: " followed by the reason.

// The password kept under key, or nothing when the keyring has no such entry.
std::optional<std::string> readPassword(const std::string& key);
// Keeps password under key, replacing what was there.
void storePassword(const std::string& key, const std::string& password);
// Forgets key's password; a key the keyring does not have is no error.
void removePassword(const std::string& key);

// The entry of an FTP login: the account at the server, "ftp:ACCOUNT@SERVER".
std::string ftpKey(const std::string& server, const std::string& account);

}  // namespace keyring

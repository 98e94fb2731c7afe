// What the download dialog keeps and computes without widgets: the settings file, the day's log
// date and the check of a typed file name.
#pragma once
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "common/stringlist.h"
#include "ftp/inetman.h"

namespace ftp {

// Server, account, password and remote directory, one a line; a name in materia/.
inline constexpr const char* kFtpSetting = "FTPSetting.dat";

// The lines of the settings file (CR LF, lone CR or lone LF; nothing trimmed). A file that cannot
// be read throws "ファイル "%s". %s は開けません".
common::StringList loadFtpSetting(const std::string& path);

// Line index (0-based) of a loaded file; a line that is not there throws the list's index error,
// which names that index.
const std::string& settingLine(const common::StringList& lines, std::size_t index);

// Writes every field followed by CR LF, atomically, readable by the owner only: the password is
// kept in plain text. A write-protected file is refused, not made writable. A symbolic link is
// written through: its target is replaced, atomically, in the target's directory.
void saveFtpSetting(const std::string& path, const common::StringList& fields);

// How to reach the server, kept after the four lines (where readers of four lines ignore it): line 5
// "ftp", "ftps" or "sftp", line 6 the port (empty: the way's own), line 7 "passive" or "active". A file
// of four lines means FTP on port 21, active.
struct TransferWay {
    Protocol protocol = Protocol::Ftp;
    std::string port;
    bool passive = false;
    bool operator==(const TransferWay&) const = default;
};
TransferWay transferWay(const common::StringList& lines);
// The four fields, then the way's three lines unless it is the plain default.
common::StringList withTransferWay(common::StringList fields, const TransferWay& way);
// 22 for SFTP, 21 otherwise.
int defaultPort(Protocol protocol);
// The port a typed text names: empty gives the way's own; anything but 1 to 65535 gives 0.
int portNumber(const std::string& text, Protocol protocol);

// yyyymmdd of date, or of the day before when timeOfDay is before 04:00:00: a log is still
// growing in the small hours, so the complete one is yesterday's.
std::string logDate(std::chrono::year_month_day date, std::chrono::milliseconds timeOfDay);

// A file name alone: not empty, not "." or "..", without "/" or "\". Checked on the name as the
// file system sees it (UTF-8), where no character hides a "\" in its second byte.
bool isPlainFileName(std::string_view utf8Name);

}  // namespace ftp

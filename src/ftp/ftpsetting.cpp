// The download dialog's settings file, log date and file-name check.
#include "ftp/ftpsetting.h"

#include <cstdio>
#include <sys/stat.h>

#include "common/apperror.h"
#include "common/cp932.h"
#include "common/fileio.h"
#include "ftp/namepattern.h"

namespace ftp {

common::StringList loadFtpSetting(const std::string& path) { return common::splitLines(common::readWholeFile(path)); }

const std::string& settingLine(const common::StringList& lines, std::size_t index) {
    if (index >= lines.size()) {
        static const std::string pattern = common::cp932(u8"リストのインデックスが範囲を超えています (%s)");
        throw common::AppError(common::formatMessage(pattern, {std::to_string(index)}));
    }
    return lines[index];
}

void saveFtpSetting(const std::string& path, const common::StringList& fields) {
    // The atomic write keeps an existing file's permissions; a shipped or older file may be readable
    // by all, so take that away first. Without the owner's write bit it stays as it is and the write
    // below refuses it.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) != 0 &&
        (st.st_mode & 077) != 0) {
        ::chmod(path.c_str(), st.st_mode & 0700);
    }
    common::saveLines(path, fields, 0600);
}

TransferWay transferWay(const common::StringList& lines) {
    TransferWay way;
    if (lines.size() > 4) {
        if (lines[4] == "ftps") way.protocol = Protocol::Ftps;
        if (lines[4] == "sftp") way.protocol = Protocol::Sftp;
    }
    if (lines.size() > 5) way.port = lines[5];
    if (lines.size() > 6) way.passive = lines[6] == "passive";
    return way;
}

common::StringList withTransferWay(common::StringList fields, const TransferWay& way) {
    if (way == TransferWay{}) return fields;
    static const char* const names[] = {"ftp", "ftps", "sftp"};
    fields.push_back(names[static_cast<int>(way.protocol)]);
    fields.push_back(way.port);
    fields.push_back(way.passive ? "passive" : "active");
    return fields;
}

int defaultPort(Protocol protocol) { return protocol == Protocol::Sftp ? 22 : 21; }

int portNumber(const std::string& text, Protocol protocol) {
    if (text.empty()) return defaultPort(protocol);
    if (text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
    const int port = std::stoi(text);
    return port >= 1 && port <= 65535 ? port : 0;
}

std::string logDate(std::chrono::year_month_day date, std::chrono::milliseconds timeOfDay) {
    using namespace std::chrono;
    date = proposedDay(date, timeOfDay);
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02u%02u", int(date.year()), unsigned(date.month()), unsigned(date.day()));
    return text;
}

bool isPlainFileName(std::string_view utf8Name) {
    return !utf8Name.empty() && utf8Name != "." && utf8Name != ".." &&
           utf8Name.find_first_of("/\\") == std::string_view::npos;
}

}  // namespace ftp

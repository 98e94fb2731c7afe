// Standard output that a failed command takes back.
#include "cli/output.h"

#include <cstdio>
#include <fcntl.h>
#include <stdio_ext.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "common/apperror.h"
#include "common/cp932.h"

namespace cli {

StdoutGuard::StdoutGuard() {
    std::fflush(stdout);
    struct stat st {};
    if (fstat(STDOUT_FILENO, &st) != 0 || !S_ISREG(st.st_mode)) return;
    // A file opened for appending is written at its end, wherever its offset stands now.
    const int flags = fcntl(STDOUT_FILENO, F_GETFL);
    start_ = flags >= 0 && (flags & O_APPEND) ? st.st_size : lseek(STDOUT_FILENO, 0, SEEK_CUR);
}

void StdoutGuard::rollback() {
    __fpurge(stdout);
    if (start_ < 0) return;
    if (ftruncate(STDOUT_FILENO, start_) == 0) lseek(STDOUT_FILENO, start_, SEEK_SET);
}

bool StdoutGuard::flush() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }

void printError(std::string_view cp932Message) {
    std::fprintf(stderr, "%s\n", common::utf8FromCp932(common::withPeriod(cp932Message)).c_str());
}

std::string terminalSafe(std::string_view utf8Text) {
    std::string s;
    s.reserve(utf8Text.size());
    for (std::size_t i = 0; i < utf8Text.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8Text[i]);
        if (c < 0x20 || c == 0x7F) {
            s += "\xEF\xBF\xBD";
        } else if (c == 0xC2 && i + 1 < utf8Text.size() && static_cast<unsigned char>(utf8Text[i + 1]) < 0xA0) {
            s += "\xEF\xBF\xBD";
            ++i;
        } else {
            s += static_cast<char>(c);
        }
    }
    return s;
}

}  // namespace cli

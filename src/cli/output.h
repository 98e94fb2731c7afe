// Standard output that a failed command takes back: a report redirected into a file is either whole
// or not there at all (a pipe or a terminal keeps what it already got).
#pragma once
#include <string>
#include <string_view>
#include <sys/types.h>

namespace cli {

class StdoutGuard {
public:
    // Remembers where standard output's file stands now.
    StdoutGuard();
    // Drops what is still buffered and cuts a regular file back to where it stood.
    void rollback();
    // Flushes; false when a write failed.
    static bool flush();

private:
    off_t start_ = -1;
};

// Log text made safe for a terminal: control characters (C0, DEL and C1) become U+FFFD.
std::string terminalSafe(std::string_view utf8Text);

// Prints a message (code page 932) on stderr as UTF-8, after the error box's "." rule.
void printError(std::string_view cp932Message);

}  // namespace cli

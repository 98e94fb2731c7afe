// The part file a download is written to before it takes the place of its target.
#pragma once
#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

#include "common/fileio.h"

namespace ftp {

// "." + the target's name + ".part" + six random letters or digits, beside the target; written
// through common::AtomicFile, so removed unless committed and locked while the download runs.
class PartFile {
public:
    // received counts the bytes written.
    PartFile(const std::string& target, std::atomic<long long>& received);

    bool opened() const { return file_.opened(); }
    int openError() const { return file_.openError(); }
    // errno of the write that failed, 0 while none did.
    int writeErrno() const { return writeErrno_; }

    // libcurl's write callback; a short count ends the transfer with a write error.
    static std::size_t write(char* data, std::size_t size, std::size_t count, void* self);

    // Flushes the file and puts it in place of the target (a replaced log keeps its permissions,
    // a new one gets the umask's); 0 or the errno of the failure.
    int commit();

private:
    std::string target_;
    std::atomic<long long>& received_;
    common::AtomicFile file_;
    int writeErrno_ = 0;
};

// Whether name is one a part file is given.
bool isPartName(std::string_view name);

// Removes the part files that downloads of this program left in dir when the program was killed
// during a transfer; those of a download still running (locked by it) stay.
void removeStalePartFiles(const std::string& dir);

}  // namespace ftp

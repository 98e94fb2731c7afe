// Whole-file reads and atomic whole-file writes.
#include "common/fileio.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "common/apperror.h"
#include "common/cp932.h"

namespace common {

namespace {

struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

const std::string& notRegular() {
    static const std::string s = cp932(u8"通常のファイルではありません");
    return s;
}

}  // namespace

std::string fullPath(const std::string& path) {
    std::error_code ec;
    auto p = std::filesystem::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

void throwOpenError(const std::string& path, std::string_view description) {
    throw AppError(formatMessage(msg::cannotOpen(), {pathText(fullPath(path)), description}));
}

void throwOpenError(const std::string& path, int err) { throwOpenError(path, pathText(std::strerror(err))); }

std::string readWholeFile(const std::string& path) { return std::string(readFileBytes(path).view()); }

void throwOutOfMemory(const std::string& path) { throwOpenError(path, msg::outOfMemory()); }

namespace {

void refuseIfNotRegular(const std::string& path, const struct stat& st) {
    if (S_ISDIR(st.st_mode)) throwOpenError(path, EISDIR);
    if (!S_ISREG(st.st_mode)) throwOpenError(path, notRegular());
}

}  // namespace

ByteBuffer readFileBytes(const std::string& path) {
    // Opening a device can act on it (a tape rewinds), so what is no regular file is refused unopened.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throwOpenError(path, errno);
    refuseIfNotRegular(path, st);
    // O_NONBLOCK: should the path have become a FIFO since, opening it must not wait for a writer.
    Fd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (f.fd < 0) throwOpenError(path, errno);
    if (::fstat(f.fd, &st) != 0) throwOpenError(path, errno);
    refuseIfNotRegular(path, st);
    try {
        // A log still being written is read as it was when opened, so the read ends even while the
        // writer goes on. A file that reports no size (some kernel files do) is read to its end.
        const auto size = static_cast<std::size_t>(st.st_size);
        const std::size_t limit = size > 0 ? size : static_cast<std::size_t>(-1);
        ByteBuffer data(size);
        std::size_t have = 0;
        while (have < limit) {
            if (have == data.size()) data.resize(data.size() + data.size() / 2 + 65536);
            const ssize_t n = ::read(f.fd, data.data() + have, std::min(data.size(), limit) - have);
            if (n < 0) {
                if (errno == EINTR) continue;
                throwOpenError(path, errno);
            }
            if (n == 0) break;  // shrunk meanwhile: what is there
            have += static_cast<std::size_t>(n);
        }
        data.resize(have);
        return data;
    } catch (const std::bad_alloc&) {
        throwOutOfMemory(path);
    }
}

void writeFileAtomic(const std::string& path, std::string_view bytes, unsigned mode) {
    auto createError = [&](int err) {
        return AppError(formatMessage(msg::cannotCreate(), {pathText(fullPath(path)), pathText(std::strerror(err))}));
    };
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists) {
        // A read-only file is not replaced, even though its directory would allow the rename; the
        // write bit counts even for root, who may write anything.
        if (::access(path.c_str(), W_OK) != 0) throw createError(errno);
        if ((st.st_mode & S_IWUSR) == 0) throw createError(EACCES);
        mode = st.st_mode & 07777;
    }
    std::string tmp = path + ".tmpXXXXXX";
    Fd f(::mkostemp(tmp.data(), O_CLOEXEC));
    if (f.fd < 0) throw createError(errno);
    auto discard = [&] { ::unlink(tmp.c_str()); };
    ::fchmod(f.fd, mode);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(f.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            discard();
            throw AppError(msg::writeError());
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(f.fd) != 0) {
        discard();
        throw AppError(msg::writeError());
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        discard();
        throw createError(err);
    }
}

}  // namespace common

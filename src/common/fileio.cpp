// Whole-file reads and atomic whole-file writes.
#include "common/fileio.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
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

AppError createError(const std::string& path, int err) {
    return AppError(formatMessage(msg::cannotCreate(), {pathText(fullPath(path)), pathText(std::strerror(err))}));
}

void closeFile(int fd) noexcept { ::close(fd); }

std::string readWholeFile(const std::string& path) { return std::string(readFileBytes(path).view()); }

void throwOutOfMemory(const std::string& path) { throwOpenError(path, msg::outOfMemory()); }

namespace {

void refuseIfNotRegular(const std::string& path, const struct stat& st) {
    if (S_ISDIR(st.st_mode)) throwOpenError(path, EISDIR);
    if (!S_ISREG(st.st_mode)) throwOpenError(path, notRegular());
}

}  // namespace

namespace {

ByteBuffer loadFileBytes(const std::string& path, bool map) {
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
        if (map && size > 0)
            if (const char* p = mapFile(f.fd, size))
                return ByteBuffer::mapped(p, size, ::fcntl(f.fd, F_DUPFD_CLOEXEC, 0));
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

}  // namespace

ByteBuffer readFileBytes(const std::string& path) { return loadFileBytes(path, false); }
ByteBuffer mapFileBytes(const std::string& path) { return loadFileBytes(path, true); }

std::string linkTarget(const std::string& path) {
    std::string current = path;
    // A bounded number of hops, as the system itself allows: a loop of links ends here too.
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX), '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n <= 0) return current;
        target.resize(static_cast<std::size_t>(n));
        if (target.front() != '/') {
            const auto slash = current.rfind('/');
            if (slash != std::string::npos) target = current.substr(0, slash + 1) + target;
        }
        current = std::move(target);
    }
    return current;
}

namespace {

// A write that falls short names the file and why; a full disk in words of its own.
AppError writeFailure(const std::string& path, int err) {
    const std::string file = pathText(fullPath(path));
    if (err == ENOSPC || err == EDQUOT) return AppError(cp932(u8"ディスクがいっぱいです: ") + file);
    return AppError(msg::writeError() + ": " + file + " (" + pathText(std::strerror(err)) + ")");
}

constexpr std::string_view kTemporaryInfix = ".tmp";
constexpr std::size_t kTemporarySuffix = kTemporaryInfix.size() + 6;  // mkostemp's six letters or digits

bool isTemporaryName(std::string_view name) {
    if (name.size() <= kTemporarySuffix) return false;
    const std::string_view tail = name.substr(name.size() - kTemporarySuffix);
    if (tail.substr(0, kTemporaryInfix.size()) != kTemporaryInfix) return false;
    return std::all_of(tail.begin() + kTemporaryInfix.size(), tail.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    });
}

}  // namespace

void writeFileAtomic(const std::string& path, std::string_view bytes, unsigned mode) {
    // Through a symbolic link the file it names is replaced, and the link stays: the temporary file
    // goes beside the target, since a rename cannot cross file systems.
    const std::string target = linkTarget(path);
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists) {
        // A read-only file is not replaced, even though its directory would allow the rename; the
        // write bit counts even for root, who may write anything.
        if (::access(target.c_str(), W_OK) != 0) throw createError(path, errno);
        if ((st.st_mode & S_IWUSR) == 0) throw createError(path, EACCES);
        mode = st.st_mode & 07777;
    }
    const auto slash = target.rfind('/');
    removeUnlockedFiles(slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash), isTemporaryName);
    AtomicFile file(target + std::string(kTemporaryInfix) + "XXXXXX");
    if (!file.opened()) throw createError(path, file.openError());
    file.setMode(mode);
    if (const int err = file.write(bytes)) throw writeFailure(path, err);
    if (const int err = file.flush()) throw writeFailure(path, err);
    if (const int err = file.replace(target)) throw createError(path, err);
}

AtomicFile::AtomicFile(std::string nameTemplate) : path_(std::move(nameTemplate)) {
    fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
    created_ = fd_ >= 0;
    if (!created_) openError_ = errno;
    else ::flock(fd_, LOCK_EX | LOCK_NB);
}

AtomicFile::~AtomicFile() {
    if (created_ && !committed_) ::unlink(path_.c_str());
    if (fd_ >= 0) ::close(fd_);
}

int AtomicFile::write(std::string_view bytes) noexcept {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int AtomicFile::setMode(unsigned mode) noexcept { return ::fchmod(fd_, mode) == 0 ? 0 : errno; }

int AtomicFile::flush() noexcept { return ::fsync(fd_) == 0 ? 0 : errno; }

int AtomicFile::replace(const std::string& target) noexcept {
    if (::rename(path_.c_str(), target.c_str()) != 0) return errno;
    committed_ = true;
    return 0;
}

int AtomicFile::close() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0 ? 0 : errno;
}

void removeUnlockedFiles(const std::string& dir, const std::function<bool(std::string_view)>& isLeftOver) {
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return;
    while (const dirent* e = ::readdir(d)) {
        if (!isLeftOver(e->d_name)) continue;
        const std::string path = dir + "/" + e->d_name;
        Fd f(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat held {};
        struct stat named {};
        // Unlocked means no writer holds it; the name must still be this file when it goes.
        if (f.fd >= 0 && ::fstat(f.fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
            ::flock(f.fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(path.c_str(), &named) == 0 &&
            named.st_ino == held.st_ino && named.st_dev == held.st_dev)
            ::unlink(path.c_str());
    }
    ::closedir(d);
}

FileLock::FileLock(const std::string& path, std::chrono::milliseconds wait) {
    // The directory is locked, not the file: the file is replaced by a rename, so a lock on it
    // would stay with the old one. A directory that cannot be opened is left to the write to report.
    const std::string target = linkTarget(path);
    const auto slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EINTR) continue;
        if (err != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
            ::close(fd_);
            fd_ = -1;
            throw createError(path, err);
        }
        // Another program holds it for the moment of one write; look again shortly.
        ::usleep(10000);
    }
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

}  // namespace common

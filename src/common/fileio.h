// Whole-file reads and atomic whole-file writes with the program's messages.
#pragma once
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "common/apperror.h"
#include "common/bigmemory.h"

namespace common {

// Bytes in one block that is never zero-filled: a log of hundreds of megabytes is read into it directly,
// or mapped from its file (read-only then; resizing makes a copy of its own).
void closeFile(int fd) noexcept;

class ByteBuffer {
public:
    ByteBuffer() = default;
    explicit ByteBuffer(std::size_t size) { resize(size); }
    // Takes over a mapping made by mapFile, and the open file it maps (-1: none), which it closes.
    static ByteBuffer mapped(const char* p, std::size_t size, int file = -1) {
        ByteBuffer b;
        b.data_ = const_cast<char*>(p);
        b.size_ = b.capacity_ = size;
        b.mapped_ = true;
        b.file_ = file;
        return b;
    }
    // Takes over size bytes at p of a block that bigFree(p, capacity) frees (capacity >= size).
    static ByteBuffer adopt(char* p, std::size_t size, std::size_t capacity) {
        ByteBuffer b;
        b.data_ = p;
        b.size_ = size;
        b.capacity_ = capacity;
        return b;
    }
    bool isMapped() const { return mapped_; }
    // The file a mapping maps from its start, open for reading; -1 when there is none.
    int file() const { return file_; }
    char* data() { return data_; }
    const char* data() const { return data_; }
    std::size_t size() const { return size_; }
    std::string_view view() const { return {data_, size_}; }
    ByteBuffer(ByteBuffer&& other) noexcept { swap(other); }
    ByteBuffer& operator=(ByteBuffer&& other) noexcept {
        ByteBuffer gone(std::move(other));
        swap(gone);
        return *this;
    }
    ~ByteBuffer() { release(); }
    // New bytes are left uninitialised. Throws std::bad_alloc when memory runs out.
    void resize(std::size_t size) {
        if (mapped_) {
            ByteBuffer copy(size);
            std::memcpy(copy.data_, data_, size < size_ ? size : size_);
            *this = std::move(copy);
            return;
        }
        if (size > capacity_) {
            data_ = static_cast<char*>(bigReallocate(data_, capacity_, size));
            capacity_ = size;
        }
        size_ = size;
    }

private:
    void release() noexcept {
        if (mapped_) unmapFile(data_, capacity_);
        else bigFree(data_, capacity_);
        if (file_ >= 0) closeFile(file_);
    }
    void swap(ByteBuffer& o) noexcept {
        std::swap(data_, o.data_);
        std::swap(size_, o.size_);
        std::swap(capacity_, o.capacity_);
        std::swap(mapped_, o.mapped_);
        std::swap(file_, o.file_);
    }
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    bool mapped_ = false;
    int file_ = -1;
};

// Reads the whole file into a ByteBuffer (see readWholeFile for what is refused and the error).
ByteBuffer readFileBytes(const std::string& path);
// The same, but a regular file with a size is mapped rather than copied (see mapFile).
ByteBuffer mapFileBytes(const std::string& path);

// Reads the whole file as bytes. Only a regular file is read: a directory, FIFO or device is refused
// before it is opened, never waited on. A file that is still being written is read as far as it
// reached when it was opened; one that shrinks meanwhile, as far as it goes. Failure throws
// "ファイル "%s". %s は開けません" with the full path, also when the file does not fit in memory
// (reason "メモリが足りません").
std::string readWholeFile(const std::string& path);

// Replaces the file by bytes: written to a temporary file beside it (beside the file a symbolic link
// names, which is replaced while the link stays), flushed, renamed over it, so the
// file is always either the old or the new one. A file that cannot be created or replaced (missing
// directory, read-only target) throws "ファイル "%s". %s を作成できません"; a short write throws
// "ディスクがいっぱいです: FILE" on a full disk (or quota), else "ストリームへの書き込みエラー: FILE (reason)",
// FILE the full path. mode is used for a newly created file; an existing file keeps its own. The
// temporary is "NAME.tmpXXXXXX", locked while it is written; those that a killed save left in the
// folder are removed by the next save into it.
void writeFileAtomic(const std::string& path, std::string_view bytes, unsigned mode = 0644);

// A file written piece by piece that takes the place of its target only when it is whole: a
// temporary file, locked while it is written (so that removeUnlockedFiles can tell it from one a
// killed program left behind), flushed and renamed over the target; removed unless it got there.
// The steps return 0 or the errno of their failure (ENOSPC for a write that wrote nothing).
// writeFileAtomic and the downloads' part files are both written through it.
class AtomicFile {
public:
    // Creates the temporary from nameTemplate, which ends in "XXXXXX" (mkostemp).
    explicit AtomicFile(std::string nameTemplate);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool opened() const { return created_; }
    int openError() const { return openError_; }
    const std::string& path() const { return path_; }

    int write(std::string_view bytes) noexcept;
    int setMode(unsigned mode) noexcept;
    int flush() noexcept;
    // Renames the temporary over target; the lock is held until the file has its name.
    int replace(const std::string& target) noexcept;
    int close() noexcept;

private:
    std::string path_;
    int fd_ = -1;
    int openError_ = 0;
    bool created_ = false;
    bool committed_ = false;
};

// Removes what a killed save or download left behind: the files of dir whose names isLeftOver
// accepts and that no writer holds locked (writers lock their temporaries while they write). Only
// the user's own regular files; one whose name changed meanwhile stays.
void removeUnlockedFiles(const std::string& dir, const std::function<bool(std::string_view)>& isLeftOver);

// The file that path names once symbolic links are followed (path itself when it is none).
std::string linkTarget(const std::string& path);

// An advisory lock that programs changing the files of one directory take in turn: held from
// construction to destruction. Waits up to wait for another holder; then throws the create error
// of path. Where the directory cannot be opened nothing is locked and the write reports the fault.
class FileLock {
public:
    explicit FileLock(const std::string& path, std::chrono::milliseconds wait = std::chrono::seconds(10));
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
};

// The path made absolute against the current directory (no symlink resolution).
std::string fullPath(const std::string& path);

// Throws the open error of path for errno value err.
[[noreturn]] void throwOpenError(const std::string& path, int err);
[[noreturn]] void throwOpenError(const std::string& path, std::string_view description);
// The create error of path for errno value err: "ファイル "%s". %s を作成できません".
AppError createError(const std::string& path, int err);
// The open error of a file whose content does not fit in memory.
[[noreturn]] void throwOutOfMemory(const std::string& path);

}  // namespace common

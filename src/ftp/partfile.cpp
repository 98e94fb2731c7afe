// Download part files, written through the common atomic file.
#include "ftp/partfile.h"

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace ftp {

namespace {

constexpr std::string_view kPartInfix = ".part";
constexpr std::size_t kPartSuffix = kPartInfix.size() + 6;

std::string partTemplate(const std::string& target) {
    const auto slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    // A target name near the file system's limit would make the part name too long: shorten it,
    // not cutting a UTF-8 character.
    long nameMax = ::pathconf(dir.empty() ? "." : dir.c_str(), _PC_NAME_MAX);
    if (nameMax <= 0) nameMax = NAME_MAX;
    const std::size_t room = static_cast<std::size_t>(nameMax) - 1 - kPartSuffix;
    if (base.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
        base.resize(cut);
    }
    return dir + "." + base + std::string(kPartInfix) + "XXXXXX";
}

}  // namespace

PartFile::PartFile(const std::string& target, std::atomic<long long>& received)
    : target_(target), received_(received), file_(partTemplate(target)) {}

std::size_t PartFile::write(char* data, std::size_t size, std::size_t count, void* self) {
    auto* part = static_cast<PartFile*>(self);
    const std::size_t total = size * count;
    if (const int err = part->file_.write({data, total})) {
        part->writeErrno_ = err;
        return 0;
    }
    part->received_ += static_cast<long long>(total);
    return total;
}

int PartFile::commit() {
    struct stat st {};
    mode_t mode;
    if (::stat(target_.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode = ::umask(0);
        ::umask(mode);
        mode = 0666 & ~mode;
    }
    if (const int err = file_.setMode(mode)) return err;
    if (const int err = file_.flush()) return err;
    if (const int err = file_.replace(target_)) return err;
    return file_.close();
}

bool isPartName(std::string_view name) {
    if (name.size() <= 1 + kPartSuffix || name.front() != '.') return false;
    const std::string_view tail = name.substr(name.size() - kPartSuffix);
    if (tail.substr(0, kPartInfix.size()) != kPartInfix) return false;
    for (const unsigned char c : tail.substr(kPartInfix.size()))
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

void removeStalePartFiles(const std::string& dir) { common::removeUnlockedFiles(dir, isPartName); }

}  // namespace ftp

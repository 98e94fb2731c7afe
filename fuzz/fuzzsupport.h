// What the fuzz targets share: a failed check that stops the run, and a scratch directory in memory.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

// A broken invariant is a finding: libFuzzer keeps the input when the process aborts.
#define FUZZ_CHECK(cond)                                                                  \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)

namespace fuzz {

// One directory per process, removed at exit, under $MUNYARO_FUZZ_SCRATCH (scripts/fuzz removes that
// after a crash too) or else on tmpfs where there is one: the targets write a few files per input.
inline const std::string& scratchDir() {
    // Never destroyed: the exit handler that removes the directory runs after static destructors.
    static const std::string* const dir = [] {
        const char* env = std::getenv("MUNYARO_FUZZ_SCRATCH");
        std::string base = env && *env ? env : "/dev/shm";
        if (::access(base.c_str(), W_OK) != 0) base = std::filesystem::temp_directory_path().string();
        auto* made = new std::string(base + "/munyaro-fuzz-XXXXXX");
        if (!::mkdtemp(made->data())) std::abort();
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(scratchDir(), ec);
        });
        return made;
    }();
    return *dir;
}

inline std::string writeScratch(const std::string& name, std::string_view bytes) {
    const std::string path = scratchDir() + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

inline std::string readScratch(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace fuzz

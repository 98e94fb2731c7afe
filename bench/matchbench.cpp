// The reference-list search on its own: the project's ListMatcher against Hyperscan, the same lists
// (1,000 entries each, as scripts/bench makes them) on the hosts, referrers and whole lines of a log.
//   munyaro-matchbench LOGFILE MATERIA_DIR
#include <hs/hs.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/listmatch.h"
#include "analysis/logfile.h"
#include "common/fileio.h"
#include "lists/listfile.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Hyperscan {
    hs_database_t* db = nullptr;
    hs_scratch_t* scratch = nullptr;
    explicit Hyperscan(const std::vector<std::string>& entries) {
        std::vector<const char*> texts;
        std::vector<std::size_t> lens;
        std::vector<unsigned> flags, ids;
        for (const auto& e : entries) {
            if (e.empty()) continue;
            texts.push_back(e.data());
            lens.push_back(e.size());
            flags.push_back(HS_FLAG_SINGLEMATCH);
            ids.push_back(static_cast<unsigned>(ids.size()));
        }
        hs_compile_error_t* err = nullptr;
        if (hs_compile_lit_multi(texts.data(), flags.data(), ids.data(), lens.data(),
                                 static_cast<unsigned>(texts.size()), HS_MODE_BLOCK, nullptr, &db,
                                 &err) != HS_SUCCESS) {
            std::fprintf(stderr, "hyperscan: %s\n", err->message);
            std::exit(1);
        }
        hs_alloc_scratch(db, &scratch);
    }
    // Number of entries found (each once).
    std::size_t count(std::string_view text, bool first) const {
        struct Ctx {
            std::size_t n;
            bool first;
        } ctx{0, first};
        hs_scan(
            db, text.data(), static_cast<unsigned>(text.size()), 0, scratch,
            [](unsigned, unsigned long long, unsigned long long, unsigned, void* c) -> int {
                auto* x = static_cast<Ctx*>(c);
                ++x->n;
                return x->first ? 1 : 0;
            },
            &ctx);
        return ctx.n;
    }
};

template <class F>
double time(F f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: munyaro-matchbench LOGFILE MATERIA_DIR\n");
        return 2;
    }
    const auto log = analysis::loadLog(argv[1]);
    const std::string dir = argv[2];
    std::vector<std::string_view> hosts, referrers, lines;
    for (std::size_t i = 0; i < log->size(); ++i) {
        const std::string_view l = (*log)[i];
        lines.push_back(l);
        hosts.push_back(l.substr(0, l.find(' ')));
        const std::size_t s = l.find("\" ", l.find("] \""));
        const std::size_t r = l.find(" \"", s == std::string_view::npos ? 0 : s + 1);
        const std::size_t e = l.find("\" \"", r == std::string_view::npos ? 0 : r + 2);
        if (r != std::string_view::npos && e != std::string_view::npos && e > r)
            referrers.push_back(l.substr(r + 2, e - r - 2));
    }
    struct Case {
        const char* name;
        const char* file;
        const std::vector<std::string_view>* texts;
        bool first;
    } cases[] = {{"watched domains x hosts (count)", "CheckDomeinList.dat", &hosts, false},
                 {"own domains x referrers (any)", "DomeinList.dat", &referrers, true},
                 {"robot strings x lines (any)", "SERobotsList.dat", &lines, true}};
    for (const Case& c : cases) {
        const auto entries = lists::loadList(dir + "/" + c.file);
        const analysis::ListMatcher mine(entries);
        const Hyperscan hs(entries);
        std::size_t a = 0, b = 0;
        double best[2] = {1e9, 1e9};
        for (int run = 0; run < 5; ++run) {
            a = b = 0;
            best[0] = std::min(best[0], time([&] {
                                   for (auto t : *c.texts) a += c.first ? mine.any(t) : mine.count(t);
                               }));
            best[1] = std::min(best[1], time([&] {
                                   for (auto t : *c.texts) b += hs.count(t, c.first);
                               }));
        }
        std::size_t bytes = 0;
        for (auto t : *c.texts) bytes += t.size();
        std::printf(
            "%-34s %zu entries, %zu texts of %.1f bytes: ListMatcher %.1f ms, Hyperscan %.1f ms (%zu / %zu found)\n",
            c.name, entries.size(), c.texts->size(), static_cast<double>(bytes) / static_cast<double>(c.texts->size()),
            best[0] * 1e3, best[1] * 1e3, a, b);
    }
    return 0;
}

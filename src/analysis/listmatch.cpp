// Which entries of a list of byte strings occur in a text.
#include "analysis/listmatch.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#ifdef MUNYARO_HYPERSCAN
#include <hs/hs.h>
#endif

namespace analysis {

#ifdef MUNYARO_HYPERSCAN
struct ListMatcher::Library {
    hs_database_t* db = nullptr;
    std::uint64_t serial = 0;  // tells a thread's scratch space which databases it fits
    ~Library() { hs_free_database(db); }
};
#else
struct ListMatcher::Library {};
#endif

bool ListMatcher::libraryAvailable() {
#ifdef MUNYARO_HYPERSCAN
    static const bool ok = hs_valid_platform() == HS_SUCCESS;
    return ok;
#else
    return false;
#endif
}

namespace {

// Two bytes as one table index (in the machine's byte order: the tables are built the same way).
inline std::uint32_t block(const char* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// The patterns found so far in one scan, each reported once however often it occurs.
class Found {
public:
    bool insert(std::uint32_t id) {
        for (std::size_t i = 0; i < n_; ++i)
            if (ids_[i] == id) return false;
        if (n_ < kInline) {
            ids_[n_++] = id;
            return true;
        }
        if (std::find(more_.begin(), more_.end(), id) != more_.end()) return false;
        more_.push_back(id);
        return true;
    }

private:
    static constexpr std::size_t kInline = 16;
    std::uint32_t ids_[kInline];
    std::size_t n_ = 0;
    std::vector<std::uint32_t> more_;
};

}  // namespace

ListMatcher::ListMatcher(const std::vector<std::string>& entries, std::uint32_t groups) {
    for (const auto& e : entries) add(e, groups);
    build();
}

void ListMatcher::add(std::string_view entry, std::uint32_t groups) {
    if (entry.empty() || groups == 0) return;
    const auto [at, added] = index_.try_emplace(std::string(entry), static_cast<std::uint32_t>(patterns_.size()));
    if (!added) {
        patterns_[at->second].groups |= groups;
        ++patterns_[at->second].times;
        return;
    }
    patterns_.push_back(Pattern{std::string(entry), groups, 1});
}

void ListMatcher::build() {
    index_.clear();
    minLength_ = static_cast<std::size_t>(-1);
    allGroups_ = 0;
    for (const auto& p : patterns_) {
        minLength_ = std::min(minLength_, p.text.size());
        allGroups_ |= p.groups;
    }
    const auto count = static_cast<std::uint32_t>(patterns_.size());

    oneByte_.assign(256, 0);
    twoBytes_.clear();
    short_.clear();
    window_ = static_cast<std::size_t>(-1);
    hasShort_ = hasLong_ = false;
    for (std::uint32_t id = 0; id < count; ++id) {
        const std::string& t = patterns_[id].text;
        if (t.size() == 1) {
            oneByte_[static_cast<unsigned char>(t[0])] = id + 1;
            hasShort_ = true;
        } else if (t.size() <= 3) {
            const std::uint32_t b = block(t.data());
            if (twoBytes_.empty()) twoBytes_.assign(65536 / 64, 0);
            twoBytes_[b / 64] |= std::uint64_t(1) << (b % 64);
            short_.push_back(ShortEntry{b, id});
            hasShort_ = true;
        } else {
            window_ = std::min(window_, t.size());
            hasLong_ = true;
        }
    }
    std::sort(short_.begin(), short_.end(), [](const ShortEntry& a, const ShortEntry& b) { return a.block < b.block; });

    shift_.clear();
    prefixSlots_.clear();
    prefixIds_.clear();
    buildLibrary();
    if (!hasLong_) return;
    // A block ending at j (0-based, within the window) of some entry allows a jump of window - 1 - j.
    shift_.assign(65536, static_cast<std::uint8_t>(std::min<std::size_t>(window_ - 1, 255)));
    prefixBytes_ = std::min<std::size_t>(window_, 64);
    std::vector<std::pair<std::uint64_t, std::uint32_t>> byPrefix;
    for (std::uint32_t id = 0; id < count; ++id) {
        const std::string& t = patterns_[id].text;
        if (t.size() < 4) continue;
        for (std::size_t j = 1; j < window_; ++j) {
            auto& s = shift_[block(t.data() + j - 1)];
            s = static_cast<std::uint8_t>(std::min<std::size_t>(s, window_ - 1 - j));
        }
        byPrefix.emplace_back(prefixKey(t.data()), id);
    }
    // Entries often share their ends ("www." ... ".jp", "Bot/"), so they are told apart by a hash of
    // their whole window (up to 64 bytes): only entries with the same window are then tried one by one.
    std::sort(byPrefix.begin(), byPrefix.end());
    std::size_t slots = 16;
    while (slots < byPrefix.size() * 2) slots *= 2;
    prefixSlots_.assign(slots, PrefixSlot{0, 0, 0});
    prefixIds_.reserve(byPrefix.size());
    for (std::size_t i = 0; i < byPrefix.size();) {
        const std::uint64_t key = byPrefix[i].first;
        const auto begin = static_cast<std::uint32_t>(prefixIds_.size());
        for (; i < byPrefix.size() && byPrefix[i].first == key; ++i) prefixIds_.push_back(byPrefix[i].second);
        std::size_t at = slotOf(key);
        while (prefixSlots_[at].end != 0) at = (at + 1) & (slots - 1);
        prefixSlots_[at] = PrefixSlot{key, begin, static_cast<std::uint32_t>(prefixIds_.size())};
    }
}

void ListMatcher::buildLibrary() {
    library_.reset();
#ifdef MUNYARO_HYPERSCAN
    if (patterns_.empty() || !libraryAvailable()) return;
    std::vector<const char*> texts;
    std::vector<std::size_t> lengths;
    std::vector<unsigned> flags, ids;
    for (std::uint32_t id = 0; id < patterns_.size(); ++id) {
        texts.push_back(patterns_[id].text.data());
        lengths.push_back(patterns_[id].text.size());
        flags.push_back(HS_FLAG_SINGLEMATCH);  // each entry is reported once per text, as a scan counts it
        ids.push_back(id);
    }
    auto library = std::make_shared<Library>();
    hs_compile_error_t* error = nullptr;
    if (hs_compile_lit_multi(texts.data(), flags.data(), ids.data(), lengths.data(),
                             static_cast<unsigned>(texts.size()), HS_MODE_BLOCK, nullptr, &library->db,
                             &error) != HS_SUCCESS) {
        // The search of our own finds the same; it only takes longer.
        hs_free_compile_error(error);
        return;
    }
    static std::atomic<std::uint64_t> serials{0};
    library->serial = ++serials;
    library_ = std::move(library);
#endif
}

#ifdef MUNYARO_HYPERSCAN
namespace {

// Hyperscan's scratch space of this thread, made to fit the database (grown once per database).
hs_scratch_t* scratchFor(const hs_database_t* db, std::uint64_t serial) {
    thread_local struct Scratch {
        hs_scratch_t* space = nullptr;
        std::vector<std::uint64_t> fits;
        ~Scratch() { hs_free_scratch(space); }
    } scratch;
    if (std::find(scratch.fits.begin(), scratch.fits.end(), serial) == scratch.fits.end()) {
        if (hs_alloc_scratch(db, &scratch.space) != HS_SUCCESS) throw std::bad_alloc();
        if (scratch.fits.size() >= 64) scratch.fits.clear();
        scratch.fits.push_back(serial);
    }
    return scratch.space;
}

}  // namespace
#endif

std::size_t ListMatcher::scanWithLibrary(std::string_view text, Stop stop, std::uint32_t group) const {
    std::size_t result = initialResult(stop);
#ifdef MUNYARO_HYPERSCAN
    struct Context {
        const ListMatcher* self;
        Stop stop;
        std::uint32_t group;
        std::size_t* result;
    } context{this, stop, group, &result};
    // Texts longer than 4 GB are searched by our own search.
    hs_scan(
        library_->db, text.data(), static_cast<unsigned>(text.size()), 0, scratchFor(library_->db, library_->serial),
        [](unsigned id, unsigned long long, unsigned long long, unsigned, void* c) -> int {
            auto* x = static_cast<Context*>(c);
            return x->self->report(id, x->stop, x->group, *x->result) ? 1 : 0;
        },
        &context);
#else
    (void)text;
    (void)group;
#endif
    return result;
}

static_assert(sizeof(std::size_t) >= 8, "a scan's result holds the groups and an id side by side");

std::size_t ListMatcher::initialResult(Stop stop) {
    return stop == Stop::GroupsAndLowest ? std::uint64_t(kNoId) << 32 : 0;
}

bool ListMatcher::report(std::uint32_t id, Stop stop, std::uint32_t group, std::size_t& result) const {
    const Pattern& pat = patterns_[id];
    switch (stop) {
        case Stop::First: result = 1; return true;
        case Stop::Never: result += pat.times; return false;
        case Stop::AllGroups: result |= pat.groups; return result == allGroups_;
        case Stop::GroupsAndLowest:
            result |= pat.groups;
            if ((pat.groups & group) && id < (result >> 32))
                result = (std::uint64_t(id) << 32) | (result & 0xffffffffu);
            return false;
    }
    return false;
}

std::uint64_t ListMatcher::prefixKey(const char* p) const {
    std::uint64_t h = prefixBytes_;
    std::size_t i = 0;
    for (; i + 8 <= prefixBytes_; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
    }
    if (i < prefixBytes_) {
        std::uint64_t w = 0;
        std::memcpy(&w, p + i, prefixBytes_ - i);
        h = (h ^ w) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
    }
    return h;
}

std::size_t ListMatcher::slotOf(std::uint64_t key) const {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & (prefixSlots_.size() - 1);
}

std::uint32_t ListMatcher::groups(std::string_view text, std::uint32_t group, std::string_view& first) const {
    first = {};
    if (text.size() < minLength_) return 0;
    const std::uint64_t r = scan(text, Stop::GroupsAndLowest, group);
    if (const std::uint64_t id = r >> 32; id != kNoId) first = patterns_[id].text;
    return static_cast<std::uint32_t>(r);
}

std::size_t ListMatcher::scan(std::string_view text, Stop stop, std::uint32_t group) const {
    if (library_ && text.size() >= libraryFrom_ && text.size() <= 0xffffffffu)
        return scanWithLibrary(text, stop, group);
    const char* p = text.data();
    const std::size_t n = text.size();
    // Distinct entries are numbered in the order the list first holds them.
    std::size_t result = initialResult(stop);
    Found found;
    // Reports pattern id once; true when the scan can stop.
    auto report = [&](std::uint32_t id) { return found.insert(id) && this->report(id, stop, group, result); };

    if (hasShort_) {
        for (std::size_t i = 0; i < n; ++i) {
            if (const std::uint32_t one = oneByte_[static_cast<unsigned char>(p[i])]; one && report(one - 1))
                return result;
            if (i + 1 >= n) break;
            const std::uint32_t b = block(p + i);
            if (twoBytes_.empty() || !(twoBytes_[b / 64] >> (b % 64) & 1)) continue;
            auto k = std::lower_bound(short_.begin(), short_.end(), b,
                                      [](const ShortEntry& e, std::uint32_t v) { return e.block < v; });
            for (; k != short_.end() && k->block == b; ++k) {
                const std::string& t = patterns_[k->id].text;
                if ((t.size() == 2 || (i + 2 < n && p[i + 2] == t[2])) && report(k->id)) return result;
            }
        }
    }

    if (!hasLong_ || n < window_) return result;
    const std::uint8_t* shift = shift_.data();
    for (std::size_t end = window_ - 1; end < n;) {
        const std::uint32_t b = block(p + end - 1);
        if (const std::uint8_t s = shift[b]) {
            end += s;
            continue;
        }
        const std::size_t start = end + 1 - window_;
        const std::uint64_t key = prefixKey(p + start);
        for (std::size_t at = slotOf(key); prefixSlots_[at].end != 0; at = (at + 1) & (prefixSlots_.size() - 1)) {
            const PrefixSlot& slot = prefixSlots_[at];
            if (slot.key != key) continue;
            for (std::uint32_t k = slot.begin; k < slot.end; ++k) {
                const std::string& t = patterns_[prefixIds_[k]].text;
                if (t.size() <= n - start && std::memcmp(p + start, t.data(), t.size()) == 0 && report(prefixIds_[k]))
                    return result;
            }
            break;
        }
        ++end;
    }
    return result;
}

}  // namespace analysis

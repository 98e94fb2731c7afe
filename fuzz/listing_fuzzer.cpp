// A server's directory listing on any bytes: every entry's name comes from the text, a usable name
// can never leave the folder, and what is shown carries no control byte.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzzsupport.h"
#include "ftp/remotelist.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::chrono::sys_seconds now{std::chrono::seconds(1733700000)};
    const auto entries = ftp::parseListing(text, now);
    std::int64_t previous = INT64_MAX;
    bool dated = true;
    for (const auto& e : entries) {
        FUZZ_CHECK(text.find(e.name) != std::string_view::npos);
        // Lines end at LF; a CR inside a line stays in the name, which is then no usable one.
        FUZZ_CHECK(e.name.find('\n') == std::string::npos);
        if (e.name.find('\r') != std::string::npos) FUZZ_CHECK(!e.usable);
        if (e.usable) {
            FUZZ_CHECK(!e.name.empty() && e.name.size() <= 255 && e.name != "." && e.name != "..");
            FUZZ_CHECK(e.name.find_first_of("/\\") == std::string::npos);
        }
        for (const char c : ftp::shownName(e.name))
            FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
        // Newest first, the undated last.
        FUZZ_CHECK(dated || !e.hasTime);
        if (e.hasTime) FUZZ_CHECK(e.time <= previous);
        if (e.hasTime) previous = e.time;
        dated = e.hasTime;
        FUZZ_CHECK(e.size >= -1);
        ftp::shownTime(e);
    }
    return 0;
}

// The list-file loader on any bytes, and a load-save-load round trip that must keep every entry.
#include <cstdint>
#include <string>
#include <string_view>

#include "common/stringlist.h"
#include "fuzzsupport.h"
#include "lists/listfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string path = fuzz::writeScratch("materia/DomeinList.dat", bytes);

    const common::StringList list = lists::loadList(path);
    FUZZ_CHECK(list == common::splitLines(bytes));
    std::size_t total = 0;
    for (const auto& entry : list) {
        FUZZ_CHECK(entry.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
        total += entry.size();
    }
    FUZZ_CHECK(total <= size);

    // Saved as the list manager saves it, the file reads back to the same entries, and saving those
    // again gives the same bytes.
    lists::saveList(path, list);
    const std::string saved = fuzz::readScratch(path);
    FUZZ_CHECK(saved == common::joinLines(list));
    FUZZ_CHECK(saved.size() == total + 2 * list.size());
    const common::StringList again = lists::loadList(path);
    FUZZ_CHECK(again == list);
    lists::saveList(path, again);
    FUZZ_CHECK(fuzz::readScratch(path) == saved);

    // Index-of finds every entry at or before its own position.
    for (std::size_t i = 0; i < list.size() && i < 64; ++i) {
        const auto at = common::indexOf(list, list[i]);
        FUZZ_CHECK(at && *at <= i);
    }
    return 0;
}

// A reference list as the list manager edits it.
#include "lists/editedlist.h"

#include <algorithm>

#include "common/apperror.h"
#include "lists/listfile.h"

namespace lists {

void EditedList::load() {
    try {
        entries_ = loadList(path_);
    } catch (const common::AppError&) {
        entries_.clear();
        throw;
    }
}

template <class Edit>
void EditedList::change(Edit edit) {
    try {
        entries_ = updateList(path_, edit);
    } catch (...) {
        // Show what the file holds now, whatever the failure; a file that cannot be read shows empty.
        try {
            entries_ = loadList(path_);
        } catch (const common::AppError&) {
            entries_.clear();
        }
        throw;
    }
}

void EditedList::append(std::string entry) {
    change([&](common::StringList& list) { list.push_back(entry); });
}

void EditedList::remove(std::optional<std::size_t> row) {
    if (!row || *row >= entries_.size()) {
        change([](common::StringList&) {});
        return;
    }
    // Equal entries are told apart by their order: the window's k-th "x" is the file's k-th "x",
    // however many other lines were added or removed meanwhile; if the file has fewer, its last.
    const std::string shown = entries_[*row];
    const auto nth = std::count(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(*row), shown);
    change([&](common::StringList& list) {
        std::ptrdiff_t seen = 0;
        auto pick = list.end();
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (*it != shown) continue;
            pick = it;
            if (seen++ == nth) break;
        }
        if (pick != list.end()) list.erase(pick);
    });
}

}  // namespace lists

// One reference list as the list manager edits it: its entries and whether its file was ever read.
#pragma once
#include <cstddef>
#include <string>

#include "common/stringlist.h"

namespace lists {

// The entries are kept as the file's bytes, so a save writes back exactly what was read, also for
// bytes that have no Unicode form and could not survive a trip through a list box.
class EditedList {
public:
    explicit EditedList(std::string path) : path_(std::move(path)) {}

    // Reads the file. A missing file leaves the list empty and usable (the first save creates the
    // file); a file that exists but cannot be read leaves it locked. Either failure throws the open
    // error, so the user hears of it.
    void load();

    // Makes the list ready for a change. A locked list tries its file again: true when that read
    // succeeded and the entries were replaced; the open error is thrown when it still fails, so a
    // file the window never read is never written over.
    bool prepareChange();

    void append(std::string entry) { entries_.push_back(std::move(entry)); }
    void removeAt(std::size_t row) { entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(row)); }

    // Writes every entry to the file (atomically: on failure the file is the old one).
    void save();

    const common::StringList& entries() const { return entries_; }
    const std::string& path() const { return path_; }
    bool locked() const { return state_ == State::Unreadable; }

private:
    enum class State { Read, Missing, Unreadable };
    std::string path_;
    common::StringList entries_;
    State state_ = State::Missing;
};

}  // namespace lists

// One reference list as the list manager edits it: what its file held when last read or written.
#pragma once
#include <cstddef>
#include <optional>
#include <string>

#include "common/stringlist.h"

namespace lists {

// The entries are kept as the file's bytes, so a save writes back exactly what was read, also for
// bytes that have no Unicode form and could not survive a trip through a list box.
//
// Every change is made to the file as it is at that moment, not to the entries read earlier: another
// running copy of the program, or the user with an editor, may have changed it since. Whether a
// change succeeds or fails, entries() afterwards is what the file holds, so the window never shows
// an entry that is not saved, and trying again cannot add it twice.
class EditedList {
public:
    explicit EditedList(std::string path) : path_(std::move(path)) {}

    // Reads the file. A failure leaves the list empty and throws the open error, so the user hears
    // of it; a missing file is created by the first change.
    void load();

    // Adds entry at the end of the file's list.
    void append(std::string entry);

    // Removes the entry shown at row (none: nothing is removed, but the file is still rewritten in
    // its regular form). If the file changed meanwhile, the same text is removed where it now is;
    // if it is gone already, nothing.
    void remove(std::optional<std::size_t> row);

    const common::StringList& entries() const { return entries_; }
    const std::string& path() const { return path_; }

private:
    template <class Edit>
    void change(Edit edit);

    std::string path_;
    common::StringList entries_;
};

}  // namespace lists

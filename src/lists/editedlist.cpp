// A reference list as the list manager edits it.
#include "lists/editedlist.h"

#include <cerrno>
#include <sys/stat.h>

#include "common/apperror.h"
#include "lists/listfile.h"

namespace lists {

void EditedList::load() {
    try {
        entries_ = loadList(path_);
        state_ = State::Read;
    } catch (const common::AppError&) {
        // Only a file that is not there holds nothing to lose; anything else (a directory in its
        // place, a file the user may not read) might hold entries.
        struct stat st {};
        const bool missing = ::stat(path_.c_str(), &st) != 0 && errno == ENOENT;
        state_ = missing ? State::Missing : State::Unreadable;
        entries_.clear();
        throw;
    }
}

bool EditedList::prepareChange() {
    if (state_ != State::Unreadable) return false;
    try {
        load();
    } catch (const common::AppError&) {
        // Gone meanwhile: nothing left to lose, so the change may go ahead on the empty list.
        if (state_ != State::Missing) throw;
    }
    return true;
}

void EditedList::save() {
    saveList(path_, entries_);
    state_ = State::Read;
}

}  // namespace lists

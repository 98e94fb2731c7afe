// Opening the history file: checks, moving a damaged or foreign file aside, the schema and its
// forward migrations.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "history/sqlite.h"

namespace history {

// Opens path ready for use at the current schema version. notes receives what had to be done to a
// file that could not be used (code page 932). Throws AppError with the user's message.
std::unique_ptr<Database> openHistory(const std::string& path, std::vector<std::string>& notes);

// Moves a history found damaged in use aside, as opening does; the user's message saying so.
std::string moveDamagedAside(const std::string& path);

// Applies the schema steps after the file's version, up to upTo, in one transaction.
void migrate(Database& db, int upTo);

// The user's message for a failed SQLite call on the history at path (code page 932).
std::string historyMessage(const SqliteError& e, const std::string& path);

}  // namespace history

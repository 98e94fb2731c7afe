// munyaro-cli fetch --list and --days: the host's folder and the days missed.
#pragma once
#include <atomic>
#include <string>

#include "ftp/inetman.h"

namespace cli {

// Prints the files of dir newest first, one a line: date, size (or "-"), name (escaped). 0 listed,
// 1 not (reason on stderr; a listing cut off prints what came and fails).
int printListing(ftp::TFtpManager& manager, const std::string& dir);

struct DaysOptions {
    std::string dir;      // remote folder (code page 932)
    std::string pattern;  // name pattern (code page 932)
    int days = 1;
    std::string outDir;
    bool record = false;  // analyse each fetched day into the history
    std::string materia;  // for the record: the lists and the history beside them; empty: the default
};

// Fetches the days that end with today's proposed day (the 04:00 rule), a line for each on stdout,
// the summary on stderr; interrupted stops it cleanly. 0 when every day came (or was there), 1 when
// some failed.
int fetchDaysCommand(ftp::TFtpManager& manager, const DaysOptions& options, const std::atomic<bool>& interrupted);

}  // namespace cli

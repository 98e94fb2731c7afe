// Log lines for the history's tests: a line at a given time, and logs from lines.
#pragma once
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "analysis/logcounting.h"
#include "analysis/logfile.h"
#include "history/dayfigures.h"

namespace historytest {

// A combined-format line at "DD/Mon/YYYY:HH:MM:SS".
inline std::string line(const std::string& host, const std::string& when, const std::string& request = "GET /",
                        int status = 200, const std::string& agent = "Mozilla/5.0", int bytes = 100) {
    return host + " - - [" + when + " +0900] \"" + request + " HTTP/1.1\" " + std::to_string(status) + " " +
           std::to_string(bytes) + " \"-\" \"" + agent + "\"";
}

inline std::string join(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

inline std::shared_ptr<const analysis::LogText> logOf(const std::string& text) {
    return analysis::logFromBytes(std::string_view(text), "log");
}

inline const analysis::ReferenceLists& noLists() {
    static const analysis::ReferenceLists lists({}, {}, {});
    return lists;
}

inline history::LogDays daysOf(const std::string& text, const analysis::ReferenceLists& lists = noLists(),
                               unsigned threads = 1) {
    return history::splitIntoDays(logOf(text), lists, threads);
}

// "DD/Dec/2026:HH:MM:SS" for day d of December 2026 and second s of the day.
inline std::string at(int d, int s) {
    char out[32];
    std::snprintf(out, sizeof out, "%02d/Dec/2026:%02d:%02d:%02d", d, s / 3600, s / 60 % 60, s % 60);
    return out;
}

}  // namespace historytest

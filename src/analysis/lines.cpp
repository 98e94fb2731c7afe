// Pane contents as read-only line sequences.
#include "analysis/lines.h"

#include "analysis/logline.h"

namespace analysis {

Lines makeLines(common::StringList lines) { return std::make_shared<OwnedLines>(std::move(lines)); }

void EntryList::appendLine(std::size_t i, std::string& out) const {
    const Entry& e = entries_[i];
    const std::string_view line = (*log_)[e.line];
    const std::string_view a = line.substr(e.aOff, e.aLen);
    const std::string_view b = line.substr(e.bOff, e.bLen);
    switch (e.form) {
        case EntryForm::Whole:
            out += line;
            break;
        case EntryForm::Span:
            out += a;
            break;
        case EntryForm::TimeSpan:
            out.append(ExtractTime(line)).append(" ").append(a);
            break;
        case EntryForm::TimeRefPath:
            out.append(ExtractTime(line)).append(" [").append(a).append("] ").append(b);
            break;
        case EntryForm::RefPath:
            out.append("[").append(a).append("] ").append(b);
            break;
        case EntryForm::Robot:
            out.append("*").append(ExtractHost(line)).append(" ").append(ExtractTime(line));
            out.append(" [").append(a).append("] ").append(b);
            break;
        case EntryForm::RobotsFile:
            out.append(ExtractHost(line)).append(" ").append(ExtractTime(line)).append(" ").append(a);
            break;
        case EntryForm::TimeHostSpan:
            out.append(ExtractTime(line)).append(" ").append(ExtractHost(line)).append(" ").append(a);
            break;
    }
}

common::StringList toStringList(const LineSource& lines) {
    common::StringList out;
    out.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) out.push_back(lines.line(i));
    return out;
}

}  // namespace analysis

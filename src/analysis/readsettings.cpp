// The window's log reading settings file.
#include "analysis/readsettings.h"

#include <filesystem>
#include <string_view>

#include "common/fileio.h"
#include "common/stringlist.h"

namespace analysis {

namespace {

constexpr std::string_view kFormat = "format=", kSkip = "skip-bad-lines=", kClient = "client-from=";

common::StringList readLines(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return {};
    return common::splitLines(common::readWholeFile(path));
}

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

}  // namespace

ReadSettings loadReadSettings(const std::string& path) {
    ReadSettings settings;
    for (const std::string& line : readLines(path)) {
        const std::string_view l = line;
        if (startsWith(l, kFormat)) settings.layout = layoutNamed(l.substr(kFormat.size()));
        else if (startsWith(l, kSkip)) settings.skipBadLines = l.substr(kSkip.size()) == "1";
        else if (startsWith(l, kClient)) settings.clientFromForwarded = l.substr(kClient.size()) == "forwarded";
    }
    return settings;
}

void saveReadSettings(const std::string& path, const ReadSettings& settings) {
    std::string text;
    text.append(kFormat).append(settings.layout ? settings.layout->name() : "auto").append("\n");
    text.append(kSkip).append(settings.skipBadLines ? "1" : "0").append("\n");
    text.append(kClient).append(settings.clientFromForwarded ? "forwarded" : "address").append("\n");
    for (const std::string& line : readLines(path))
        if (!startsWith(line, kFormat) && !startsWith(line, kSkip) && !startsWith(line, kClient) && !line.empty())
            text.append(line).append("\n");
    common::writeFileAtomic(path, text, 0600);
}

}  // namespace analysis

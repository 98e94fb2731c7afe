// A log written by strangers: paths, referrers, agents and hosts that try to break out of HTML and
// to run as spreadsheet formulas, analysed into a ReportRecord.
#pragma once
#include <ctime>
#include <string>

#include "analysis/logcounting.h"
#include "common/apperror.h"
#include "report/reportrecord.h"
#include "support/tempdir.h"

namespace hostile {

// Strings a test looks for: none of them may reach the page unescaped.
inline const std::string kScript = "<script>document.documentElement.setAttribute('data-pwned','1')</script>";
inline const std::string kImg = "\"><img src=x onerror=\"document.documentElement.setAttribute('data-pwned','2')\">";
inline const std::string kTitle = "</title><script>document.title='pwned'</script>";
inline const std::string kJavascript = "javascript:alert(document.cookie)";

inline std::string line(const std::string& host, const std::string& hour, const std::string& request,
                        const std::string& status, const std::string& referrer, const std::string& agent) {
    return host + " - - [07/Dec/2026:" + hour + ":00:00 +0900] \"" + request + "\" " + status + " 100 \"" + referrer +
           "\" \"" + agent + "\"\r\n";
}

inline std::string log() {
    std::string s;
    s += line("10.0.0.1", "10", "GET /" + kScript + " HTTP/1.1", "200", "http://evil.example/" + kImg, kTitle);
    s += line("10.0.0.2", "11", "GET " + kJavascript + " HTTP/1.1", "404", kJavascript, "Bot/" + kScript);
    s += line("=1+1", "12", "GET =HYPERLINK(\"http://evil.example\",\"x\") HTTP/1.1", "200", "-", "@SUM(1+1)");
    s += line("+10.0.0.4", "12", "GET -2+3 HTTP/1.1", "403", "-", "-cmd");
    s += line("@10.0.0.5", "13", "POST /a,b\"c HTTP/1.1", "404", "=cmd|' /C calc'!A0", "agent\twith tab");
    s += line("10.0.0.6", "13", "GET /robots.txt HTTP/1.1", "200", "-", "Bot/1.0 " + kTitle);
    return s;
}

// The hostile log analysed with the robot string "Bot/" into a record; with the error, if any.
struct Analysed {
    TempDir dir;
    std::string logPath;
    report::ReportRecord record;
    Analysed() {
        dir.file("materia/DomeinList.dat", "mysite\r\n");
        dir.file("materia/SERobotsList.dat", "Bot/\r\n");
        dir.file("materia/CheckDomeinList.dat", "=1\r\n");
        logPath = dir.file("logs/access_" + kScript.substr(0, 8) + ".log", log());
        record.begin(logPath, std::time_t(1765000000));
        analysis::LogCounting(logPath, record, analysis::AnalysisOptions{dir.path() + "/materia"});
    }
};

}  // namespace hostile

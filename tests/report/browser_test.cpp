// The report in a real browser: Debian's headless Chromium renders it, loads nothing from outside
// it, and runs none of the hostile log's scripts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

#include "report/hostilelog.h"
#include "report/htmlreport.h"
#include "support/tempdir.h"

using testing::HasSubstr;
using testing::Not;

namespace {

struct BrowserRun {
    int status;
    std::string out;  // standard output (the DOM with --dump-dom)
    std::string log;  // standard error (the console with --enable-logging)
};

// One Chromium run on a file; as root it needs --no-sandbox. Its own profile, no network services.
BrowserRun chromium(const TempDir& dir, const std::string& args, const std::string& file) {
    static int n = 0;
    const std::string profile = dir / ("profile" + std::to_string(++n));
    const std::string errFile = dir / ("stderr" + std::to_string(n));
    const std::string cmd = "timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run "
                            "--disable-background-networking --disable-component-update --disable-sync "
                            "--user-data-dir=" +
                            profile + " --enable-logging=stderr --v=0 " + args + " file://" + file + " 2>" + errFile;
    BrowserRun r{};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return {-1, "", "popen failed"};
    char buf[65536];
    std::size_t got;
    while ((got = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, got);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.log = readFile(errFile);
    return r;
}

constexpr const char* kViolation = "violates the following Content Security Policy directive";

}  // namespace

TEST(ReportInChromium, RendersOfflineAndRunsNoScriptFromTheLog) {
    hostile::Analysed a;
    TempDir dir;
    const std::string page = dir / "report.html";
    report::writeHtmlReport(a.record, page);

    const BrowserRun dom = chromium(dir, "--dump-dom", page);
    ASSERT_EQ(dom.status, 0) << dom.log;
    // The document as the browser built it: tables, the three charts, the panes.
    EXPECT_THAT(dom.out, HasSubstr("<table>"));
    EXPECT_THAT(dom.out, HasSubstr("<svg class=\"chart\""));
    EXPECT_THAT(dom.out, HasSubstr("class=\"bar\" data-hour=\"12\""));
    EXPECT_THAT(dom.out, HasSubstr("id=\"Image3\""));
    EXPECT_THAT(dom.out, HasSubstr("<details id=\"pane-RobotsLog\">"));
    EXPECT_THAT(dom.out, HasSubstr("&lt;script&gt;document.documentElement.setAttribute('data-pwned','1')"));
    // No script ran and no element came out of the log.
    EXPECT_THAT(dom.out, Not(HasSubstr("data-pwned=")));
    EXPECT_THAT(dom.out, Not(HasSubstr("<script")));
    EXPECT_THAT(dom.out, Not(HasSubstr("<img")));
    EXPECT_THAT(dom.out, HasSubstr("<title>むにゃろ レポート: access_&lt;script&gt;.log</title>"));
    // Nothing was blocked, so nothing was asked for.
    EXPECT_THAT(dom.log, Not(HasSubstr("Content Security Policy")));

    // The same check sees a request when a page makes one: one image from elsewhere is refused.
    std::string tampered = readFile(page);
    tampered.insert(tampered.find("<main>") + 6, "<img src=\"http://127.0.0.1:9/x.png\">");
    const std::string tamperedPage = dir / "tampered.html";
    writeFile(tamperedPage, tampered);
    const BrowserRun blocked = chromium(dir, "--dump-dom", tamperedPage);
    EXPECT_THAT(blocked.log, HasSubstr(kViolation));
    EXPECT_THAT(blocked.log, HasSubstr("http://127.0.0.1:9/x.png"));

    const std::string shot = dir / "report.png";
    const BrowserRun picture = chromium(dir, "--window-size=1000,1400 --screenshot=" + shot, page);
    ASSERT_EQ(picture.status, 0) << picture.log;
    const std::string png = readFile(shot);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_GT(png.size(), 10000u);
    EXPECT_THAT(picture.log, Not(HasSubstr("Content Security Policy")));
}

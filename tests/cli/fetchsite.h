// For the fetch tests: a server root holding dir/access_log, and a local folder with logs/ and
// materia/ (with empty lists, for --report) for munyaro-cli fetch to use.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "ftp/ftpserver.h"

class FetchSite : public testing::Test {
protected:
    void SetUp() override {
        ::mkdir((root / "dir").c_str(), 0755);
        ::mkdir((local / "logs").c_str(), 0755);
        ::mkdir((local / "materia").c_str(), 0755);
        ftptest::writeFile(
            root / "dir/access_log",
            "10.0.0.1 - - [10/Oct/2004:13:55:36 +0900] \"GET /index.html HTTP/1.1\" 200 2326 \"-\" \"Mozilla/4.0\"\n");
        for (const char* f : {"DomeinList.dat", "SERobotsList.dat", "CheckDomeinList.dat"})
            ftptest::writeFile(local / "materia/" + f, "");
    }
    // The options that name the server at port, its dir/ and the local folders.
    std::string common(int port, const std::string& user = "munya") const {
        return "--host 127.0.0.1 --user " + user + " --port " + std::to_string(port) + " --dir dir/ --out " +
               local / "logs" + " --materia " + local / "materia ";
    }

    ftptest::TempDir root;
    ftptest::TempDir local;
};

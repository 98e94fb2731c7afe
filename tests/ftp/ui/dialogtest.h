// The download dialog in a temporary program directory with materia/ and logs/ (made the current
// one), beside a server root holding dir/access_log_20040105; what the dialog hands to analysis.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ftp/ftpserver.h"
#include "ftp/ui/tftp.h"

class DownloadDialogTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(::getcwd(oldDir_, sizeof oldDir_), nullptr);
        ::mkdir((program / "materia").c_str(), 0755);
        ::mkdir((program / "logs").c_str(), 0755);
        ::mkdir((root / "dir").c_str(), 0755);
        ftptest::writeFile(root / "dir/access_log_20040105", "1.2.3.4 - - line\r\n");
        ASSERT_EQ(::chdir(program.path().c_str()), 0);
        dialog.setLogCounting([this](const std::string& path) {
            analysed.push_back(path);
            analysedContent = ftptest::readFile(path);
        });
    }
    void TearDown() override { ASSERT_EQ(::chdir(oldDir_), 0); }

    ftptest::TempDir program;
    ftptest::TempDir root;
    TFTP dialog;
    std::vector<std::string> analysed;
    std::string analysedContent;  // of the last one

private:
    char oldDir_[4096];
};

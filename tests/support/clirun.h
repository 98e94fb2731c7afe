// munyaro-cli run as the program it is, for the command tests: its exit status, stdout and stderr.
#pragma once
#include <cstdio>
#include <string>
#include <sys/wait.h>

#include "support/tempdir.h"

struct Result {
    int status;
    std::string out;
    std::string err;
};

// Runs munyaro-cli with args through the shell, after the shell commands in before.
inline Result cli(const std::string& args, const std::string& before = "") {
    TempDir tmp;
    const std::string errFile = tmp.path() + "/err";
    const std::string cmd = before + std::string(MUNYARO_BIN_DIR) + "/munyaro-cli " + args + " 2>" + errFile;
    Result r{};
    FILE* p = popen(cmd.c_str(), "r");
    char buf[65536];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    FILE* e = fopen(errFile.c_str(), "r");
    while ((n = fread(buf, 1, sizeof buf, e)) > 0) r.err.append(buf, n);
    fclose(e);
    return r;
}

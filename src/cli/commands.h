// The subcommands of munyaro-cli; each takes its own arguments (argv[0] is the subcommand's name).
#pragma once

namespace cli {

int runReport(int argc, char** argv);
const char* reportUsage();

int runDecode(int argc, char** argv);
const char* decodeUsage();

int runFetch(int argc, char** argv);
const char* fetchUsage();

}  // namespace cli

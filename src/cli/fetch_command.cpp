// munyaro-cli fetch: the download dialog's transfer for scripts and cron, never asking anything.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "cli/argparser.h"
#include "cli/commands.h"
#include "cli/fetchdays.h"
#include "common/cp932.h"
#include "common/fileio.h"
#include "common/programdir.h"
#include "common/stringlist.h"
#include "ftp/ftpsetting.h"
#include "ftp/inetman.h"
#include "ftp/keyring/ftppassword.h"
#include "ftp/namepattern.h"
#include "ftp/partfile.h"
#include "ftp/serverkey.h"

namespace cli {

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) { interrupted = true; }

// The component's texts are code page 932; the terminal gets UTF-8.
void say(const std::string& cp932) {
    std::fprintf(stderr, "munyaro-cli fetch: %s\n", common::utf8FromCp932(cp932).c_str());
}

// A command-line text (UTF-8) as the component takes it, or nothing when a character has no
// Shift-JIS form and would silently become "?".
std::optional<std::string> cp932Arg(const std::string& utf8) {
    std::string bytes = common::cp932FromUtf8(utf8);
    if (common::utf8FromCp932(bytes) != utf8) return std::nullopt;
    return bytes;
}

// The password the window kept in the keyring for user at host (UTF-8), or nothing, having said why.
std::optional<std::string> keyringPassword(const std::string& host, const std::string& user) {
    const auto server = cp932Arg(host), account = cp932Arg(user);
    if (!server || !account) {
        std::fprintf(stderr, "munyaro-cli fetch: a character of the host or user has no Shift-JIS form\n");
        return std::nullopt;
    }
    try {
        return common::utf8FromCp932(keyring::loadPassword(true, *server, *account, ""));
    } catch (const std::exception& e) {
        say(e.what());
        return std::nullopt;
    }
}

}  // namespace

const char* fetchUsage() {
    return "  munyaro-cli fetch [--protocol ftp|ftps|sftp] [--port N] [--passive] [--binary] --host HOST\n"
           "                   --user USER [--password-file FILE] [--dir REMOTE_DIR] [--out DIR]\n"
           "                   [--materia DIR] [--trust SHA256:...] [--report] NAME\n"
           "  munyaro-cli fetch ... --list\n"
           "  munyaro-cli fetch ... --days N [--pattern P] [--record]\n"
           "\n"
           "    Downloads NAME (from REMOTE_DIR, joined to it with one \"/\") into DIR\n"
           "    (default: the window's logs/) as the FTP window does. The password is the first\n"
           "    line of FILE (readable by its owner only: chmod 600), else the environment variable\n"
           "    MUNYARO_PASSWORD; never an argument.\n"
           "      --password-keyring  the password the FTP window kept in the desktop's keyring for\n"
           "                   USER at HOST; where the keyring does not answer or has none, FILE or\n"
           "                   MUNYARO_PASSWORD if given, else a failure\n"
           "      --protocol   ftp (default; active unless --passive), ftps (explicit TLS, passive),\n"
           "                   sftp (binary)\n"
           "      --port N     default 21, or 22 for sftp\n"
           "      --binary     FTP/FTPS binary type instead of ASCII\n"
           "      --materia    where the trusted keys are kept (ftps_pins, known_hosts; default:\n"
           "                   the window's materia/)\n"
           "      --trust FP   trusts a server key not known yet if its fingerprint is FP (printed\n"
           "                   by a failed run); a key that changed is always refused\n"
           "      --report     analyses the download afterwards as `report` does\n"
           "      --list       prints REMOTE_DIR's files newest first: date, size, name (\"-\" where\n"
           "                   the server gives none; \"! \" before a name no local file may take)\n"
           "      --days N     fetches (binary) the N days (1-31) that end with the day proposed now\n"
           "                   (before 04:00: yesterday), named by P (default access_log_%Y%m%d; also\n"
           "                   %y %j %b %%), over one connection; a day already in DIR with the\n"
           "                   listed size is left alone, one only there as NAME.gz is fetched so\n"
           "      --record     with --days: analyses each fetched day into the history\n"
           "    Exit status: 0 downloaded (and analysed; every day came), 1 failed (reason, or the days that\n"
           "    failed, on stderr), 2 wrong usage.\n";
}

namespace {

struct FetchArgs {
    ftp::Protocol protocol = ftp::Protocol::Ftp;
    std::string portText, host, user, passwordFile, dir, trust, name, pattern{ftp::kDefaultNamePattern}, daysText;
    bool list = false, record = false, passive = false, binary = false, report = false, fromKeyring = false;
    bool haveHost = false, haveUser = false;
    std::string materia, outDir;  // default: the window's folders, materia/ and logs/ of the data folder
    bool materiaGiven = false;
    int days = 0;  // read from daysText by the check
    int port = 0;  // read from portText by the check

    FetchArgs() {
        materia = common::materiaDir();
        outDir = materia.substr(0, materia.rfind('/') + 1) + "logs";
    }
};

ArgParser fetchParser(FetchArgs& a) {
    ArgParser p("fetch", fetchUsage());
    auto text = [](std::string& field, bool* given = nullptr) {
        return [&field, given](const std::string& v) {
            field = v;
            if (given) *given = true;
            return std::string();
        };
    };
    auto set = [](bool& field) { return [&field] { return field = true, std::string(); }; };
    p.help()
        .value("--protocol",
               [&a](const std::string& v) -> std::string {
                   if (v == "ftp") a.protocol = ftp::Protocol::Ftp;
                   else if (v == "ftps") a.protocol = ftp::Protocol::Ftps;
                   else if (v == "sftp") a.protocol = ftp::Protocol::Sftp;
                   else return "unknown protocol '" + v + "'";
                   return {};
               })
        .value("--port", text(a.portText))
        .value("--host", text(a.host, &a.haveHost))
        .value("--user", text(a.user, &a.haveUser))
        .value("--password-file", text(a.passwordFile))
        .value("--dir", text(a.dir))
        .value("--out", text(a.outDir))
        .value("--trust", text(a.trust))
        .value("--materia", text(a.materia, &a.materiaGiven))
        .value("--days", text(a.daysText))
        .value("--pattern", text(a.pattern))
        .flag("--passive", set(a.passive))
        .flag("--binary", set(a.binary))
        .flag("--report", set(a.report))
        .flag("--password-keyring", set(a.fromKeyring))
        .flag("--list", set(a.list))
        .flag("--record", set(a.record))
        .operands([&a](const std::string& v) -> std::string {
            if (!a.name.empty()) return "only one NAME";
            a.name = v;
            return {};
        });
    return p;
}

// The usage errors of options that each read well alone; reads the number of days and the port.
std::string checkFetchArgs(FetchArgs& a) {
    if (!a.haveHost || !a.haveUser) return "--host and --user are needed";
    const bool several = a.list || !a.daysText.empty();
    if (!a.daysText.empty()) {
        a.days = static_cast<int>(digitsArg(a.daysText, 2).value_or(0));
        if (a.days < 1 || a.days > 31) return "--days must be 1 to 31";
    }
    if (a.list && a.days > 0) return "--list or --days, not both";
    if (a.record && a.days == 0) return "--record goes with --days";
    if (several && !a.name.empty()) return "no NAME with --list or --days";
    if (!several && a.name.empty()) return "NAME missing";
    if (!several && !ftp::isPlainFileName(a.name)) return "NAME must be a file name alone, without '/' or '\\'";
    if (a.passive && a.protocol == ftp::Protocol::Sftp) return "--passive is for ftp";
    a.port = ftp::portNumber(a.portText, a.protocol);
    if (a.port == 0) return "--port must be 1 to 65535";
    return {};
}

// The first line of the password file, or nothing, having said why.
std::optional<std::string> passwordFromFile(const std::string& path) {
    // As ssh refuses a private key that others may read: the password would be theirs too.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && (st.st_mode & 077) != 0) {
        std::fprintf(stderr,
                     "munyaro-cli fetch: %s: 他のユーザーも読み書きできるパスワードファイルは使いません。"
                     "chmod 600 %s としてください\n",
                     path.c_str(), path.c_str());
        return std::nullopt;
    }
    try {
        const common::StringList lines = common::splitLines(common::readWholeFile(path));
        return lines.empty() ? std::string() : lines.front();
    } catch (const std::exception& e) {
        say(e.what());
        return std::nullopt;
    }
}

// Finds the password (UTF-8): the keyring's if asked for, else the file's, else the environment's.
// The exit status when there is none to use.
std::optional<int> findPassword(const FetchArgs& a, const ArgParser& parser, std::string& password) {
    std::optional<std::string> kept;
    if (a.fromKeyring) {
        const bool otherwise = !a.passwordFile.empty() || std::getenv("MUNYARO_PASSWORD") != nullptr;
        kept = keyringPassword(a.host, a.user);
        if (!kept && !otherwise) return 1;
        if (!kept) say(common::cp932(u8"代わりに --password-file か MUNYARO_PASSWORD のパスワードを使います"));
    }
    if (kept) {
        password = *kept;
    } else if (!a.passwordFile.empty()) {
        const auto fromFile = passwordFromFile(a.passwordFile);
        if (!fromFile) return 1;
        password = *fromFile;
    } else if (const char* env = std::getenv("MUNYARO_PASSWORD")) {
        password = env;
    } else {
        return parser.usageError("no password: --password-file FILE or MUNYARO_PASSWORD");
    }
    return std::nullopt;
}

// Ctrl+C and SIGTERM stop the transfer cleanly, no part file staying behind, while this lives.
class InterruptCatcher {
public:
    InterruptCatcher() {
        struct sigaction action {};
        action.sa_handler = &onInterrupt;
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~InterruptCatcher() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
    }
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

// Downloads remote into local, trusting the server's new key first when it is the one named by --trust.
ftp::TransferResult download(ftp::TFtpManager& manager, const FetchArgs& a, const std::string& remote,
                             const std::string& local) {
    const InterruptCatcher catcher;
    auto once = [&] {
        ftp::Download running(manager, remote, local, a.binary);
        while (!running.finished()) {
            if (interrupted) running.cancel();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return running.result();
    };
    ftp::TransferResult result = once();
    if (result.key.status == ftp::ServerKey::Status::Unknown && !a.trust.empty() &&
        ftp::sameFingerprint(a.trust, result.key.fingerprint)) {
        ftp::trustKey(a.materia, result.key);
        result = once();
    }
    return result;
}

// Says why a download failed, and what to do about a server key not trusted.
void sayFailure(const ftp::TransferResult& result, const std::string& materia) {
    say(result.reason);
    if (result.key.status == ftp::ServerKey::Status::Unknown)
        std::fprintf(stderr, "munyaro-cli fetch: not trusted; to trust this server run again with --trust %s\n",
                     result.key.fingerprint.c_str());
    if (result.key.status == ftp::ServerKey::Status::Changed)
        std::fprintf(stderr,
                     "munyaro-cli fetch: refused; only if the server's key was really replaced, remove "
                     "its line from %s/%s and trust the new key\n",
                     materia.c_str(), result.key.ssh ? ftp::kKnownHosts : ftp::kPinFile);
}

// Analyses the downloaded log as `report` does, with the same reference lists.
int reportOn(const std::string& local, const FetchArgs& a) {
    std::vector<std::string> args{"report"};
    if (a.materiaGiven) args.insert(args.end(), {"--materia", a.materia});
    args.push_back(local);
    std::vector<char*> reportArgv;
    for (auto& arg : args) reportArgv.push_back(arg.data());
    return runReport(static_cast<int>(reportArgv.size()), reportArgv.data());
}

int fetch(const FetchArgs& a, const ArgParser& parser) {
    std::string password;
    if (const auto exit = findPassword(a, parser, password)) return *exit;
    const auto hostBytes = cp932Arg(a.host), userBytes = cp932Arg(a.user), passBytes = cp932Arg(password),
               remote = cp932Arg(ftp::remoteJoin(a.dir, a.name)), patternBytes = cp932Arg(a.pattern);
    if (!hostBytes || !userBytes || !passBytes || !remote || !patternBytes)
        return parser.usageError("a character of the host, user, password, directory or name has no Shift-JIS form");

    ftp::TFtpManager manager(a.materia);
    manager.setServerName(*hostBytes);
    manager.setUserName(*userBytes);
    manager.setPassWord(*passBytes);
    manager.setProtocol(a.protocol);
    manager.setPort(a.port);
    manager.setPassive(a.passive);

    ftp::removeStalePartFiles(a.outDir);
    if (a.list) return printListing(manager, *cp932Arg(a.dir));
    if (a.days > 0) {
        const InterruptCatcher catcher;
        return fetchDaysCommand(
            manager, {*cp932Arg(a.dir), *patternBytes, a.days, a.outDir, a.record, a.materiaGiven ? a.materia : ""},
            interrupted);
    }
    const std::string local = a.outDir + "/" + a.name;
    const ftp::TransferResult result = download(manager, a, *remote, local);
    if (!result.ok) {
        sayFailure(result, a.materia);
        return 1;
    }
    if (!a.report) {
        std::printf("%s\n", local.c_str());
        return 0;
    }
    return reportOn(local, a);
}

}  // namespace

int runFetch(int argc, char** argv) {
    FetchArgs args;
    const ArgParser parser = fetchParser(args);
    if (const auto exit = parser.parse(argc, argv)) return *exit;
    if (const std::string why = checkFetchArgs(args); !why.empty()) return parser.usageError(why);
    return fetch(args, parser);
}

}  // namespace cli

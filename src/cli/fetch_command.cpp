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

int runFetch(int argc, char** argv) {
    ftp::Protocol protocol = ftp::Protocol::Ftp;
    std::string portText, host, user, passwordFile, dir, trust, name, pattern(ftp::kDefaultNamePattern), daysText;
    bool list = false, record = false;
    // The window's folders: materia/ and logs/ of the data folder.
    const std::string pins = common::materiaFile(ftp::kPinFile);
    std::string materia = pins.substr(0, pins.rfind('/'));
    std::string outDir = materia.substr(0, materia.rfind('/') + 1) + "logs";
    bool passive = false, binary = false, report = false, materiaGiven = false, haveHost = false, haveUser = false,
         fromKeyring = false;
    auto usageError = [](const std::string& why) {
        std::fprintf(stderr, "munyaro-cli fetch: %s\nusage:\n%s", why.c_str(), fetchUsage());
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool takesValue = arg == "--protocol" || arg == "--port" || arg == "--host" || arg == "--user" ||
                                arg == "--password-file" || arg == "--dir" || arg == "--out" || arg == "--trust" ||
                                arg == "--materia" || arg == "--days" || arg == "--pattern";
        if (arg == "--help" || arg == "-h") {
            std::printf("usage:\n%s", fetchUsage());
            return 0;
        } else if (takesValue) {
            if (i + 1 >= argc) return usageError(arg + " needs a value");
            const std::string value = argv[++i];
            if (arg == "--protocol") {
                if (value == "ftp") protocol = ftp::Protocol::Ftp;
                else if (value == "ftps") protocol = ftp::Protocol::Ftps;
                else if (value == "sftp") protocol = ftp::Protocol::Sftp;
                else return usageError("unknown protocol '" + value + "'");
            } else if (arg == "--port") {
                portText = value;
            } else if (arg == "--host") {
                host = value, haveHost = true;
            } else if (arg == "--user") {
                user = value, haveUser = true;
            } else if (arg == "--password-file") {
                passwordFile = value;
            } else if (arg == "--dir") {
                dir = value;
            } else if (arg == "--out") {
                outDir = value;
            } else if (arg == "--trust") {
                trust = value;
            } else if (arg == "--days") {
                daysText = value;
            } else if (arg == "--pattern") {
                pattern = value;
            } else {
                materia = value, materiaGiven = true;
            }
        } else if (arg == "--passive") {
            passive = true;
        } else if (arg == "--binary") {
            binary = true;
        } else if (arg == "--report") {
            report = true;
        } else if (arg == "--password-keyring") {
            fromKeyring = true;
        } else if (arg == "--list") {
            list = true;
        } else if (arg == "--record") {
            record = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option '" + arg + "'");
        } else {
            if (!name.empty()) return usageError("only one NAME");
            name = arg;
        }
    }
    if (!haveHost || !haveUser) return usageError("--host and --user are needed");
    const bool several = list || !daysText.empty();
    int days = 0;
    if (!daysText.empty()) {
        days = daysText.size() <= 2 && daysText.find_first_not_of("0123456789") == std::string::npos
                   ? std::stoi(daysText)
                   : 0;
        if (days < 1 || days > 31) return usageError("--days must be 1 to 31");
    }
    if (list && days > 0) return usageError("--list or --days, not both");
    if (record && days == 0) return usageError("--record goes with --days");
    if (several && !name.empty()) return usageError("no NAME with --list or --days");
    if (!several && name.empty()) return usageError("NAME missing");
    if (!several && !ftp::isPlainFileName(name)) return usageError("NAME must be a file name alone, without '/' or '\\'");
    if (passive && protocol == ftp::Protocol::Sftp) return usageError("--passive is for ftp");
    const int port = ftp::portNumber(portText, protocol);
    if (port == 0) return usageError("--port must be 1 to 65535");

    std::string password;
    std::optional<std::string> kept;
    if (fromKeyring) {
        const bool otherwise = !passwordFile.empty() || std::getenv("MUNYARO_PASSWORD") != nullptr;
        kept = keyringPassword(host, user);
        if (!kept && !otherwise) return 1;
        if (!kept) say(common::cp932(u8"代わりに --password-file か MUNYARO_PASSWORD のパスワードを使います"));
    }
    if (kept) {
        password = *kept;
    } else if (!passwordFile.empty()) {
        // As ssh refuses a private key that others may read: the password would be theirs too.
        struct stat st {};
        if (::stat(passwordFile.c_str(), &st) == 0 && (st.st_mode & 077) != 0) {
            std::fprintf(stderr,
                         "munyaro-cli fetch: %s: 他のユーザーも読み書きできるパスワードファイルは使いません。"
                         "chmod 600 %s としてください\n",
                         passwordFile.c_str(), passwordFile.c_str());
            return 1;
        }
        try {
            const common::StringList lines = common::splitLines(common::readWholeFile(passwordFile));
            if (!lines.empty()) password = lines.front();
        } catch (const std::exception& e) {
            say(e.what());
            return 1;
        }
    } else if (const char* env = std::getenv("MUNYARO_PASSWORD")) {
        password = env;
    } else {
        return usageError("no password: --password-file FILE or MUNYARO_PASSWORD");
    }

    const auto hostBytes = cp932Arg(host), userBytes = cp932Arg(user), passBytes = cp932Arg(password),
               remote = cp932Arg(ftp::remoteJoin(dir, name)), patternBytes = cp932Arg(pattern);
    if (!hostBytes || !userBytes || !passBytes || !remote || !patternBytes)
        return usageError("a character of the host, user, password, directory or name has no Shift-JIS form");

    ftp::TFtpManager manager;
    manager.setServerName(*hostBytes);
    manager.setUserName(*userBytes);
    manager.setPassWord(*passBytes);
    manager.setProtocol(protocol);
    manager.setPort(port);
    manager.setPassive(passive);
    manager.setKeyDir(materia);

    ftp::removeStalePartFiles(outDir);
    if (list) return printListing(manager, *cp932Arg(dir));
    if (days > 0) {
        struct sigaction action {};
        action.sa_handler = &onInterrupt;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
        return fetchDaysCommand(manager,
                                {*cp932Arg(dir), *patternBytes, days, outDir, record, materiaGiven ? materia : ""},
                                interrupted);
    }
    const std::string local = outDir + "/" + name;
    // Ctrl+C stops the transfer cleanly: no part file stays behind.
    struct sigaction action {};
    struct sigaction oldInt {};
    struct sigaction oldTerm {};
    action.sa_handler = &onInterrupt;
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);
    auto download = [&] {
        ftp::Download running(manager, *remote, local, binary);
        while (!running.finished()) {
            if (interrupted) running.cancel();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return running.result();
    };
    ftp::TransferResult result = download();
    if (result.key.status == ftp::ServerKey::Status::Unknown && !trust.empty() &&
        ftp::sameFingerprint(trust, result.key.fingerprint)) {
        ftp::trustKey(materia, result.key);
        result = download();
    }
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);

    if (!result.ok) {
        say(result.reason);
        if (result.key.status == ftp::ServerKey::Status::Unknown)
            std::fprintf(stderr, "munyaro-cli fetch: not trusted; to trust this server run again with --trust %s\n",
                         result.key.fingerprint.c_str());
        if (result.key.status == ftp::ServerKey::Status::Changed)
            std::fprintf(stderr,
                         "munyaro-cli fetch: refused; only if the server's key was really replaced, remove "
                         "its line from %s/%s and trust the new key\n",
                         materia.c_str(), result.key.ssh ? ftp::kKnownHosts : ftp::kPinFile);
        return 1;
    }
    if (!report) {
        std::printf("%s\n", local.c_str());
        return 0;
    }
    std::vector<std::string> args{"report"};
    if (materiaGiven) args.insert(args.end(), {"--materia", materia});
    args.push_back(local);
    std::vector<char*> reportArgv;
    for (auto& a : args) reportArgv.push_back(a.data());
    return runReport(static_cast<int>(reportArgv.size()), reportArgv.data());
}

}  // namespace cli

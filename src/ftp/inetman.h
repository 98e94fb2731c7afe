// The FTP transfer component: one libcurl session per component life, one connection per download.
#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "ftp/serverkey.h"

namespace ftp {

// The agent text the session announces itself with.
extern const char* const kAgentText;

// What became of one GetFile: the reason is a user-readable text (code page 932), empty on success.
struct TransferResult {
    bool ok = false;
    bool cancelled = false;  // stopped at the user's request
    bool missing = false;    // the server has no such file
    std::string reason;
    // A server key that is not trusted yet (Unknown: the caller may ask the user and trustKey it,
    // then try again) or that differs from the trusted one (Changed: refused).
    ServerKey key;
};

// A folder's listing as the server sent it: LIST for FTP and FTPS, libcurl's "ls -l" lines for SFTP.
struct ListingResult {
    TransferResult transfer;  // ok, or why not
    std::string text;
    bool cut = false;  // stopped at the size bound or for slowness: text is only a part
};

// FTP as it always was; FTP over explicit TLS on the control and data connections; SFTP.
enum class Protocol { Ftp, Ftps, Sftp };

// A download slower than bytesPerSecond, measured over seconds, is given up: a trickling server
// must not hold the program (and count as a success) for as long as it likes.
struct SpeedLimit {
    long bytesPerSecond = 1024;
    long seconds = 30;
};

// Holds the session ("internet handle") for the component's whole life.
class TInetManager {
public:
    TInetManager();
    virtual ~TInetManager();
    TInetManager(const TInetManager&) = delete;
    TInetManager& operator=(const TInetManager&) = delete;

protected:
    void* internet_ = nullptr;  // the libcurl easy handle; null if it could not be made
    bool connected_ = false;    // between Connect and Disconnect
};

class TFtpManager : public TInetManager {
public:
    // keyDir: where the TLS pins and the SSH known hosts are kept (the program's materia/).
    explicit TFtpManager(std::string keyDir) : keyDir_(std::move(keyDir)) {}
    ~TFtpManager() override;

    const std::string& UserName() const { return userName_; }
    void setUserName(std::string value) { userName_ = std::move(value); }
    const std::string& PassWord() const { return passWord_; }
    void setPassWord(std::string value) { passWord_ = std::move(value); }
    const std::string& ServerName() const { return serverName_; }
    void setServerName(std::string value) { serverName_ = std::move(value); }
    // 21; only tests point the component at another port.
    int Port() const { return port_; }
    void setPort(int value) { port_ = value; }
    Protocol protocol() const { return protocol_; }
    void setProtocol(Protocol value) { protocol_ = value; }
    // Plain FTP only: passive instead of active data connections. FTPS is always passive, since a
    // router cannot follow a port command it cannot read.
    bool passive() const { return passive_; }
    void setPassive(bool value) { passive_ = value; }
    const std::string& keyDir() const { return keyDir_; }
    const SpeedLimit& lowSpeed() const { return lowSpeed_; }
    void setLowSpeed(SpeedLimit value) { lowSpeed_ = value; }

    // Prepares the session for one connection with the current login and way of transfer; the
    // connection itself is opened by the transfer and never kept for a later one.
    void Connect();
    // Ends the connection and forgets the login held for it.
    void Disconnect();

    // Connect, fetch remotePath (relative to the login directory, or absolute) into localPath,
    // Disconnect. ASCII type unless binary. Active mode. The file arrives in a temporary file beside
    // localPath that replaces it only when the whole transfer succeeded, so a failure leaves an
    // existing localPath as it was and no partial file. CR, LF or NUL in the login or the path,
    // which would add commands of their own on the control connection, are refused before anything
    // is sent. Throws nothing.
    TransferResult GetFile(const std::string& remotePath, const std::string& localPath, bool binary) noexcept;

    // The listing of remoteDir (relative to the login directory, or absolute; empty: the login
    // directory), at most maxBytes of it. The same checks and bounds as GetFile. Throws nothing.
    ListingResult ListDir(const std::string& remoteDir, std::size_t maxBytes) noexcept;

    // Between these, transfers share one connection where the protocol allows it (FTP's control
    // connection, SSH's session): several days are fetched without logging in for each.
    void BeginSession();
    void EndSession();

    // For another thread while GetFile runs: stops it at once (it returns with cancelled set), and
    // the bytes it has received so far.
    void Cancel();
    long long Received() const { return received_; }
    // The file's size as the server told it during the running GetFile, or -1 while it has not.
    long long Expected() const { return expected_; }

private:
    friend class Download;
    // Why the login or path cannot be sent at all, or empty.
    std::string refusedLogin(const std::string& remotePath) const;
    // One transfer of url into write(data); a refused or unknown server key and a cancel fill
    // result's key and reason. Returns libcurl's code.
    int run(const std::string& url, bool binary, std::size_t (*write)(char*, std::size_t, std::size_t, void*),
            void* data, TransferResult& result, bool& tooSlow);

    std::string userName_;
    std::string passWord_;
    std::string serverName_;
    int port_ = 21;
    Protocol protocol_ = Protocol::Ftp;
    bool passive_ = false;
    std::string keyDir_;
    SpeedLimit lowSpeed_;
    std::atomic<bool> cancel_{false};
    std::atomic<long long> received_{0};
    std::atomic<long long> expected_{-1};
    std::mutex multiLock_;   // guards multi_ for Cancel
    void* multi_ = nullptr;  // the libcurl multi handle of the running GetFile, to wake it
    void* share_ = nullptr;  // the libcurl share keeping the connection of a session
    long reply_ = 0;         // the last reply of the last transfer
};

// One GetFile on a thread of its own, so that a window can show its progress and a way to stop it.
// The manager must not be used otherwise until finished(); the destructor cancels and waits.
class Download {
public:
    Download(TFtpManager& manager, std::string remotePath, std::string localPath, bool binary);
    ~Download();
    Download(const Download&) = delete;
    Download& operator=(const Download&) = delete;

    bool finished() const { return finished_; }
    long long received() const { return manager_.Received(); }
    long long expected() const { return manager_.Expected(); }
    void cancel() { manager_.Cancel(); }
    // Waits for the end and gives the result.
    TransferResult result();

private:
    TFtpManager& manager_;
    TransferResult result_;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

}  // namespace ftp

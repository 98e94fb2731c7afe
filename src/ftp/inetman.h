// The FTP transfer component: one libcurl session per component life, one connection per download.
#pragma once
#include <string>

namespace ftp {

// The agent text the session announces itself with.
extern const char* const kAgentText;

// What became of one GetFile: the reason is a user-readable text (code page 932), empty on success.
struct TransferResult {
    bool ok = false;
    std::string reason;
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
    TFtpManager() = default;
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

    // Prepares the session for one connection with the current login; the connection itself is
    // opened by the transfer and never kept for a later one.
    void Connect();
    // Ends the connection and forgets the login held for it.
    void Disconnect();

    // Connect, fetch remotePath (relative to the login directory, or absolute) into localPath,
    // Disconnect. ASCII type unless binary. Active mode. The file arrives in a temporary file beside
    // localPath that replaces it only when the whole transfer succeeded, so a failure leaves an
    // existing localPath as it was and no partial file. Throws nothing.
    TransferResult GetFile(const std::string& remotePath, const std::string& localPath, bool binary) noexcept;

private:
    std::string userName_;
    std::string passWord_;
    std::string serverName_;
    int port_ = 21;
};

}  // namespace ftp

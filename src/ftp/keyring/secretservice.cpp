// munyaro-keyring.so: one password at a time in the desktop's keyring (the Secret Service, or KWallet
// on KDE) through QtKeychain. Loaded by keyring.cpp on the first use, so that neither munyaro-cli nor
// the window pays for Qt's D-Bus side and the keyring libraries until a password is kept there.
#include <QCoreApplication>
#include <QEventLoop>
#include <QString>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include <qt6keychain/keychain.h>

#include "ftp/keyring/moduleabi.h"

namespace {

// Every entry of the program is under this service name, as the keyring's own window shows it.
const QString kService = QStringLiteral("munyaro");

// QtKeychain's jobs answer through the event loop, which needs an application object; munyaro-cli
// has none, so the first call makes one and keeps it. Qt would set the locale from the environment
// on the way: munyaro-cli's number formats stay as they were.
void ensureApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    static int argc = 1;
    static char name[] = "munyaro";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
    std::setlocale(LC_ALL, locale.c_str());
}

MunyaroKeyringReply reply(int status, const QByteArray& text = {}) {
    MunyaroKeyringReply r{status, nullptr, 0};
    if (status == MUNYARO_KEYRING_NOT_FOUND) return r;
    r.text = static_cast<char*>(std::malloc(static_cast<std::size_t>(text.size()) + 1));
    if (r.text == nullptr) return MunyaroKeyringReply{MUNYARO_KEYRING_FAILED, nullptr, 0};
    std::memcpy(r.text, text.constData(), static_cast<std::size_t>(text.size()));
    r.text[text.size()] = '\0';
    r.size = static_cast<std::size_t>(text.size());
    return r;
}

MunyaroKeyringReply failure(const QKeychain::Job& job) {
    QString why = job.errorString();
    if (why.isEmpty()) why = QStringLiteral("error %1").arg(int(job.error()));
    return reply(MUNYARO_KEYRING_FAILED, why.toUtf8());
}

// Runs job on entry and waits for its answer: nothing when it succeeded, else the reply that says
// how it did not. Input is held back meanwhile, so a click cannot start a second call while the
// keyring asks for its own password; the window still repaints.
std::optional<MunyaroKeyringReply> run(QKeychain::Job& job, const QString& entry) {
    job.setAutoDelete(false);
    job.setKey(entry);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (job.error() == QKeychain::NoError) return std::nullopt;
    if (job.error() == QKeychain::EntryNotFound) return reply(MUNYARO_KEYRING_NOT_FOUND);
    return failure(job);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) MunyaroKeyringReply munyaro_keyring_v1(int op, const char* key,
                                                                                         const char* secret,
                                                                                         size_t secretSize) {
    ensureApplication();
    const QString entry = QString::fromUtf8(key);
    if (op == MUNYARO_KEYRING_READ) {
        QKeychain::ReadPasswordJob job(kService);
        if (auto failed = run(job, entry)) return *failed;
        return reply(MUNYARO_KEYRING_OK, job.textData().toUtf8());
    }
    if (op == MUNYARO_KEYRING_WRITE) {
        QKeychain::WritePasswordJob job(kService);
        job.setTextData(QString::fromUtf8(secret, static_cast<qsizetype>(secretSize)));
        if (auto failed = run(job, entry)) return *failed;
        return reply(MUNYARO_KEYRING_OK);
    }
    if (op == MUNYARO_KEYRING_REMOVE) {
        QKeychain::DeletePasswordJob job(kService);
        if (auto failed = run(job, entry)) return *failed;
        return reply(MUNYARO_KEYRING_OK);
    }
    return reply(MUNYARO_KEYRING_FAILED, "unknown operation");
}

extern "C" __attribute__((visibility("default"))) void munyaro_keyring_free(char* text) { std::free(text); }

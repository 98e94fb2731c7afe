// libcurl, loaded on the first transfer instead of with the program. With what it pulls in
// (Kerberos, LDAP, GnuTLS, SSH, ...) it takes longer to load than counting a small log: every
// `munyaro-cli report` and every start of the window paid for a library only a download uses.
// These are the libcurl calls the transfer makes, under libcurl's own names, each passing on to the
// library once it is loaded; the transfer's code is written against libcurl's header as it is.
#include <cstdarg>
// The definitions below take the names that the header's type-checking wrappers would claim.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#include <dlfcn.h>

namespace {

// The library's soname: the one the build compiled against (libcurl4, OpenSSL flavour, whose TLS
// the transfer sets up through OpenSSL).
constexpr const char* kLibrary = "libcurl.so.4";

struct Api {
    CURLcode (*globalInit)(long) = nullptr;
    void (*globalCleanup)() = nullptr;
    CURL* (*easyInit)() = nullptr;
    void (*easyCleanup)(CURL*) = nullptr;
    void (*easyReset)(CURL*) = nullptr;
    CURLcode (*easySetopt)(CURL*, CURLoption, ...) = nullptr;
    CURLcode (*easyGetinfo)(CURL*, CURLINFO, ...) = nullptr;
    const char* (*easyStrerror)(CURLcode) = nullptr;
    CURLM* (*multiInit)() = nullptr;
    CURLMcode (*multiCleanup)(CURLM*) = nullptr;
    CURLMcode (*multiAddHandle)(CURLM*, CURL*) = nullptr;
    CURLMcode (*multiRemoveHandle)(CURLM*, CURL*) = nullptr;
    CURLMcode (*multiPerform)(CURLM*, int*) = nullptr;
    CURLMcode (*multiPoll)(CURLM*, curl_waitfd[], unsigned, int, int*) = nullptr;
    CURLMsg* (*multiInfoRead)(CURLM*, int*) = nullptr;
    CURLMcode (*multiWakeup)(CURLM*) = nullptr;
    CURLSH* (*shareInit)() = nullptr;
    CURLSHcode (*shareSetopt)(CURLSH*, CURLSHoption, ...) = nullptr;
    CURLSHcode (*shareCleanup)(CURLSH*) = nullptr;
    bool loaded = false;
};

template <typename F>
bool resolve(void* library, const char* name, F& to) {
    to = reinterpret_cast<F>(dlsym(library, name));
    return to != nullptr;
}

// Loaded once, on the first call from any thread; never unloaded (libcurl keeps global state).
// A library that cannot be loaded, or lacks a call, leaves loaded false: curl_global_init fails and
// the transfer reports that it cannot set up its library.
const Api& api() {
    static const Api a = [] {
        Api r;
        void* library = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) return r;
        r.loaded = resolve(library, "curl_global_init", r.globalInit) &&
                   resolve(library, "curl_global_cleanup", r.globalCleanup) &&
                   resolve(library, "curl_easy_init", r.easyInit) &&
                   resolve(library, "curl_easy_cleanup", r.easyCleanup) &&
                   resolve(library, "curl_easy_reset", r.easyReset) &&
                   resolve(library, "curl_easy_setopt", r.easySetopt) &&
                   resolve(library, "curl_easy_getinfo", r.easyGetinfo) &&
                   resolve(library, "curl_easy_strerror", r.easyStrerror) &&
                   resolve(library, "curl_multi_init", r.multiInit) &&
                   resolve(library, "curl_multi_cleanup", r.multiCleanup) &&
                   resolve(library, "curl_multi_add_handle", r.multiAddHandle) &&
                   resolve(library, "curl_multi_remove_handle", r.multiRemoveHandle) &&
                   resolve(library, "curl_multi_perform", r.multiPerform) &&
                   resolve(library, "curl_multi_poll", r.multiPoll) &&
                   resolve(library, "curl_multi_info_read", r.multiInfoRead) &&
                   resolve(library, "curl_multi_wakeup", r.multiWakeup) &&
                   resolve(library, "curl_share_init", r.shareInit) &&
                   resolve(library, "curl_share_setopt", r.shareSetopt) &&
                   resolve(library, "curl_share_cleanup", r.shareCleanup);
        return r;
    }();
    return a;
}

}  // namespace

// Every call but curl_global_init is reached only with a handle, so only after a successful load.
extern "C" {

CURLcode curl_global_init(long flags) { return api().loaded ? api().globalInit(flags) : CURLE_FAILED_INIT; }
void curl_global_cleanup(void) {
    if (api().loaded) api().globalCleanup();
}
CURL* curl_easy_init(void) { return api().loaded ? api().easyInit() : nullptr; }
void curl_easy_cleanup(CURL* curl) { api().easyCleanup(curl); }
void curl_easy_reset(CURL* curl) { api().easyReset(curl); }

// The one value after the option has the type its number range says, as libcurl itself reads it.
CURLcode curl_easy_setopt(CURL* curl, CURLoption option, ...) {
    va_list ap;
    va_start(ap, option);
    CURLcode result;
    if (option < CURLOPTTYPE_OBJECTPOINT) {
        result = api().easySetopt(curl, option, va_arg(ap, long));
    } else if (option >= CURLOPTTYPE_OFF_T && option < CURLOPTTYPE_BLOB) {
        result = api().easySetopt(curl, option, va_arg(ap, curl_off_t));
    } else {
        // Object, function and blob pointers alike: the same size and passing on this platform.
        result = api().easySetopt(curl, option, va_arg(ap, void*));
    }
    va_end(ap);
    return result;
}

// Every CURLINFO takes a pointer to where its value goes.
CURLcode curl_easy_getinfo(CURL* curl, CURLINFO info, ...) {
    va_list ap;
    va_start(ap, info);
    const CURLcode result = api().easyGetinfo(curl, info, va_arg(ap, void*));
    va_end(ap);
    return result;
}

const char* curl_easy_strerror(CURLcode code) {
    return api().loaded ? api().easyStrerror(code) : "libcurl (libcurl.so.4) could not be loaded";
}
CURLM* curl_multi_init(void) { return api().multiInit(); }
CURLMcode curl_multi_cleanup(CURLM* multi) { return api().multiCleanup(multi); }
CURLMcode curl_multi_add_handle(CURLM* multi, CURL* curl) { return api().multiAddHandle(multi, curl); }
CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* curl) { return api().multiRemoveHandle(multi, curl); }
CURLMcode curl_multi_perform(CURLM* multi, int* running) { return api().multiPerform(multi, running); }
CURLMcode curl_multi_poll(CURLM* multi, curl_waitfd extra[], unsigned count, int timeoutMs, int* ready) {
    return api().multiPoll(multi, extra, count, timeoutMs, ready);
}
CURLMsg* curl_multi_info_read(CURLM* multi, int* queued) { return api().multiInfoRead(multi, queued); }
CURLMcode curl_multi_wakeup(CURLM* multi) { return api().multiWakeup(multi); }
CURLSH* curl_share_init(void) { return api().loaded ? api().shareInit() : nullptr; }
// The share options the transfer sets all take a long (what to share).
CURLSHcode curl_share_setopt(CURLSH* share, CURLSHoption option, ...) {
    va_list ap;
    va_start(ap, option);
    const CURLSHcode result = api().shareSetopt(share, option, va_arg(ap, long));
    va_end(ap);
    return result;
}
CURLSHcode curl_share_cleanup(CURLSH* share) { return api().shareCleanup(share); }

}  // extern "C"

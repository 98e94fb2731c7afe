// The calls between the program and munyaro-keyring.so, the part that reaches the desktop's keyring.
// Plain C, so that the Qt-free programs can load it only when a password is kept in the keyring.
#pragma once
#include <stddef.h>

extern "C" {

enum MunyaroKeyringOp { MUNYARO_KEYRING_READ = 0, MUNYARO_KEYRING_WRITE = 1, MUNYARO_KEYRING_REMOVE = 2 };
enum MunyaroKeyringStatus { MUNYARO_KEYRING_OK = 0, MUNYARO_KEYRING_NOT_FOUND = 1, MUNYARO_KEYRING_FAILED = 2 };

// text: the password read (READ, OK) or the keyring's reason (FAILED), UTF-8, allocated by the module
// and given back through munyaro_keyring_free; null otherwise.
struct MunyaroKeyringReply {
    int status;
    char* text;
    size_t size;
};

// key and secret are UTF-8; secret is read by WRITE only. Runs on the thread of the application
// object (created by the module when the program has none) and returns when the keyring has answered.
typedef MunyaroKeyringReply (*MunyaroKeyringCall)(int op, const char* key, const char* secret, size_t secretSize);
typedef void (*MunyaroKeyringFree)(char* text);

}

// The names the module exports.
#define MUNYARO_KEYRING_CALL "munyaro_keyring_v1"
#define MUNYARO_KEYRING_FREE "munyaro_keyring_free"

// The SQLite wrapper: every failed call becomes a SqliteError with SQLite's text.
#include "history/sqlite.h"

#include <sqlite3.h>

namespace history {

bool SqliteError::damaged() const { return primary() == SQLITE_CORRUPT || primary() == SQLITE_NOTADB; }

Database::Database(const std::string& path, bool create) {
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        SqliteError error(db_ ? sqlite3_extended_errcode(db_) : rc, db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc));
        sqlite3_close(db_);
        db_ = nullptr;
        throw error;
    }
    sqlite3_extended_result_codes(db_, 1);
    // Until the history sets its own: a second program never fails at once on a lock.
    sqlite3_busy_timeout(db_, 60000);
}

Database::~Database() {
    if (db_) sqlite3_close_v2(db_);
}

void Database::fail(int code) const {
    throw SqliteError(sqlite3_extended_errcode(db_) ? sqlite3_extended_errcode(db_) : code, sqlite3_errmsg(db_));
}

void Database::exec(const char* sql) {
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) fail(rc);
}

Statement Database::prepare(std::string_view sql) { return Statement(db_, sql); }

std::optional<std::int64_t> Database::queryInt(std::string_view sql) {
    Statement st(db_, sql);
    if (!st.step()) return std::nullopt;
    return st.integer(0);
}

std::int64_t Database::lastInsertId() const { return sqlite3_last_insert_rowid(db_); }

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
    const int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &st_, nullptr);
    if (rc != SQLITE_OK) fail(rc);
}

Statement::~Statement() {
    if (st_) sqlite3_finalize(st_);
}

void Statement::fail(int code) const {
    const int extended = sqlite3_extended_errcode(db_);
    throw SqliteError(extended ? extended : code, sqlite3_errmsg(db_));
}

Statement& Statement::bind(int index, std::int64_t value) {
    if (const int rc = sqlite3_bind_int64(st_, index, value); rc != SQLITE_OK) fail(rc);
    return *this;
}

Statement& Statement::bindText(int index, std::string_view text) {
    if (const int rc = sqlite3_bind_text64(st_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        rc != SQLITE_OK)
        fail(rc);
    return *this;
}

Statement& Statement::bindBlob(int index, std::string_view bytes) {
    // An empty blob is still a blob, not NULL: a zero-length pointer of our own.
    static const char none = 0;
    const char* p = bytes.empty() ? &none : bytes.data();
    if (const int rc = sqlite3_bind_blob64(st_, index, p, bytes.size(), SQLITE_TRANSIENT); rc != SQLITE_OK) fail(rc);
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    sqlite3_reset(st_);
    fail(rc);
}

void Statement::run() {
    while (step()) {
    }
    reset();
}

void Statement::reset() {
    sqlite3_reset(st_);
    sqlite3_clear_bindings(st_);
}

std::int64_t Statement::integer(int column) const { return sqlite3_column_int64(st_, column); }

std::string Statement::text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st_, column));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(st_, column))) : std::string();
}

std::string_view Statement::blob(int column) const {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(st_, column));
    return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(st_, column))) : std::string_view();
}

bool Statement::isNull(int column) const { return sqlite3_column_type(st_, column) == SQLITE_NULL; }

Transaction::Transaction(Database& db) : db_(db) { db_.exec("BEGIN IMMEDIATE"); }

Transaction::~Transaction() {
    if (open_) sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    db_.exec("COMMIT");
    open_ = false;
}

}  // namespace history

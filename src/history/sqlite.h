// A small RAII wrapper over SQLite's C API: a connection, prepared statements with bound
// parameters, and a transaction that rolls back unless committed.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace history {

// A failed SQLite call: the result code (extended) and SQLite's own text.
class SqliteError : public std::exception {
public:
    SqliteError(int code, std::string text) : code_(code), text_(std::move(text)) {}
    int code() const { return code_; }
    int primary() const { return code_ & 0xff; }
    const char* what() const noexcept override { return text_.c_str(); }
    // The file is no database of ours, or one whose pages do not hold together.
    bool damaged() const;

private:
    int code_;
    std::string text_;
};

class Statement;

class Database {
public:
    // Opens (creating when create) the file at path; throws SqliteError.
    Database(const std::string& path, bool create);
    Database(Database&& other) noexcept : db_(other.db_) { other.db_ = nullptr; }
    Database& operator=(Database&&) = delete;
    Database(const Database&) = delete;
    ~Database();

    // Runs statements without parameters or results.
    void exec(const char* sql);
    Statement prepare(std::string_view sql);
    // The first column of the first row of a query without parameters; none when it gives no row.
    std::optional<std::int64_t> queryInt(std::string_view sql);
    std::int64_t lastInsertId() const;
    sqlite3* handle() const { return db_; }

private:
    [[noreturn]] void fail(int code) const;
    sqlite3* db_ = nullptr;
};

class Statement {
public:
    Statement(sqlite3* db, std::string_view sql);
    Statement(Statement&& other) noexcept : db_(other.db_), st_(other.st_) { other.st_ = nullptr; }
    Statement& operator=(Statement&&) = delete;
    Statement(const Statement&) = delete;
    ~Statement();

    // Parameters from 1; text and blobs are copied by SQLite (the views need not outlive the call).
    Statement& bind(int index, std::int64_t value);
    Statement& bindText(int index, std::string_view text);
    Statement& bindBlob(int index, std::string_view bytes);
    // True while a row is there to read; false when done.
    bool step();
    // step() for a statement that gives no rows, then reset() to run it again.
    void run();
    void reset();

    std::int64_t integer(int column) const;
    std::string text(int column) const;
    // Valid until the next step or reset.
    std::string_view blob(int column) const;
    bool isNull(int column) const;

private:
    [[noreturn]] void fail(int code) const;
    sqlite3* db_;
    sqlite3_stmt* st_ = nullptr;
};

// BEGIN IMMEDIATE: the write lock is taken at once (a second writer waits its turn in the busy
// timeout instead of failing half way). Rolled back in the destructor unless committed.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Database& db_;
    bool open_ = true;
};

}  // namespace history

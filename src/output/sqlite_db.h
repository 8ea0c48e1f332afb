#pragma once
// A thin owner of an SQLite connection, its prepared statements and its
// transactions. It knows no file format: a failure comes as an SqliteFailure
// (what went wrong, the file, SQLite's own words), which the caller's handler
// turns into its own exception and message, naming the kind of file it
// expected; without a handler it is an ESqliteError.

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tessellon {

enum class SqliteFailureKind {
    // The file cannot be opened (or made).
    CannotOpen,
    // Another connection holds a lock longer than the busy wait.
    Locked,
    // The file is no SQLite database.
    NotADatabase,
    // A statement ran past the connection's time limit.
    TimedOut,
    // Anything else: a full disk, a read-only file, a bad statement or bind,
    // a value past the connection's size limit.
    Other,
};

struct SqliteFailure {
    SqliteFailureKind Kind = SqliteFailureKind::Other;
    std::string Path;
    // SQLite's message, without a full stop.
    std::string Detail;
};

// A failure no handler took: "PATH: DETAIL".
class ESqliteError : public std::runtime_error {
public:
    explicit ESqliteError(const SqliteFailure& failure)
        : std::runtime_error(failure.Path + ": " + failure.Detail), failure_(failure) {}

    const SqliteFailure& Failure() const { return failure_; }

private:
    SqliteFailure failure_;
};

// Throws the caller's exception for a failure. One that returns leaves the
// failure to ESqliteError.
using SqliteFailureHandler = void (*)(const SqliteFailure& failure);

class SqliteStatement;

// How far a connection trusts its file. A file that this run did not make
// may come from anyone: its schema can hold triggers, views and defaults
// that run code of the file's author inside our statements, endless
// recursive queries and values of any size.
struct SqliteGuard {
    // SQLITE_DBCONFIG_DEFENSIVE (no writes that corrupt the file on purpose)
    // and trusted_schema off (the schema calls no function with side
    // effects, no virtual table of ours).
    bool Defensive = false;
    // A statement that runs longer fails with TimedOut; 0: no limit.
    int StatementMillis = 0;
    // A value longer than this fails to be read, before it is loaded; 0:
    // SQLite's own limit.
    std::size_t MaxValueBytes = 0;
};

class SqliteDb {
public:
    // Fails with CannotOpen when the file cannot be opened. A locked file
    // waits `busyMillis` before a statement gives up.
    SqliteDb(const std::string& path, int flags, int busyMillis,
             SqliteFailureHandler onFailure = nullptr, const SqliteGuard& guard = {});
    ~SqliteDb();
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    const std::string& Path() const { return path_; }
    void Execute(const char* sql);
    SqliteStatement Prepare(std::string_view sql);
    // Fails for SQLite's result `code` with the connection's last message.
    [[noreturn]] void Fail(int code) const;

private:
    friend class SqliteStatement;
    friend class SqliteTransaction;
    [[noreturn]] void Raise(SqliteFailureKind kind, std::string detail) const;
    // Runs `step` (which returns SQLite's result) under the time limit.
    template <class Step>
    int Timed(Step step) const;
    static int PastDeadline(void* db);

    std::string path_;
    SqliteFailureHandler onFailure_;
    sqlite3* db_ = nullptr;
    int statementMillis_ = 0;
    // When the running statement must end; set and read holding the
    // connection's mutex, as the statements of several threads take turns.
    mutable std::chrono::steady_clock::time_point deadline_;
};

class SqliteStatement {
public:
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;
    SqliteStatement& operator=(SqliteStatement&&) = delete;

    // Parameters count from 1. A text is copied; a blob's bytes must stay
    // until the statement is reset. A bind SQLite refuses (no such
    // parameter, too big) fails.
    void Bind(int index, std::int64_t value);
    void Bind(int index, double value);
    void Bind(int index, std::string_view text);
    void BindBlob(int index, std::string_view bytes);
    // True while there is a row to read.
    bool Step();
    // Makes the statement ready to bind and run again.
    void Reset();

    bool IsNull(int column) const;
    std::int64_t Integer(int column) const;
    // The value as UTF-8 text, whatever the database's text encoding; a
    // number as SQLite writes it; "" for NULL.
    std::string Text(int column) const;
    // The value's bytes as stored, NULs included; "" for NULL.
    std::string Blob(int column) const;

private:
    friend class SqliteDb;
    SqliteStatement(const SqliteDb& db, sqlite3_stmt* statement)
        : db_(&db), statement_(statement) {}

    void Check(int code) const;

    const SqliteDb* db_;
    sqlite3_stmt* statement_;
};

// BEGIN IMMEDIATE when made, so a writer waits for (or fails on) another
// writer at once, not halfway; ROLLBACK when it goes before Commit().
class SqliteTransaction {
public:
    explicit SqliteTransaction(SqliteDb& db);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;

    void Commit();

private:
    SqliteDb& db_;
    bool open_ = true;
};

}  // namespace tessellon

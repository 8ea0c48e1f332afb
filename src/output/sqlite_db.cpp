#include "output/sqlite_db.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace tessellon {

namespace {

// Instructions of SQLite's machine between two looks at the clock: a few
// microseconds' work.
constexpr int kInstructionsPerLook = 10000;

}  // namespace

SqliteDb::SqliteDb(const std::string& path, int flags, int busyMillis,
                   SqliteFailureHandler onFailure, const SqliteGuard& guard)
    : path_(path), onFailure_(onFailure), statementMillis_(guard.StatementMillis) {
    const int code = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (code != SQLITE_OK) {
        // The handle is made even when the open fails, and must be closed.
        std::string detail = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
        sqlite3_close(db_);
        db_ = nullptr;
        Raise(SqliteFailureKind::CannotOpen, std::move(detail));
    }
    sqlite3_extended_result_codes(db_, 0);
    sqlite3_busy_timeout(db_, busyMillis);
    if (guard.Defensive) {
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    }
    if (guard.MaxValueBytes > 0) {
        sqlite3_limit(db_, SQLITE_LIMIT_LENGTH,
                      static_cast<int>(std::min<std::size_t>(guard.MaxValueBytes, INT_MAX)));
    }
    if (statementMillis_ > 0) {
        sqlite3_progress_handler(db_, kInstructionsPerLook, PastDeadline, this);
    }
}

int SqliteDb::PastDeadline(void* db) {
    return std::chrono::steady_clock::now() > static_cast<SqliteDb*>(db)->deadline_ ? 1 : 0;
}

template <class Step>
int SqliteDb::Timed(Step step) const {
    // NULL for a connection without a mutex, which then takes no turns.
    sqlite3_mutex* mutex = sqlite3_db_mutex(db_);
    sqlite3_mutex_enter(mutex);
    deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(statementMillis_);
    const int code = step();
    sqlite3_mutex_leave(mutex);
    return code;
}

SqliteDb::~SqliteDb() {
    sqlite3_close_v2(db_);
}

void SqliteDb::Raise(SqliteFailureKind kind, std::string detail) const {
    const SqliteFailure failure{kind, path_, std::move(detail)};
    if (onFailure_ != nullptr) {
        onFailure_(failure);
    }
    throw ESqliteError(failure);
}

void SqliteDb::Fail(int code) const {
    switch (code) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            Raise(SqliteFailureKind::Locked, sqlite3_errmsg(db_));
        case SQLITE_NOTADB:
            Raise(SqliteFailureKind::NotADatabase, sqlite3_errmsg(db_));
        case SQLITE_INTERRUPT:
            Raise(SqliteFailureKind::TimedOut,
                  "a statement ran longer than " + std::to_string(statementMillis_) + " ms");
        default:
            Raise(SqliteFailureKind::Other, sqlite3_errmsg(db_));
    }
}

void SqliteDb::Execute(const char* sql) {
    const int code = Timed([&] { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); });
    if (code != SQLITE_OK) {
        Fail(code);
    }
}

SqliteStatement SqliteDb::Prepare(std::string_view sql) {
    sqlite3_stmt* statement = nullptr;
    const int code =
        sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, nullptr);
    if (code != SQLITE_OK) {
        Fail(code);
    }
    return SqliteStatement(*this, statement);
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(statement_);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : db_(other.db_), statement_(other.statement_) {
    other.statement_ = nullptr;
}

void SqliteStatement::Check(int code) const {
    if (code != SQLITE_OK) {
        db_->Fail(code);
    }
}

void SqliteStatement::Bind(int index, std::int64_t value) {
    Check(sqlite3_bind_int64(statement_, index, value));
}

void SqliteStatement::Bind(int index, double value) {
    Check(sqlite3_bind_double(statement_, index, value));
}

// Copied by SQLite: callers bind texts made for the call, which end before
// the statement steps.
void SqliteStatement::Bind(int index, std::string_view text) {
    Check(sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT,
                              SQLITE_UTF8));
}

void SqliteStatement::BindBlob(int index, std::string_view bytes) {
    Check(sqlite3_bind_blob64(statement_, index, bytes.data(), bytes.size(), SQLITE_STATIC));
}

bool SqliteStatement::Step() {
    const int code = db_->Timed([this] { return sqlite3_step(statement_); });
    if (code == SQLITE_ROW) {
        return true;
    }
    if (code != SQLITE_DONE) {
        sqlite3_reset(statement_);
        db_->Fail(code);
    }
    return false;
}

void SqliteStatement::Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

bool SqliteStatement::IsNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::int64_t SqliteStatement::Integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

std::string SqliteStatement::Text(int column) const {
    // The size is asked after the conversion the text call may make.
    const unsigned char* text = sqlite3_column_text(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return text == nullptr
               ? std::string()
               : std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
}

std::string SqliteStatement::Blob(int column) const {
    const void* data = sqlite3_column_blob(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return data == nullptr
               ? std::string()
               : std::string(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

SqliteTransaction::SqliteTransaction(SqliteDb& db) : db_(db) {
    db_.Execute("BEGIN IMMEDIATE");
}

SqliteTransaction::~SqliteTransaction() {
    if (open_) {
        // An error may have ended the transaction already; nothing is left
        // to undo then.
        db_.Timed([this] { return sqlite3_exec(db_.db_, "ROLLBACK", nullptr, nullptr, nullptr); });
    }
}

void SqliteTransaction::Commit() {
    db_.Execute("COMMIT");
    open_ = false;
}

}  // namespace tessellon

#include "output/sqlite_db.h"

namespace tessellon {

SqliteDb::SqliteDb(const std::string& path, int flags, int busyMillis) : path_(path) {
    const int code = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (code != SQLITE_OK) {
        // The handle is made even when the open fails, and must be closed.
        std::string message = "The MBTiles file ";
        message += path;
        message += " cannot be opened: ";
        message += db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
        message += ".";
        sqlite3_close(db_);
        throw EMbtilesError(message);
    }
    sqlite3_extended_result_codes(db_, 0);
    sqlite3_busy_timeout(db_, busyMillis);
}

SqliteDb::~SqliteDb() {
    sqlite3_close_v2(db_);
}

void SqliteDb::Fail(int code) const {
    std::string message;
    switch (code) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            message = "The MBTiles file ";
            message += path_;
            message += " is locked by another program.";
            break;
        case SQLITE_NOTADB:
            message = "The file ";
            message += path_;
            message += " is not an MBTiles file: it is no SQLite database.";
            break;
        default:
            message = "The MBTiles file ";
            message += path_;
            message += " cannot be used: ";
            message += sqlite3_errmsg(db_);
            message += ".";
            break;
    }
    throw EMbtilesError(message);
}

void SqliteDb::Execute(const char* sql) {
    const int code = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
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

void SqliteStatement::Bind(int index, std::int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
}

void SqliteStatement::Bind(int index, std::string_view text) {
    sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
}

void SqliteStatement::BindBlob(int index, std::string_view bytes) {
    sqlite3_bind_blob64(statement_, index, bytes.data(), bytes.size(), SQLITE_STATIC);
}

bool SqliteStatement::Step() {
    const int code = sqlite3_step(statement_);
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
    // The blob form keeps bytes as they are, NULs included.
    const void* data = sqlite3_column_blob(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return data == nullptr ? std::string() : std::string(static_cast<const char*>(data), size);
}

}  // namespace tessellon

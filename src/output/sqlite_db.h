#pragma once
// A thin owner of an SQLite connection and its prepared statements, for the
// MBTiles reader and writer. Every failure becomes an EMbtilesError whose
// message names the file, so a caller can show it as it is.

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "output/mbtiles.h"

namespace tessellon {

class SqliteStatement;

class SqliteDb {
public:
    // Throws EMbtilesError when the file cannot be opened. A locked file
    // waits `busyMillis` before a statement gives up.
    SqliteDb(const std::string& path, int flags, int busyMillis);
    ~SqliteDb();
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    const std::string& Path() const { return path_; }
    void Execute(const char* sql);
    SqliteStatement Prepare(std::string_view sql);
    // Throws the EMbtilesError that SQLite's result `code` stands for.
    [[noreturn]] void Fail(int code) const;

private:
    friend class SqliteStatement;
    std::string path_;
    sqlite3* db_ = nullptr;
};

class SqliteStatement {
public:
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;
    SqliteStatement& operator=(SqliteStatement&&) = delete;

    // Parameters count from 1.
    void Bind(int index, std::int64_t value);
    void Bind(int index, std::string_view text);
    void BindBlob(int index, std::string_view bytes);
    // True while there is a row to read.
    bool Step();
    // Makes the statement ready to bind and run again.
    void Reset();

    bool IsNull(int column) const;
    std::int64_t Integer(int column) const;
    std::string Text(int column) const;

private:
    friend class SqliteDb;
    SqliteStatement(const SqliteDb& db, sqlite3_stmt* statement)
        : db_(&db), statement_(statement) {}

    const SqliteDb* db_;
    sqlite3_stmt* statement_;
};

}  // namespace tessellon

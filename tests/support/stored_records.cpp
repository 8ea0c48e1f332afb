#include "stored_records.h"

#include <sqlite3.h>

#include <memory>

namespace tessellon::test {

std::uint64_t TileStoreKey(const TileId& tile) {
    return static_cast<std::uint64_t>(tile.Zoom) << 50 |
           static_cast<std::uint64_t>(static_cast<std::uint32_t>(tile.X)) << 25 |
           static_cast<std::uint64_t>(static_cast<std::uint32_t>(tile.Y));
}

TileValidatorMap StoredRecords(const std::string& path) {
    TileValidatorMap records;
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close_v2);
    sqlite3_stmt* rawSelect = nullptr;
    if (opened != SQLITE_OK ||
        sqlite3_prepare_v2(db.get(),
                           "SELECT z, x, y, etag, last_modified, fetched_at, bytes, sha1 "
                           "FROM tiles",
                           -1, &rawSelect, nullptr) != SQLITE_OK) {
        return records;
    }
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> select(rawSelect, sqlite3_finalize);
    const auto text = [&select](int column) {
        const unsigned char* value = sqlite3_column_text(select.get(), column);
        return value == nullptr ? std::string() : reinterpret_cast<const char*>(value);
    };
    while (sqlite3_step(select.get()) == SQLITE_ROW) {
        TileValidators& v = records[TileStoreKey({sqlite3_column_int(select.get(), 0),
                                                  sqlite3_column_int(select.get(), 1),
                                                  sqlite3_column_int(select.get(), 2)})];
        v.ETag = text(3);
        if (sqlite3_column_type(select.get(), 4) != SQLITE_NULL) {
            v.LastModified = sqlite3_column_int64(select.get(), 4);
        }
        v.FetchedAt = sqlite3_column_int64(select.get(), 5);
        v.Bytes = sqlite3_column_int64(select.get(), 6);
        v.Sha1 = text(7);
    }
    return records;
}

}  // namespace tessellon::test

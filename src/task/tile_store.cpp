#include "task/tile_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <tuple>
#include <utility>

#include "platform/files.h"

namespace tessellon {

namespace {

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// A row takes at least about 64 bytes on disk (its SHA-1 alone takes 40),
// some 90 with an ETag and a date: a store's size over this counts no fewer
// rows than it holds.
constexpr std::uint64_t kLeastRowBytes = 64;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS tiles(z INTEGER NOT NULL, x INTEGER NOT NULL, "
    "y INTEGER NOT NULL, etag TEXT, last_modified INTEGER, fetched_at INTEGER NOT NULL, "
    "bytes INTEGER NOT NULL, sha1 TEXT, PRIMARY KEY(z, x, y)) WITHOUT ROWID";

Db Open(const std::string& path, int flags) {
    sqlite3* raw = nullptr;
    // A connection is used by one thread at a time: no locking of its own.
    const int status = sqlite3_open_v2(path.c_str(), &raw,
                                       flags | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX, nullptr);
    Db db(raw);
    if (status != SQLITE_OK) {
        return nullptr;
    }
    sqlite3_busy_timeout(db.get(), 5000);
    return db;
}

std::string Text(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    return text == nullptr
               ? std::string()
               : std::string(reinterpret_cast<const char*>(text),
                             static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

// The order of the table's key: zoom, then column, then row.
bool KeyBefore(const TileId& a, const TileId& b) {
    return std::tie(a.Zoom, a.X, a.Y) < std::tie(b.Zoom, b.X, b.Y);
}

// One row of a SELECT of z, x, y, etag, last_modified, fetched_at, bytes, sha1.
TileRecord Row(sqlite3_stmt* select) {
    TileRecord row;
    row.Tile = {sqlite3_column_int(select, 0), sqlite3_column_int(select, 1),
                sqlite3_column_int(select, 2)};
    TileValidators& validators = row.Validators;
    validators.ETag = Text(select, 3);
    if (sqlite3_column_type(select, 4) != SQLITE_NULL) {
        validators.LastModified = sqlite3_column_int64(select, 4);
    }
    validators.FetchedAt = sqlite3_column_int64(select, 5);
    validators.Bytes = sqlite3_column_int64(select, 6);
    validators.Sha1 = Text(select, 7);
    return row;
}

// The rows from a tile on in key order, a reader's read at a time.
constexpr const char* kSelectFrom =
    "SELECT z, x, y, etag, last_modified, fetched_at, bytes, sha1 FROM tiles "
    "WHERE (z, x, y) >= (?1, ?2, ?3) ORDER BY z, x, y LIMIT ?4";
constexpr std::size_t kReaderRows = 512;
// The most records a batch makes room for between two takes.
constexpr std::int64_t kMostBatchRoom = std::int64_t{1} << 15;
// Failed reads in a row after which a reader knows no more tiles.
constexpr int kMostFailedReads = 3;

}  // namespace

std::string TileStore::PathForProject(const std::string& projectFileName) {
    constexpr std::string_view kProjectSuffix = ".tsln";
    std::string base = projectFileName;
    if (base.size() >= kProjectSuffix.size() &&
        base.compare(base.size() - kProjectSuffix.size(), kProjectSuffix.size(), kProjectSuffix) ==
            0) {
        base.resize(base.size() - kProjectSuffix.size());
    }
    return base + std::string(kTileStoreSuffix);
}

struct TileStoreReader::Handles {
    Db db;
    Statement select;
};

TileStoreReader::TileStoreReader(const std::string& path) {
    Db db = Open(path, SQLITE_OPEN_READONLY);
    sqlite3_stmt* raw = nullptr;
    if (!db || sqlite3_prepare_v2(db.get(), kSelectFrom, -1, &raw, nullptr) != SQLITE_OK) {
        complete_ = true;  // knows no tile
        return;
    }
    // The rows are read once, in order: a few pages of cache hold the
    // tree's upper levels, where a cache of SQLite's size would hold every
    // page, each taken fresh from the system.
    sqlite3_exec(db.get(), "PRAGMA cache_size = 64", nullptr, nullptr, nullptr);
    handles_ = std::make_unique<Handles>(Handles{std::move(db), Statement(raw)});
}

TileStoreReader::~TileStoreReader() = default;

std::optional<TileValidators> TileStoreReader::Find(const TileId& tile) {
    // The rows read hold the tile's, if the store has it, when the tile lies
    // from their first on and up to their last or the store's end.
    const bool held = first_ && !KeyBefore(tile, *first_) &&
                      (complete_ || (!rows_.empty() && !KeyBefore(rows_.back().Tile, tile)));
    if (!held) {
        if (handles_ == nullptr) {
            return std::nullopt;
        }
        ReadFrom(tile);
    }
    const auto found = std::lower_bound(
        rows_.begin(), rows_.end(), tile,
        [](const TileRecord& row, const TileId& key) { return KeyBefore(row.Tile, key); });
    if (found == rows_.end() || found->Tile != tile) {
        return std::nullopt;
    }
    return found->Validators;
}

void TileStoreReader::ReadFrom(const TileId& tile) {
    rows_.clear();
    first_ = tile;
    sqlite3_stmt* select = handles_->select.get();
    sqlite3_bind_int(select, 1, tile.Zoom);
    sqlite3_bind_int(select, 2, tile.X);
    sqlite3_bind_int(select, 3, tile.Y);
    sqlite3_bind_int(select, 4, static_cast<int>(kReaderRows));
    int status = SQLITE_ROW;
    while ((status = sqlite3_step(select)) == SQLITE_ROW) {
        rows_.push_back(Row(select));
    }
    // The read ends with its last row, or with the reset after a failure.
    sqlite3_reset(select);
    if (status == SQLITE_DONE) {
        failedReads_ = 0;
        complete_ = rows_.size() < kReaderRows;
        return;
    }
    // A store busy beyond the wait, or failing, is read again from the tile
    // after the rows it gave: the tiles past them are not known to be
    // absent. One that keeps failing is given up, its tiles asked plainly.
    complete_ = ++failedReads_ == kMostFailedReads;
    if (rows_.empty() && !complete_) {
        first_.reset();
    }
}

namespace {

// Runs `sql` on `db`; throws ETileStoreError with SQLite's words otherwise.
void Run(const std::string& path, sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        throw ETileStoreError(path + ": " + sqlite3_errmsg(db));
    }
}

// The records in the order of the table's key, a tile's records in the
// order given: the tree is walked once from left to right, and a newer
// record still replaces an older one.
std::vector<const TileRecord*> InKeyOrder(const std::vector<TileRecord>& records) {
    std::vector<const TileRecord*> ordered;
    ordered.reserve(records.size());
    for (const TileRecord& record : records) {
        ordered.push_back(&record);
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const TileRecord* a, const TileRecord* b) {
        return KeyBefore(a->Tile, b->Tile);
    });
    return ordered;
}

Statement Prepare(const std::string& path, sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
        throw ETileStoreError(path + ": " + sqlite3_errmsg(db));
    }
    return Statement(raw);
}

void Step(const std::string& path, sqlite3* db, sqlite3_stmt* statement) {
    if (sqlite3_step(statement) != SQLITE_DONE) {
        // Closing the connection rolls the open transaction back.
        throw ETileStoreError(path + ": " + sqlite3_errmsg(db));
    }
}

void InsertOne(const std::string& path, sqlite3* db, sqlite3_stmt* insert,
               const TileRecord& record) {
    const TileValidators& v = record.Validators;
    sqlite3_reset(insert);
    sqlite3_bind_int(insert, 1, record.Tile.Zoom);
    sqlite3_bind_int(insert, 2, record.Tile.X);
    sqlite3_bind_int(insert, 3, record.Tile.Y);
    if (v.ETag.empty()) {
        sqlite3_bind_null(insert, 4);
    } else {
        sqlite3_bind_text(insert, 4, v.ETag.data(), static_cast<int>(v.ETag.size()), SQLITE_STATIC);
    }
    if (v.LastModified) {
        sqlite3_bind_int64(insert, 5, *v.LastModified);
    } else {
        sqlite3_bind_null(insert, 5);
    }
    sqlite3_bind_int64(insert, 6, v.FetchedAt);
    sqlite3_bind_int64(insert, 7, v.Bytes);
    sqlite3_bind_text(insert, 8, v.Sha1.data(), static_cast<int>(v.Sha1.size()), SQLITE_STATIC);
    Step(path, db, insert);
}

// The end of the run of records from `first` on that one statement can
// renew: time-only records of one column, one row after another, fetched in
// the same second. A record that is not time-only is a run of its own.
std::size_t TimeOnlyRunEnd(const std::vector<const TileRecord*>& ordered, std::size_t first) {
    std::size_t end = first + 1;
    if (!ordered[first]->TimeOnly) {
        return end;
    }
    const TileRecord& head = *ordered[first];
    while (end < ordered.size()) {
        const TileRecord& next = *ordered[end];
        if (!next.TimeOnly || next.Tile.Zoom != head.Tile.Zoom || next.Tile.X != head.Tile.X ||
            next.Tile.Y != ordered[end - 1]->Tile.Y + 1 ||
            next.Validators.FetchedAt != head.Validators.FetchedAt) {
            break;
        }
        ++end;
    }
    return end;
}

// The records into the open transaction of `db`, whose table exists. A
// refresh's 304s renew only the fetch time of most rows: a column's run of
// them is one statement, not one a row. A run whose rows are not all in the
// store is written record by record.
void Insert(const std::string& path, sqlite3* db, const std::vector<TileRecord>& records) {
    const Statement insert = Prepare(path, db,
                                     "INSERT OR REPLACE INTO tiles(z, x, y, etag, last_modified, "
                                     "fetched_at, bytes, sha1) VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
    const Statement renew =
        Prepare(path, db,
                "UPDATE tiles SET fetched_at = ?4 WHERE z = ?1 AND x = ?2 AND y BETWEEN ?3 AND ?5");
    const std::vector<const TileRecord*> ordered = InKeyOrder(records);
    for (std::size_t i = 0; i < ordered.size();) {
        const std::size_t end = TimeOnlyRunEnd(ordered, i);
        if (end - i > 1) {
            const TileRecord& head = *ordered[i];
            sqlite3_reset(renew.get());
            sqlite3_bind_int(renew.get(), 1, head.Tile.Zoom);
            sqlite3_bind_int(renew.get(), 2, head.Tile.X);
            sqlite3_bind_int(renew.get(), 3, head.Tile.Y);
            sqlite3_bind_int64(renew.get(), 4, head.Validators.FetchedAt);
            sqlite3_bind_int(renew.get(), 5, ordered[end - 1]->Tile.Y);
            Step(path, db, renew.get());
            if (static_cast<std::size_t>(sqlite3_changes(db)) == end - i) {
                i = end;
                continue;
            }
        }
        for (; i < end; ++i) {
            InsertOne(path, db, insert.get(), *ordered[i]);
        }
    }
}

// The records in one transaction of `db`, run after `opening` (settings,
// then the statement that begins the transaction).
void WriteInTransaction(const std::string& path, sqlite3* db,
                        std::initializer_list<const char*> opening,
                        const std::vector<TileRecord>& records) {
    for (const char* sql : opening) {
        Run(path, db, sql);
    }
    Run(path, db, kSchema);
    Insert(path, db, records);
    Run(path, db, "COMMIT");
}

struct SqliteFree {
    void operator()(unsigned char* bytes) const { sqlite3_free(bytes); }
};
using SqliteBytes = std::unique_ptr<unsigned char, SqliteFree>;

// A store made whole in memory, from `base` (the bytes of the store at
// `path` as it is, of `baseSize` bytes) or from nothing, and written as one
// file with one sync of the disk: the first save of every download makes the
// store, the last save of a refresh renews most of its rows, and a journal
// would cost either four syncs.
void WriteWhole(const std::string& path, const std::vector<TileRecord>& records, SqliteBytes base,
                std::size_t baseSize) {
    const Db db = Open(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!db) {
        throw ETileStoreError(path + ": cannot make the tile store");
    }
    const bool renewed = base != nullptr;
    if (renewed) {
        // SQLite owns the bytes from here on, and frees them on a failure too.
        const auto length = static_cast<sqlite3_int64>(baseSize);
        if (sqlite3_deserialize(db.get(), "main", base.release(), length, length,
                                SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE) !=
            SQLITE_OK) {
            throw ETileStoreError(path + ": " + sqlite3_errmsg(db.get()));
        }
    }
    // A failure discards the copy in memory whole, so nothing needs rolling
    // back: no journal. SQLite's usual cache would take up to 2 MB of fresh
    // memory beside the copy for the pages a batch changes; a few pages are
    // written back into the copy as the batch goes. (A new store lives in
    // its cache whatever its size.)
    WriteInTransaction(path, db.get(),
                       {"PRAGMA journal_mode=OFF", "PRAGMA cache_size = 64", "BEGIN"}, records);
    // A store read whole is written from SQLite's own image of it; only a
    // new one is copied out first.
    sqlite3_int64 size = 0;
    const unsigned char* image =
        renewed ? sqlite3_serialize(db.get(), "main", &size, SQLITE_SERIALIZE_NOCOPY) : nullptr;
    SqliteBytes copy;
    if (image == nullptr) {
        copy.reset(sqlite3_serialize(db.get(), "main", &size, 0));
        image = copy.get();
    }
    if (image == nullptr) {
        throw ETileStoreError(path + ": cannot make the tile store");
    }
    try {
        WriteFileAtomic(path,
                        {reinterpret_cast<const char*>(image), static_cast<std::size_t>(size)},
                        {.NameDurable = false});
    } catch (const EFileError& e) {
        throw ETileStoreError(e.what());
    }
}

}  // namespace

void TileStore::Write(const std::vector<TileRecord>& records) const {
    if (records.empty()) {
        return;
    }
    if (!FileExists(path_)) {
        WriteWhole(path_, records, nullptr, 0);
        return;
    }
    // A batch that renews at least about half the rows is written whole as
    // well; not past a journal that a crash left, which only opening the
    // store rolls back. The store is read straight into memory SQLite takes.
    // A file of no bytes is an empty store, which SQLite takes from no
    // memory: it is opened as a file.
    const std::optional<std::uint64_t> size = RegularFileSizeNoFollow(path_);
    if (size && *size > 0 && records.size() * kLeastRowBytes * 2 >= *size &&
        !FileExists(path_ + "-journal") && !FileExists(path_ + "-wal")) {
        SqliteBytes base;
        std::size_t baseSize = 0;
        const auto room = [&](std::size_t bytes) {
            base.reset(static_cast<unsigned char*>(sqlite3_malloc64(bytes)));
            baseSize = bytes;
            return reinterpret_cast<char*>(base.get());
        };
        std::string refusal;
        if (ReadUntrustedFileInto(path_, static_cast<std::size_t>(*size), room, refusal) ==
            UntrustedRead::Read) {
            WriteWhole(path_, records, std::move(base), baseSize);
            return;
        }
    }
    const Db db = Open(path_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!db) {
        throw ETileStoreError(path_ + ": cannot open the tile store");
    }
    WriteInTransaction(path_, db.get(),
                       {"PRAGMA journal_mode=DELETE", "PRAGMA synchronous=FULL", "BEGIN IMMEDIATE"},
                       records);
}

TileRecordBatch::TileRecordBatch(std::int64_t expected)
    : room_(static_cast<std::size_t>(std::clamp<std::int64_t>(expected, 0, kMostBatchRoom))) {
    records_.reserve(room_);
}

void TileRecordBatch::Add(TileRecord record) {
    const std::lock_guard lock(mutex_);
    records_.push_back(std::move(record));
}

std::vector<TileRecord> TileRecordBatch::Take() {
    {
        // A save that finds nothing new makes no room for the next.
        const std::lock_guard lock(mutex_);
        if (records_.empty()) {
            return {};
        }
    }
    std::vector<TileRecord> next;
    next.reserve(room_);
    const std::lock_guard lock(mutex_);
    return std::exchange(records_, std::move(next));
}

}  // namespace tessellon

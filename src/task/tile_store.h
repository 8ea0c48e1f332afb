#pragma once
// The validators of a task's saved tiles, kept in NAME_tiles.sqlite beside
// the project so that a refresh can ask the server "changed since?" instead
// of fetching every tile again: per tile the reply's ETag and Last-Modified,
// when it was fetched, its size and SHA-1. Workers hand their records to a
// batch; the timer's save writes a batch in one transaction (rollback
// journal, no WAL), so a kill leaves either the whole batch or none of it.
// The store is an aid only: a missing or unreadable one loses the
// validators, never a tile.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "task/tile_cover.h"

namespace tessellon {

inline constexpr std::string_view kTileStoreSuffix = "_tiles.sqlite";

struct TileValidators {
    // Empty when the server sent none.
    std::string ETag;
    // Seconds since 1970 UTC.
    std::optional<std::int64_t> LastModified;
    std::int64_t FetchedAt = 0;
    std::int64_t Bytes = 0;
    // Hexadecimal; empty when unknown.
    std::string Sha1;
};

struct TileRecord {
    TileId Tile;
    TileValidators Validators;
    // Only the fetch time differs from the store's record of the tile, as
    // after a 304 that renewed no validator.
    bool TimeOnly = false;
};

// A store that cannot be written: its path and SQLite's words.
class ETileStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TileStore {
public:
    explicit TileStore(std::string path) : path_(std::move(path)) {}

    // "DIR/NAME_tiles.sqlite" for the project "DIR/NAME.tsln".
    static std::string PathForProject(const std::string& projectFileName);

    const std::string& Path() const { return path_; }
    // The records in one transaction, a tile's newer record replacing its
    // older one; creates the store when missing. Raises ETileStoreError.
    void Write(const std::vector<TileRecord>& records) const;

private:
    std::string path_;
};

// A store's records looked up one tile after another, read from the store a
// few hundred rows at a time in the order of the table's key (zoom, column,
// row): a walk in that order, as a refresh's is, reads each row once, and
// nothing is read before it is asked for. Between two reads no lock is
// held, so the store may be written meanwhile; what a walk asks for lies
// ahead of what its own saves write. A missing or unreadable store knows no
// tile; a read that fails is tried again, up to a few times in a row. Used
// by one thread at a time.
class TileStoreReader {
public:
    explicit TileStoreReader(const std::string& path);
    ~TileStoreReader();
    TileStoreReader(const TileStoreReader&) = delete;
    TileStoreReader& operator=(const TileStoreReader&) = delete;

    // The record of `tile`; none when the store has none.
    std::optional<TileValidators> Find(const TileId& tile);

private:
    // Reads the rows from `tile` on into rows_.
    void ReadFrom(const TileId& tile);

    struct Handles;
    std::unique_ptr<Handles> handles_;
    // Rows in key order, holding every row of the store from first_ up to
    // the last one (or to the end of the store when complete_).
    std::vector<TileRecord> rows_;
    std::optional<TileId> first_;
    bool complete_ = false;
    int failedReads_ = 0;
};

// Records the workers hand over between two saves; safe from any thread.
class TileRecordBatch {
public:
    // Room is made for `expected` records between two takes, up to a
    // bound: a batch that grew by doubling would move its records again and
    // again, and touch fresh memory each time.
    explicit TileRecordBatch(std::int64_t expected);

    void Add(TileRecord record);
    // Everything added since the last Take.
    std::vector<TileRecord> Take();

private:
    std::size_t room_;
    std::mutex mutex_;
    std::vector<TileRecord> records_;
};

}  // namespace tessellon

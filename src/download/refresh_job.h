#pragma once
// What the workers of a refresh share: the walk over the cover that hands
// them their tiles with the store's records of them, the age below which a
// tile is not asked again, and the counts of what the server answered.

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "task/task_parameters.h"
#include "task/tile_store.h"

namespace tessellon {

struct RefreshCounts {
    std::int64_t Changed = 0;
    std::int64_t Unchanged = 0;
    // Not on the server (404): the old tile stays.
    std::int64_t Kept = 0;
    // Fetched more recently than the age asked for: not asked.
    std::int64_t Skipped = 0;
    // Given up after failures: the old tile stays.
    std::int64_t Failed = 0;

    std::int64_t Asked() const { return Changed + Unchanged + Kept + Failed; }
};

// What became of one tile of a refresh.
enum class RefreshOutcome { Changed, Unchanged, Kept, Skipped, Failed };

// How a tile is asked in a refresh.
enum class RefreshAsk { Skip, Plain, Conditional };

class RefreshJob {
public:
    // The validators come from the store at `storePath`, read as the walk
    // comes to them.
    RefreshJob(const std::string& storePath, std::optional<std::int64_t> askFetchedBefore)
        : askFetchedBefore_(askFetchedBefore), store_(storePath) {}

    // The walk hands the cover's tiles out in order, each to the next
    // worker that is free, so that the workers end together however their
    // connections fare. Set before the workers start: the tiles after
    // `finishedUpTo`.
    void WalkFrom(const TileCover& cover, std::int64_t finishedUpTo);
    struct Position {
        TileId Tile;
        std::int64_t Seq = 0;
        // The store's record of the tile; none when it has none.
        std::optional<TileValidators> Known;
    };
    // The next tile for the worker in `slot`; none past the cover's end.
    std::optional<Position> Take(std::int32_t slot);
    // The worker in `slot` is done with a tile it took: the first of those it
    // holds, as a worker finishes its tiles in the order it took them.
    void Finish(std::int32_t slot, std::int64_t seq);
    // Every tile up to this order number is done: where a continued refresh
    // starts after. A tile a worker took and never finished (it stopped or
    // gave up) holds it back.
    std::int64_t FinishedUpTo() const;

    // A tile that is missing or blank is asked plainly, whatever its age; a
    // tile fetched (by the store, else by its file's time) at or after the
    // cut-off is skipped; the rest are asked conditionally where validators
    // are known.
    RefreshAsk Decide(const TileValidators* known, bool missingOrBlank,
                      std::optional<std::int64_t> fileTime) const;

    void Count(RefreshOutcome outcome) { counts_[static_cast<std::size_t>(outcome)].fetch_add(1); }
    RefreshCounts Counts() const;

private:
    std::optional<std::int64_t> askFetchedBefore_;
    // The walk and the store's records of its tiles, read as it comes to
    // them: a read from the disk holds up the next tile handed out, but no
    // worker finishing one.
    std::mutex walkMutex_;
    std::optional<TileCover::Cursor> next_;
    TileStoreReader store_;
    // What is handed out and not yet finished.
    mutable std::mutex heldMutex_;
    // The order number of the next tile to hand out; past the last tile the
    // cover's count + 1.
    std::int64_t nextSeq_ = 1;
    // The order numbers each worker slot took and has not finished, oldest
    // first.
    std::array<std::deque<std::int64_t>, kThreadSlots> held_;
    std::array<std::atomic<std::int64_t>, 5> counts_{};
};

// The SHA-1 of `bytes` in lower-case hexadecimal.
std::string Sha1Hex(std::string_view bytes);

// "30d", "12h", "45m" or "90s" in seconds; none for any other text.
std::optional<std::int64_t> ParseAge(std::string_view text);

}  // namespace tessellon

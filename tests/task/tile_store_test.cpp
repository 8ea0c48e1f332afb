// The store of tile validators: what it keeps, and that a kill in the middle
// of a batch leaves either the whole batch or none of it.

#include "task/tile_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "platform/files.h"
#include "stored_records.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

using test::StoredRecords;
using test::TempDir;
using test::TileStoreKey;
using test::TileValidatorMap;

TileRecord Record(int x, int y, std::string etag, std::int64_t fetched) {
    return {{14, x, y}, {std::move(etag), std::nullopt, fetched, 100, "ab"}};
}

TEST(TileStore, KeepsTheNewestRecordOfEachTileAndReadsNothingFromAMissingOrForeignFile) {
    TempDir dir;
    EXPECT_EQ(TileStore::PathForProject("/m/area.tsln"), "/m/area_tiles.sqlite");
    const TileStore store(dir.File("area_tiles.sqlite"));
    EXPECT_TRUE(StoredRecords(store.Path()).empty());
    TileRecord dated = Record(5, 6, "", 10);
    dated.Validators.LastModified = 784111777;
    store.Write({Record(1, 2, "\"a\"", 10), dated});
    store.Write({Record(1, 2, "W/\"b\"", 20)});
    const TileValidatorMap known = StoredRecords(store.Path());
    ASSERT_EQ(known.size(), 2u);
    const TileValidators& renewed = known.at(TileStoreKey({14, 1, 2}));
    EXPECT_EQ(renewed.ETag, "W/\"b\"");
    EXPECT_EQ(renewed.FetchedAt, 20);
    EXPECT_FALSE(renewed.LastModified.has_value());
    EXPECT_EQ(known.at(TileStoreKey({14, 5, 6})).LastModified, 784111777);
    EXPECT_EQ(known.at(TileStoreKey({14, 5, 6})).ETag, "");

    WriteFileAtomic(dir.File("foreign.sqlite"), "not a database at all");
    EXPECT_TRUE(StoredRecords(dir.File("foreign.sqlite")).empty());
    EXPECT_THROW(TileStore(dir.File("foreign.sqlite")).Write({Record(1, 1, "", 1)}),
                 ETileStoreError);
    // A file of no bytes is an empty store, as SQLite opens it.
    WriteFileAtomic(dir.File("empty_tiles.sqlite"), "");
    TileStore(dir.File("empty_tiles.sqlite")).Write({Record(3, 4, "\"e\"", 30)});
    EXPECT_EQ(StoredRecords(dir.File("empty_tiles.sqlite")).at(TileStoreKey({14, 3, 4})).ETag,
              "\"e\"");
}

TEST(TileStoreReader, FindsEachRecordReadingTheStoreInKeyOrderAWindowAtATime) {
    TempDir dir;
    const std::string path = dir.File("area_tiles.sqlite");
    EXPECT_FALSE(TileStoreReader(path).Find({14, 1, 1}).has_value());
    // Columns 0..39 of rows 0..39 at zoom 14, every third row left out, and
    // a few tiles of the zooms around it: more rows than one read takes.
    std::vector<TileRecord> records;
    for (int x = 0; x < 40; ++x) {
        for (int y = 0; y < 40; ++y) {
            if (y % 3 != 1) {
                records.push_back(Record(x, y, "\"" + std::to_string(x * 100 + y) + "\"", y));
            }
        }
    }
    records.push_back({{13, 39, 39}, {"\"low\"", std::nullopt, 1, 1, ""}});
    records.push_back({{15, 0, 0}, {"\"high\"", std::nullopt, 1, 1, ""}});
    TileStore(path).Write(records);

    TileStoreReader reader(path);
    const auto expect = [&reader](const TileId& tile) {
        const std::optional<TileValidators> found = reader.Find(tile);
        if (tile.Zoom == 14 && tile.Y % 3 == 1) {
            EXPECT_FALSE(found.has_value()) << tile.X << "," << tile.Y;
            return;
        }
        ASSERT_TRUE(found.has_value()) << tile.X << "," << tile.Y;
        if (tile.Zoom == 14) {
            EXPECT_EQ(found->ETag, "\"" + std::to_string(tile.X * 100 + tile.Y) + "\"");
            EXPECT_EQ(found->FetchedAt, tile.Y);
        }
    };
    // The walk of a refresh: in key order, from the zoom below to the one
    // above, past tiles the store lacks.
    expect({13, 39, 39});
    for (int x = 0; x < 40; ++x) {
        for (int y = 0; y < 40; ++y) {
            expect({14, x, y});
        }
    }
    EXPECT_FALSE(reader.Find({14, 40, 0}).has_value());
    EXPECT_EQ(reader.Find({15, 0, 0})->ETag, "\"high\"");
    EXPECT_FALSE(reader.Find({15, 0, 1}).has_value());
    // Out of order it still finds them.
    expect({14, 3, 5});
    expect({14, 39, 38});
    expect({14, 0, 1});
    expect({14, 0, 0});
    EXPECT_EQ(reader.Find({13, 39, 39})->ETag, "\"low\"");

    // Between two reads it holds no lock: the store is written meanwhile in
    // place, and the reader goes on.
    TileStoreReader walking(path);
    ASSERT_TRUE(walking.Find({14, 0, 0}).has_value());
    TileStore(path).Write({Record(0, 0, "\"new\"", 99)});
    EXPECT_EQ(StoredRecords(path).at(TileStoreKey({14, 0, 0})).ETag, "\"new\"");
    EXPECT_EQ(walking.Find({14, 30, 30})->ETag, "\"3030\"");

    WriteFileAtomic(dir.File("foreign.sqlite"), "not a database at all");
    EXPECT_FALSE(TileStoreReader(dir.File("foreign.sqlite")).Find({14, 0, 0}).has_value());
}

// Overwrites the last quarter of the file at `path`, where the rows of the
// last columns lie, with `bytes` (or garbage); returns what was there.
std::string OverwriteTail(const std::string& path, std::string bytes = {}) {
    const std::string whole = ReadFileBytes(path);
    const std::size_t from = whole.size() / 4 * 3;
    if (bytes.empty()) {
        bytes.assign(whole.size() - from, '\xff');
    }
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    EXPECT_NE(file, nullptr);
    std::fseek(file, static_cast<long>(from), SEEK_SET);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return whole.substr(from);
}

TEST(TileStoreReader, AFailedReadIsTriedAgainAndOneThatKeepsFailingIsGivenUp) {
    TempDir dir;
    const std::string path = dir.File("area_tiles.sqlite");
    std::vector<TileRecord> records;
    for (int x = 0; x < 40; ++x) {
        for (int y = 0; y < 40; ++y) {
            records.push_back(Record(x, y, "\"" + std::to_string(x * 100 + y) + "\"", 1));
        }
    }
    TileStore(path).Write(records);

    TileStoreReader reader(path);
    ASSERT_TRUE(reader.Find({14, 0, 0}).has_value());
    const std::string tail = OverwriteTail(path);
    EXPECT_FALSE(reader.Find({14, 38, 0}).has_value());
    // Mended, and written meanwhile as a save writes it.
    OverwriteTail(path, tail);
    TileStore(path).Write({Record(0, 0, "\"saved\"", 2)});
    ASSERT_TRUE(reader.Find({14, 38, 1}).has_value());
    EXPECT_EQ(reader.Find({14, 38, 1})->ETag, "\"3801\"");

    TileStoreReader failing(path);
    ASSERT_TRUE(failing.Find({14, 0, 0}).has_value());
    OverwriteTail(path);
    for (int x = 36; x < 39; ++x) {
        EXPECT_FALSE(failing.Find({14, x, 0}).has_value());
    }
    OverwriteTail(path, tail);
    TileStore(path).Write({Record(0, 0, "\"saved\"", 3)});
    EXPECT_FALSE(failing.Find({14, 39, 0}).has_value());
    EXPECT_TRUE(TileStoreReader(path).Find({14, 39, 0}).has_value());
}

ino_t Inode(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_ino;
}

TEST(TileStore, ABatchThatRenewsMostRowsIsWrittenWholeAndKeepsTheOthers) {
    TempDir dir;
    const std::string path = dir.File("area_tiles.sqlite");
    const TileStore store(path);
    std::vector<TileRecord> all;
    for (int x = 0; x < 400; ++x) {
        all.push_back(Record(x, 0, "\"a\"", 1));
    }
    store.Write(all);
    // A refresh's last save: a new file in its place.
    std::vector<TileRecord> most(all.begin(), all.begin() + 300);
    for (TileRecord& record : most) {
        record.Validators.ETag = "\"b\"";
    }
    const ino_t before = Inode(path);
    store.Write(most);
    EXPECT_NE(Inode(path), before);
    TileValidatorMap known = StoredRecords(store.Path());
    ASSERT_EQ(known.size(), 400u);
    EXPECT_EQ(known.at(TileStoreKey({14, 299, 0})).ETag, "\"b\"");
    EXPECT_EQ(known.at(TileStoreKey({14, 300, 0})).ETag, "\"a\"");

    // A few rows, and a batch past a journal beside the store, go through
    // the store's own transaction.
    const ino_t whole = Inode(path);
    store.Write({Record(0, 0, "\"c\"", 2)});
    EXPECT_EQ(Inode(path), whole);
    WriteFileAtomic(path + "-journal", "");
    for (TileRecord& record : most) {
        record.Validators.ETag = "\"d\"";
    }
    store.Write(most);
    EXPECT_EQ(Inode(path), whole);
    known = StoredRecords(store.Path());
    ASSERT_EQ(known.size(), 400u);
    EXPECT_EQ(known.at(TileStoreKey({14, 0, 0})).ETag, "\"d\"");
    EXPECT_EQ(known.at(TileStoreKey({14, 399, 0})).ETag, "\"a\"");
}

// A refresh's 304s renew only the fetch time: a column's run of them is
// one statement, bounded by the run's rows, and a run with a row the store
// lacks is written record by record.
TEST(TileStore, TimeOnlyRecordsRenewTheirRowsTimesAndAMissingRowIsWrittenWhole) {
    TempDir dir;
    const TileStore store(dir.File("area_tiles.sqlite"));
    std::vector<TileRecord> stored;
    for (int y = 0; y <= 10; ++y) {
        if (y != 5) {
            stored.push_back(Record(1, y, "\"a\"", 1));
        }
    }
    stored.push_back(Record(0, 3, "\"a\"", 1));
    stored.push_back(Record(2, 3, "\"a\"", 1));
    store.Write(stored);
    std::vector<TileRecord> batch;
    for (int y = 0; y <= 9; ++y) {
        // Rows 0..2 in one second, rows 3..9 in the next; row 5 is new.
        TileRecord record = Record(1, y, "\"a\"", y <= 2 ? 7 : 8);
        record.TimeOnly = true;
        batch.push_back(record);
    }
    // Of one tile's two records the later counts.
    TileRecord early = Record(2, 3, "\"a\"", 7);
    early.TimeOnly = true;
    batch.push_back(early);
    batch.push_back(Record(2, 3, "\"y\"", 9));
    store.Write(batch);

    const TileValidatorMap known = StoredRecords(store.Path());
    ASSERT_EQ(known.size(), 13u);
    for (int y = 0; y <= 9; ++y) {
        const TileValidators& row = known.at(TileStoreKey({14, 1, y}));
        EXPECT_EQ(row.FetchedAt, y <= 2 ? 7 : 8) << y;
        EXPECT_EQ(row.ETag, "\"a\"") << y;
        EXPECT_EQ(row.Sha1, "ab") << y;
    }
    EXPECT_EQ(known.at(TileStoreKey({14, 1, 10})).FetchedAt, 1);
    EXPECT_EQ(known.at(TileStoreKey({14, 0, 3})).FetchedAt, 1);
    EXPECT_EQ(known.at(TileStoreKey({14, 2, 3})).ETag, "\"y\"");
    EXPECT_EQ(known.at(TileStoreKey({14, 2, 3})).FetchedAt, 9);
}

TEST(TileStore, AKillDuringABatchLeavesWholeBatchesOnly) {
    TempDir dir;
    const std::string path = dir.File("kill_tiles.sqlite");
    constexpr int kBatch = 2000;
    for (int round = 0; round < 4; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Batch after batch of new tiles until killed.
            for (int batch = 0;; ++batch) {
                std::vector<TileRecord> records;
                for (int i = 0; i < kBatch; ++i) {
                    records.push_back(Record(round * 1000 + batch, i, "\"e\"", batch));
                }
                TileStore(path).Write(records);
            }
        }
        ::usleep(static_cast<useconds_t>(60000 + 45000 * round));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const std::size_t count = StoredRecords(path).size();
        EXPECT_EQ(count % kBatch, 0u) << "round " << round;
    }
    // And the store is still one a write can use.
    TileStore(path).Write({Record(-1, 0, "", 0)});
    EXPECT_EQ(StoredRecords(path).size() % kBatch, 1u);
}

}  // namespace
}  // namespace tessellon

// The map window's tiles: the cache, the service a map shows, and the
// fetchers against a tile server in this process.

#include "control/map_tiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "download_harness.h"
#include "net/net_errors.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "task/sources_file.h"

namespace tessellon {
namespace {

using namespace std::chrono_literals;

const std::string kPng = "\x89PNG\r\n\x1a\n" + std::string(92, 'p');

TEST(MapTileCache, KeepsTheNewestInMemoryAndEveryTileOnDisk) {
    test::TempDir dir;
    const std::string folder = dir.File("tiles/");
    {
        MapTileCache cache(folder, ImageKind::Png, 250);
        for (std::int32_t x = 0; x < 3; ++x) {
            cache.Store({5, x, 7}, kPng);
        }
        EXPECT_LE(cache.MemoryBytes(), 250U);
        EXPECT_EQ(cache.Find({5, 0, 7}), kPng);
        EXPECT_FALSE(cache.Find({5, 0, 8}));
        EXPECT_EQ(ReadFileBytes(folder + "5/2/7"), kPng);
    }
    // A later run finds them on disk.
    MapTileCache again(folder, ImageKind::Png, 250);
    EXPECT_EQ(again.Find({5, 1, 7}), kPng);
}

TEST(MapTileCache, DropsTheImagesItCannotUseAndLeavesEverythingElse) {
    test::TempDir dir;
    const std::string folder = dir.File("tiles/");
    std::filesystem::create_directories(folder + "5/1");
    WriteFileAtomic(folder + "5/1/1", "<html>not a tile</html>");
    WriteFileAtomic(folder + "5/1/2", "");
    WriteFileAtomic(folder + "5/1/3", "\xff\xd8\xff a jpeg");
    // A PNG that claims 65000 x 65000 pixels.
    WriteFileAtomic(folder + "5/1/4",
                    std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\xfd\xe8\0\0\xfd\xe8", 24));
    MapTileCache cache(folder, ImageKind::Png, 1000);
    for (std::int32_t y = 1; y <= 4; ++y) {
        EXPECT_FALSE(cache.Find({5, 1, y})) << y;
    }
    // Images are the cache's own, and go; other files are no one's tiles,
    // and stay.
    EXPECT_TRUE(FileExists(folder + "5/1/1"));
    EXPECT_TRUE(FileExists(folder + "5/1/2"));
    EXPECT_FALSE(FileExists(folder + "5/1/3"));
    EXPECT_FALSE(FileExists(folder + "5/1/4"));
    EXPECT_EQ(OversizeImageReason(ReadFileBytes(folder + "5/1/1")), std::nullopt);
}

TEST(MapTileCache, FollowsNoLinkInItsFoldersAndWritesNothingThroughOne) {
    test::TempDir dir;
    const std::string elsewhere = dir.File("elsewhere/");
    std::filesystem::create_directories(elsewhere + "1");
    WriteFileAtomic(elsewhere + "1/2", kPng);
    WriteFileAtomic(elsewhere + "1/3", "precious");
    std::filesystem::create_directories(dir.File("cache/map/5"));
    // The zoom folder, and a column folder, are links to a folder elsewhere;
    // so is the service's folder of another cache.
    ASSERT_EQ(::symlink(elsewhere.c_str(), dir.File("cache/map/6").c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.c_str(), dir.File("cache/map/5/0").c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.c_str(), dir.File("cache/sat").c_str()), 0);
    // A link at a tile's name.
    std::filesystem::create_directories(dir.File("cache/map/7/1"));
    ASSERT_EQ(::symlink((elsewhere + "1/3").c_str(), dir.File("cache/map/7/1/3").c_str()), 0);

    MapTileCache map(dir.File("cache/map/"), ImageKind::Png, 0);
    MapTileCache sat(dir.File("cache/sat/"), ImageKind::Png, 0);
    EXPECT_FALSE(map.Find({6, 1, 2}));
    EXPECT_FALSE(map.Find({7, 1, 3}));
    map.Store({6, 1, 3}, kPng);
    map.Store({5, 0, 9}, kPng);
    map.Store({7, 1, 3}, kPng);
    sat.Store({4, 4, 4}, kPng);
    EXPECT_EQ(ReadFileBytes(elsewhere + "1/3"), "precious");
    const auto entries = [](const std::string& folder) {
        return std::distance(std::filesystem::directory_iterator(folder),
                             std::filesystem::directory_iterator{});
    };
    EXPECT_EQ(entries(elsewhere), 1);
    EXPECT_EQ(entries(elsewhere + "1"), 2);
    // The link at the tile's name was replaced by the tile, which a later
    // run finds on disk.
    EXPECT_FALSE(std::filesystem::is_symlink(dir.File("cache/map/7/1/3")));
    EXPECT_EQ(MapTileCache(dir.File("cache/map/"), ImageKind::Png, 0).Find({7, 1, 3}), kPng);
}

TEST(MapService, FetchesLikeTheDownloadAndNoFasterThanItsWorkers) {
    test::TempDir dir;
    const Configuration config(dir.File("config.ini"));
    WriteFileAtomic(config.FileName(),
                    "[TileService]\r\nMapHost=maps.example:8086\r\nSatelliteHost=sat.example\r\n");
    // The download's requests: rows from the equator northwards, the zoom
    // one higher.
    const struct {
        int Item;
        TileKey Key;
        const char* Url;
        const char* CacheName;
        const char* Format;
    } builtIn[] = {
        {kMapItem,
         {13, 6744, 3104},
         "http://maps.example:8086/hx/tl?v=4.3&r=1&x=6744&y=991&z=14",
         "map",
         "png"},
        {kSatelliteItem,
         {2, 1, 0},
         "http://sat.example/ae/ximg?v=1.9&t=a&s=256&r=1&x=1&y=1&z=3",
         "satellite",
         "jpg"},
    };
    TaskFields fields;
    for (const auto& c : builtIn) {
        SCOPED_TRACE(c.CacheName);
        fields.MapsTypeItem = c.Item;
        const MapService service = MapService::Of(fields, config);
        EXPECT_EQ(service.TileUrl(c.Key), c.Url);
        EXPECT_EQ(service.CacheName(), c.CacheName);
        EXPECT_EQ(service.Format(), c.Format);
        // Eight workers pausing a second after each tile: two fetchers a
        // quarter second each.
        EXPECT_EQ(service.FetchPause(Pacing()), 250ms);
    }

    fields.Source = ParseSources(
                        "[Topo]\nUrl=https://t.example/{z}/{x}/{y}.jpg\nFormat=jpg\nWorkers=1\n"
                        "PauseMs=1000\nAttribution=(c) Topo\n",
                        "1")
                        .Sources.at(0);
    const MapService topo = MapService::Of(fields, config);
    EXPECT_EQ(topo.TileUrl({3, 1, 2}), "https://t.example/3/1/2.jpg");
    EXPECT_EQ(topo.FetchPause(Pacing()), 2000ms);
    EXPECT_EQ(topo.Attribution(), "(c) Topo");
    // Named by the template's digest, the same in every run: another name
    // would leave every tile cached before behind.
    EXPECT_EQ(topo.CacheName(), "source-bb764c09a06c890d");
}

class MapTileFetcherTest : public ::testing::Test {
protected:
    MapTileFetcherTest() {
        WriteFileAtomic(config.FileName(), "");
        StartServer(test::ServerOptions());
    }

    void StartServer(tileserver::TileServerOptions options) {
        options.log = dir.File("requests.log");
        server.reset();
        server = std::make_unique<tileserver::TileServer>(std::move(options));
        server->Start();
    }

    // The numbers of the connections the requests came on.
    std::vector<std::string> ConnectionsOfRequests() {
        std::vector<std::string> numbers;
        for (const std::string& line : ReadTextLines(dir.File("requests.log"))) {
            numbers.push_back(line.substr(0, line.find(' ')));
        }
        return numbers;
    }

    MapService Service(const std::string& query = "") {
        TaskFields fields;
        fields.Source =
            ParseSources("[Test]\nUrl=http://127.0.0.1:" + std::to_string(server->Port()) +
                             "/{z}/{x}/{y}.png" + query + "\nWorkers=2\n",
                         "1")
                .Sources.at(0);
        return MapService::Of(fields, config);
    }

    // Fetches with the pace of the tests and waits for `count` results.
    std::vector<MapTileResult> FetchAll(MapTileFetcher& fetcher, const std::vector<TileKey>& keys,
                                        std::size_t count) {
        for (const TileKey& key : keys) {
            fetcher.Request(key);
        }
        for (int i = 0; i < 500 && Delivered() < count; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        const std::lock_guard lock(mutex);
        return results;
    }

    std::size_t Delivered() {
        const std::lock_guard lock(mutex);
        return results.size();
    }

    MapTileFetcher::Delivery Recorder() {
        return [this](const MapTileResult& result) {
            const std::lock_guard lock(mutex);
            results.push_back(result);
            threads.push_back(std::this_thread::get_id());
        };
    }

    test::TempDir dir;
    Configuration config{dir.File("config.ini")};
    std::unique_ptr<tileserver::TileServer> server;
    std::mutex mutex;
    std::vector<MapTileResult> results;
    std::vector<std::thread::id> threads;
};

TEST_F(MapTileFetcherTest, FetchesAskedTilesOnceAndKeepsThem) {
    MapTileCache cache(dir.File("cache/"), ImageKind::Png, 1 << 20);
    {
        MapTileFetcher fetcher(Service(), cache, Recorder(), Pacing(1ms));
        // The tile asked twice is fetched once: the second ask finds it
        // waiting, being fetched or kept.
        const auto fetched = FetchAll(fetcher, {{3, 1, 1}, {3, 1, 2}, {3, 1, 1}}, 2);
        ASSERT_GE(fetched.size(), 2U);
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(ReadTextLines(dir.File("requests.log")).size(), 2U);
        for (const MapTileResult& result : fetched) {
            EXPECT_EQ(result.Error, "");
            EXPECT_EQ(DetectImageKind(result.Bytes), ImageKind::Png);
            EXPECT_NE(threads[0], std::this_thread::get_id());
        }
        EXPECT_TRUE(FileExists(dir.File("cache/3/1/2")));
    }
    // Asked again, a kept tile comes at once, on the asking thread.
    results.clear();
    threads.clear();
    server->Stop();
    MapTileFetcher fetcher(Service(), cache, Recorder(), Pacing(1ms));
    fetcher.Request({3, 1, 2});
    ASSERT_EQ(Delivered(), 1U);
    EXPECT_EQ(threads[0], std::this_thread::get_id());
    EXPECT_EQ(results[0].Error, "");
}

TEST_F(MapTileFetcherTest, APageInPlaceOfATileIsAFailureAndIsNotKept) {
    MapTileCache cache(dir.File("cache/"), ImageKind::Png, 1 << 20);
    MapTileFetcher fetcher(Service("?fault=html-error-page"), cache, Recorder(), Pacing(1ms));
    const auto fetched = FetchAll(fetcher, {{4, 2, 3}}, 1);
    ASSERT_EQ(fetched.size(), 1U);
    EXPECT_EQ(fetched[0].Bytes, "");
    EXPECT_NE(fetched[0].Error.find("Not an image (text/html"), std::string::npos)
        << fetched[0].Error;
    EXPECT_FALSE(cache.Find({4, 2, 3}));
}

TEST_F(MapTileFetcherTest, TilesThatLeftTheViewAreNotFetched) {
    MapTileCache cache(dir.File("cache/"), ImageKind::Png, 1 << 20);
    MapTileFetcher fetcher(Service("?fault=slow-first-byte:200"), cache, Recorder(), Pacing(1ms));
    for (std::int32_t x = 0; x < 10; ++x) {
        fetcher.Request({5, x, 0});
    }
    std::this_thread::sleep_for(50ms);
    // The fetches under way finish (one on each fetcher, or a single one when
    // a fetcher has not woken yet); those waiting are dropped.
    fetcher.Retain([](const TileKey&) { return false; });
    std::this_thread::sleep_for(600ms);
    EXPECT_GE(Delivered(), 1U);
    EXPECT_LE(Delivered(), 2U);
}

// The map window fetches as a download's workers do: each fetcher keeps its
// connection, a server that asks to wait is waited for, and a body past
// MaxTileBytes is refused.
TEST_F(MapTileFetcherTest, EachFetcherKeepsItsConnection) {
    MapTileCache cache(dir.File("cache/"), ImageKind::Png, 1 << 20);
    MapTileFetcher fetcher(Service(), cache, Recorder(), Pacing(1ms));
    std::vector<TileKey> keys;
    for (std::int32_t x = 0; x < 8; ++x) {
        keys.push_back({4, x, 5});
    }
    ASSERT_EQ(FetchAll(fetcher, keys, keys.size()).size(), keys.size());
    const std::vector<std::string> connections = ConnectionsOfRequests();
    EXPECT_EQ(connections.size(), keys.size());
    for (const std::string& number : connections) {
        EXPECT_TRUE(number == "1" || number == "2") << number;
    }
}

TEST_F(MapTileFetcherTest, ATileTheServerAsksToWaitForComesAfterTheWait) {
    tileserver::TileServerOptions options = test::ServerOptions();
    tileserver::FaultChoice fault;
    std::string error;
    ASSERT_TRUE(tileserver::ParseFault("retry-after-429:3", fault, error)) << error;
    options.faultSequence = {fault};
    StartServer(std::move(options));
    MapTileCache cache(dir.File("cache/"), ImageKind::Png, 1 << 20);
    // A server's second lasts 10 ms here.
    MapTileFetcher fetcher(Service(), cache, Recorder(), Pacing(10ms));
    const auto start = std::chrono::steady_clock::now();
    const auto fetched = FetchAll(fetcher, {{6, 3, 4}}, 1);
    ASSERT_EQ(fetched.size(), 1U);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
    EXPECT_EQ(fetched[0].Error, "");
    EXPECT_EQ(DetectImageKind(fetched[0].Bytes), ImageKind::Png);
    const std::vector<std::string> lines = ReadTextLines(dir.File("requests.log"));
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_NE(lines[0].find("fault=retry-after-429"), std::string::npos) << lines[0];
    EXPECT_EQ(ConnectionsOfRequests(), (std::vector<std::string>{"1", "1"}));
}

TEST_F(MapTileFetcherTest, ABodyPastMaxTileBytesIsNoTile) {
    tileserver::TileServerOptions options = test::ServerOptions();
    options.bodySize = 5000;
    StartServer(std::move(options));
    IniFile(config.FileName()).WriteString("IniParas", "MaxTileBytes", "1000");
    MapTileCache cache(dir.File("cache/"), ImageKind::Png, 1 << 20);
    MapTileFetcher fetcher(Service(), cache, Recorder(), Pacing(1ms));
    const auto fetched = FetchAll(fetcher, {{6, 3, 4}}, 1);
    ASSERT_EQ(fetched.size(), 1U);
    // The length the server announces is refused before the body comes.
    EXPECT_EQ(fetched[0].Error, kInvalidContentLength);
    EXPECT_FALSE(cache.Find({6, 3, 4}));
}

}  // namespace
}  // namespace tessellon

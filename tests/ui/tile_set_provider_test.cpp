// The provider that feeds a tile view from a tile set: the look of each
// tile's state, images reduced to the size asked, answers on the window's
// thread, a new list of wanted tiles replacing the old one, and no answer
// after the provider is gone.

#include "tile_set_provider.h"

#include <QTest>
#include <QThread>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "ui_test_support.h"

namespace tessellon::test {

namespace {

// Tiles in memory at zoom 5; a read can be held until the test lets it go.
class MemoryTileSet final : public TileSet {
public:
    std::vector<int> Zooms() const override { return {5}; }
    int FirstZoom() const override { return 5; }
    TileRange Bounds(int) const override { return {0, 0, 31, 31}; }

    TileState Read(int, std::int32_t x, std::int32_t y, std::string& bytes) const override {
        std::unique_lock lock(mutex_);
        reading_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !held_; });
        bytes.clear();
        const auto found = tiles_.find({x, y});
        if (found == tiles_.end()) {
            return TileState::Missing;
        }
        bytes = found->second.second;
        return found->second.first;
    }

    void Put(std::int32_t x, std::int32_t y, TileState state, std::string bytes = {}) {
        tiles_[{x, y}] = {state, std::move(bytes)};
    }

    // Reads wait from now until Release.
    void Hold() {
        const std::lock_guard lock(mutex_);
        held_ = true;
        reading_ = false;
    }
    void WaitUntilReading() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return reading_; });
    }
    void Release() {
        const std::lock_guard lock(mutex_);
        held_ = false;
        changed_.notify_all();
    }

private:
    std::map<std::pair<std::int32_t, std::int32_t>, std::pair<TileState, std::string>> tiles_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable bool held_ = false;
    mutable bool reading_ = false;
};

TileRequest At(std::int32_t x, std::int32_t y, int size = 256) {
    return {5, x, y, size};
}

}  // namespace

class TileSetProviderTest : public QObject {
    Q_OBJECT

    struct Received {
        TileRequest tile;
        TileAnswer answer;
        bool onWindowThread = false;
    };

    // Everything `provider` delivers, as it comes.
    void Record(TileSetProvider& provider) {
        received.clear();
        connect(&provider, &TileProvider::Arrived, this,
                [this](const TileRequest& tile, const TileAnswer& answer) {
                    received.push_back({tile, answer, QThread::currentThread() == thread()});
                });
    }

    std::vector<Received> received;

private slots:
    void eachStateHasItsLookAndImagesComeAtTheSizeAsked() {
        MemoryTileSet tiles;
        tiles.Put(1, 1, TileState::Present, Png(Qt::red, 256));
        tiles.Put(2, 1, TileState::Present, Png(Qt::blue, 512));
        tiles.Put(3, 1, TileState::Present, Png(Qt::green, 64));
        tiles.Put(4, 1, TileState::Present, "<html>not a tile</html>");
        tiles.Put(5, 1, TileState::Blank);
        tiles.Put(6, 1, TileState::Failed);

        const TileAnswer red = AnswerFor(tiles, At(1, 1));
        QCOMPARE(red.Look, TileLook::Image);
        QCOMPARE(red.Image.size(), QSize(256, 256));
        QCOMPARE(red.Image.pixelColor(128, 128), QColor(Qt::red));
        // A larger tile is reduced; a smaller one is left as it is, and so is
        // any tile shown smaller than its side.
        QCOMPARE(AnswerFor(tiles, At(2, 1)).Image.size(), QSize(256, 256));
        QCOMPARE(AnswerFor(tiles, At(3, 1)).Image.size(), QSize(64, 64));
        const TileAnswer small = AnswerFor(tiles, At(1, 1, 32));
        QCOMPARE(small.Image.size(), QSize(32, 32));
        QCOMPARE(small.Image.pixelColor(16, 16), QColor(Qt::red));

        QCOMPARE(AnswerFor(tiles, At(4, 1)).Look, TileLook::Unreadable);
        QCOMPARE(AnswerFor(tiles, At(5, 1)).Look, TileLook::Blank);
        QCOMPARE(AnswerFor(tiles, At(6, 1)).Look, TileLook::Failed);
        QCOMPARE(AnswerFor(tiles, At(7, 1)).Look, TileLook::Missing);
        for (const int x : {4, 5, 6, 7}) {
            QVERIFY(AnswerFor(tiles, At(x, 1)).Image.isNull());
        }
    }

    void answersComeOnTheWindowsThreadInTheOrderAsked() {
        MemoryTileSet tiles;
        tiles.Put(1, 1, TileState::Present, Png(Qt::red, 256));
        tiles.Put(2, 2, TileState::Blank);
        TileSetProvider provider(tiles);
        Record(provider);
        provider.Want({At(2, 2), At(1, 1), At(9, 9)});
        QTRY_COMPARE(received.size(), std::size_t{3});
        QCOMPARE(received[0].tile, At(2, 2));
        QCOMPARE(received[0].answer.Look, TileLook::Blank);
        QCOMPARE(received[1].tile, At(1, 1));
        QCOMPARE(received[1].answer.Image.pixelColor(0, 0), QColor(Qt::red));
        QCOMPARE(received[2].answer.Look, TileLook::Missing);
        for (const Received& r : received) {
            QVERIFY(r.onWindowThread);
        }
    }

    // The view asks anew as it pans: what left the view is not read, the
    // tile being read when the new list came is still answered.
    void aNewListReplacesTheTilesNotYetRead() {
        MemoryTileSet tiles;
        TileSetProvider provider(tiles);
        Record(provider);
        tiles.Hold();
        provider.Want({At(1, 1), At(1, 2), At(1, 3)});
        tiles.WaitUntilReading();
        provider.Want({At(8, 8)});
        tiles.Release();
        QTRY_COMPARE(received.size(), std::size_t{2});
        QTest::qWait(50);
        QCOMPARE(received.size(), std::size_t{2});
        QCOMPARE(received[0].tile, At(1, 1));
        QCOMPARE(received[1].tile, At(8, 8));
    }

    // Closing the viewer while a tile is read waits for that read, and the
    // answer goes nowhere.
    void nothingArrivesAfterTheProviderIsGone() {
        MemoryTileSet tiles;
        auto provider = std::make_unique<TileSetProvider>(tiles);
        Record(*provider);
        tiles.Hold();
        provider->Want({At(1, 1), At(1, 2)});
        tiles.WaitUntilReading();
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            tiles.Release();
        });
        provider.reset();
        release.join();
        QTest::qWait(50);
        QVERIFY(received.empty());
    }
};

TESSELLON_UI_TEST(TileSetProviderTest)

}  // namespace tessellon::test

#include "tile_set_provider_test.moc"

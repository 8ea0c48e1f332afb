#pragma once
// Feeds a tile view from a tile set: one worker thread reads and decodes the
// tiles the view wants, nearest the middle first, and hands each answer to
// the window's thread. Reading a file and decoding it never runs on the
// window's thread, so panning stays smooth while tiles come in.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "output/tile_set.h"
#include "report_mailbox.h"
#include "tile_view.h"

namespace tessellon {

// The answer for one tile: its state, and its image decoded and reduced to
// the size asked for.
TileAnswer AnswerFor(const TileSet& tiles, const TileRequest& request);

class TileSetProvider final : public TileProvider {
    Q_OBJECT

public:
    // `tiles` must outlive the provider.
    explicit TileSetProvider(const TileSet& tiles, QObject* parent = nullptr);
    ~TileSetProvider() override;

    void Want(const std::vector<TileRequest>& tiles) override;

private:
    void Work();

    using Answers = std::vector<std::pair<TileRequest, TileAnswer>>;

    const TileSet& tiles_;
    // The answers read since the window last took them.
    ReportMailbox<Answers> answers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<TileRequest> queue_;
    bool stop_ = false;
    std::thread worker_;
};

}  // namespace tessellon

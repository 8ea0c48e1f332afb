#include "tile_set_provider.h"

#include <string>

namespace tessellon {

TileAnswer AnswerFor(const TileSet& tiles, const TileRequest& request) {
    std::string bytes;
    switch (tiles.Read(request.Zoom, request.X, request.Y, bytes)) {
        case TileState::Blank:
            return {TileLook::Blank, {}, {}};
        case TileState::Failed:
            return {TileLook::Failed, {}, {}};
        case TileState::Missing:
            return {TileLook::Missing, {}, {}};
        case TileState::Present:
            break;
    }
    QImage image = QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()),
                                    static_cast<int>(bytes.size()));
    if (image.isNull()) {
        return {TileLook::Unreadable, {}, {}};
    }
    if (image.width() > request.Size || image.height() > request.Size) {
        image = image.scaled(request.Size, request.Size, Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation);
    }
    // The format the screen paints fastest.
    return {TileLook::Image, image.convertToFormat(QImage::Format_ARGB32_Premultiplied), {}};
}

TileSetProvider::TileSetProvider(const TileSet& tiles, QObject* parent)
    : TileProvider(parent),
      tiles_(tiles),
      answers_(
          this,
          [this](const Answers& answers) {
              for (const auto& [request, answer] : answers) {
                  emit Arrived(request, answer);
              }
          },
          [](Answers& answers) { answers.clear(); }),
      worker_([this] { Work(); }) {}

TileSetProvider::~TileSetProvider() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void TileSetProvider::Want(const std::vector<TileRequest>& tiles) {
    {
        const std::lock_guard lock(mutex_);
        queue_.assign(tiles.begin(), tiles.end());
    }
    wake_.notify_one();
}

void TileSetProvider::Work() {
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) {
            return;
        }
        const TileRequest request = queue_.front();
        queue_.pop_front();
        lock.unlock();
        TileAnswer answer = AnswerFor(tiles_, request);
        answers_.Report(
            [&](Answers& answers) { answers.emplace_back(request, std::move(answer)); });
        lock.lock();
    }
}

}  // namespace tessellon

#include "output/lower_zooms.h"

#include <algorithm>

#include "output/pmtiles.h"
#include "output/task_reader.h"
#include "output/tile_decoder.h"
#include "output/tile_encoder.h"
#include "output/tile_export.h"

namespace tessellon {

namespace {

constexpr std::size_t kQuadRowBytes = 2 * kTileRowBytes;

// The range of the parents of `range`'s tiles.
TileRange Parents(const TileRange& range) {
    return {range.MinX / 2, range.MinY / 2, range.MaxX / 2, range.MaxY / 2};
}

TileRange Union(const TileRange& a, const TileRange& b) {
    return {std::min(a.MinX, b.MinX), std::min(a.MinY, b.MinY), std::max(a.MaxX, b.MaxX),
            std::max(a.MaxY, b.MaxY)};
}

}  // namespace

void AverageQuad(const std::uint8_t* quad, std::uint8_t* parent) {
    for (int y = 0; y < kTileSide; ++y) {
        const std::uint8_t* top = quad + kQuadRowBytes * static_cast<std::size_t>(2 * y);
        const std::uint8_t* bottom = top + kQuadRowBytes;
        std::uint8_t* out = parent + kTileRowBytes * static_cast<std::size_t>(y);
        for (int x = 0; x < kTileSide; ++x, top += 8, bottom += 8, out += 4) {
            const std::uint8_t* pixels[4] = {top, top + 4, bottom, bottom + 4};
            unsigned alpha = 0;
            unsigned colour[3] = {0, 0, 0};
            for (const std::uint8_t* pixel : pixels) {
                alpha += pixel[3];
                for (int c = 0; c < 3; ++c) {
                    colour[c] += unsigned{pixel[c]} * pixel[3];
                }
            }
            for (int c = 0; c < 3; ++c) {
                out[c] =
                    static_cast<std::uint8_t>(alpha == 0 ? 0 : (colour[c] + alpha / 2) / alpha);
            }
            out[3] = static_cast<std::uint8_t>((alpha + 2) / 4);
        }
    }
}

LowerZoomBuilder::LowerZoomBuilder(const std::vector<TaskReader>& projects, int levels,
                                   std::string format, bool withBlanks)
    : projects_(projects),
      levels_(levels),
      format_(std::move(format)),
      withBlanks_(withBlanks),
      // An empty name: a database of SQLite's own in the temporary folder,
      // removed when closed.
      spool_("", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, 0, [](const SqliteFailure& failure) {
          throw ETileContainerError(
              "The lower zooms cannot be built in the temporary folder: " + failure.Detail + ".");
      }) {
    least_ = CoverRanges(projects).front().first;
    bool first = true;
    TileRange children;
    for (const TaskReader& project : projects) {
        if (project.Cover().HasZoom(least_)) {
            children = first ? project.Cover().RangeAt(least_)
                             : Union(children, project.Cover().RangeAt(least_));
            first = false;
        }
    }
    parents_ = Parents(children);
    spool_.Execute(
        "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"
        "CREATE TABLE built (id INTEGER PRIMARY KEY, zoom int, x int, y int, image blob);");
}

std::int64_t LowerZoomBuilder::Places() const {
    // Each zoom a quarter of the one above it, at most.
    std::int64_t places = 0;
    TileRange range = parents_;
    for (int level = 0; level < levels_; ++level, range = Parents(range)) {
        places += range.Count();
    }
    return places;
}

bool LowerZoomBuilder::ReadChild(const TileId& tile, std::string& bytes) {
    if (tile.Zoom == least_) {
        // The later project's tile, as the export keeps it.
        for (auto project = projects_.rbegin(); project != projects_.rend(); ++project) {
            if (!project->Cover().Contains(tile)) {
                continue;
            }
            const TileState state = project->Read(tile, bytes);
            if (state == TileState::Present || (state == TileState::Blank && withBlanks_)) {
                return true;
            }
        }
        return false;
    }
    if (!select_) {
        select_.emplace(spool_.Prepare("SELECT image FROM built WHERE id = ?"));
    }
    select_->Reset();
    select_->Bind(1, static_cast<std::int64_t>(HilbertTileId(tile)));
    if (!select_->Step()) {
        return false;
    }
    bytes = select_->Blob(0);
    return true;
}

bool LowerZoomBuilder::ReadChildren(const TileId& parent, std::vector<std::uint8_t>& quad) {
    // What a missing child shows: nothing, or the white a JPEG lays it on.
    const std::uint8_t fill = format_ == "jpg" ? 255 : 0;
    bool any = false;
    for (int child = 0; child < 4; ++child) {
        const int dx = child % 2;
        const int dy = child / 2;
        std::uint8_t* corner = quad.data() +
                               kQuadRowBytes * static_cast<std::size_t>(dy * kTileSide) +
                               kTileRowBytes * static_cast<std::size_t>(dx);
        const TileId tile{parent.Zoom + 1, parent.X * 2 + dx, parent.Y * 2 + dy};
        const bool drawn =
            ReadChild(tile, bytes_) && DecodeTile(bytes_, corner, kQuadRowBytes).empty();
        any = any || drawn;
        if (!drawn) {
            for (int row = 0; row < kTileSide; ++row) {
                std::fill_n(corner + kQuadRowBytes * static_cast<std::size_t>(row), kTileRowBytes,
                            fill);
            }
        }
    }
    return any;
}

std::string LowerZoomBuilder::Encoded(const std::uint8_t* rgba) const {
    try {
        return EncodeTile(format_, rgba);
    } catch (const std::runtime_error& e) {
        throw ETileContainerError(e.what());
    }
}

void LowerZoomBuilder::Build(const std::function<void()>& tick) {
    std::vector<std::uint8_t> quad(kQuadRowBytes * 2 * kTileSide);
    std::vector<std::uint8_t> parent(kTileRowBytes * kTileSide);
    SqliteStatement insert =
        spool_.Prepare("INSERT INTO built (id, zoom, x, y, image) VALUES (?, ?, ?, ?, ?)");
    TileRange places = parents_;
    for (int level = 0; level < levels_; ++level, places = Parents(places)) {
        const int zoom = least_ - 1 - level;
        std::int64_t& count = built_.emplace_back(BuiltZoom{zoom, 0}).Tiles;
        for (std::int32_t x = places.MinX; x <= places.MaxX; ++x) {
            for (std::int32_t y = places.MinY; y <= places.MaxY; ++y) {
                tick();
                const TileId tile{zoom, x, y};
                if (!ReadChildren(tile, quad)) {
                    continue;
                }
                AverageQuad(quad.data(), parent.data());
                insert.Bind(1, static_cast<std::int64_t>(HilbertTileId(tile)));
                insert.Bind(2, std::int64_t{zoom});
                insert.Bind(3, std::int64_t{x});
                insert.Bind(4, std::int64_t{y});
                // Bound without a copy: it must outlive the step.
                const std::string encoded = Encoded(parent.data());
                insert.BindBlob(5, encoded);
                insert.Step();
                insert.Reset();
                ++count;
            }
        }
    }
    std::reverse(built_.begin(), built_.end());
}

void LowerZoomBuilder::PutInto(TileSink& sink) {
    SqliteStatement rows = spool_.Prepare("SELECT zoom, x, y, image FROM built ORDER BY id");
    while (rows.Step()) {
        sink.Put({static_cast<int>(rows.Integer(0)), static_cast<std::int32_t>(rows.Integer(1)),
                  static_cast<std::int32_t>(rows.Integer(2))},
                 rows.Blob(3));
    }
}

}  // namespace tessellon

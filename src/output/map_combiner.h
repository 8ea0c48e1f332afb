#pragma once
// Stitches a task's tiles of one zoom into one georeferenced image
// (EPSG:3857) one row of tiles at a time: each row is decoded, its scanlines
// are written, and the next row takes its place, so memory stays about two
// rows of tiles whatever the size of the map. Tiles keep their own
// transparency where the format has alpha (the image then has an alpha band)
// and are laid on white where it has none. Tiles of the task that cannot
// be drawn are left white and listed; places outside a shaped task's cover
// are no tiles of it, and are left transparent where the format has alpha,
// white otherwise, and never listed. The image is written under a temporary name beside the output
// and takes its name only when whole.

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "output/geotiff.h"
#include "output/image_writer.h"
#include "output/task_reader.h"
#include "platform/stop_signal.h"

namespace tessellon {

// A combination that cannot start or did not finish: the tiles are no image
// (vector tiles), the format cannot hold the size, the output cannot be
// written. Nothing is left at the output's name.
class ECombineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Pixels of the task's range at a zoom, (0, 0) the top-left pixel of its
// tile (MinX, MinY); Right and Bottom are one past the last.
struct PixelRect {
    std::int64_t Left = 0;
    std::int64_t Top = 0;
    std::int64_t Right = 0;
    std::int64_t Bottom = 0;
    std::int64_t Width() const { return Right - Left; }
    std::int64_t Height() const { return Bottom - Top; }
};

// The zoom to combine: `zoom`, or the task's deepest. Throws ECombineError
// when the task has no tiles at `zoom`.
int CombinedZoom(const TaskReader& task, std::optional<int> zoom);
// The typed rectangle's (a shape's bounding rectangle's) pixels within the
// task's range at `zoom`: edges through a pixel take the whole pixel. Throws
// ECombineError when it misses the range.
PixelRect CropRectOf(const TaskReader& task, int zoom);
// Where `rect` of the range at `zoom` lies in EPSG:3857.
Georeference GeoreferenceOf(const TaskReader& task, int zoom, const PixelRect& rect);

struct CombineOptions {
    std::string OutputPath;
    ImageFormat Format = ImageFormat::Png;
    // Cut to the typed rectangle rather than the whole range of tiles.
    bool Crop = false;
    // Asked before each row of tiles and before the image is finished;
    // none: the combination runs to its end.
    const StopSignal* Stop = nullptr;
    // One of the task's zooms; none: its deepest.
    std::optional<int> Zoom;
    // For a TIFF only. None: JPEG for a task of JPEG tiles, unless the image
    // needs an alpha band, which TIFF's JPEG cannot hold; deflate otherwise.
    std::optional<TiffCompression> Compression;
    // For JPEG and WebP compression, 1 to 100; none: kDefaultTiffQuality.
    std::optional<int> Quality;
    TiffLayout Layout = TiffLayout::Plain;
};

// A tile left white, and why.
struct UndrawnTile {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    std::string Reason;
};

struct CombineResult {
    int Zoom = 0;
    std::int64_t Width = 0;
    std::int64_t Height = 0;
    std::vector<UndrawnTile> Undrawn;
    // Choices made for the user that change what the image holds, each a
    // sentence: why the compression is not the usual one, why alpha is lost.
    std::vector<std::string> Notes;
    // The world file, .prj and .aux.xml written beside the image; empty for
    // a TIFF.
    std::string WorldFile;
    std::string PrjFile;
    std::string AuxFile;
};

// Told after each row of tiles is written: rows done, rows in all.
using CombineProgress = std::function<void(std::int64_t done, std::int64_t total)>;

// Throws ECombineError, or ECancelled when options.Stop was requested; on
// any throw no image and none of its companion files is left, and a file
// that was at the output's name stays as it was.
CombineResult CombineTiles(const TaskReader& task, const CombineOptions& options,
                           const CombineProgress& progress = {});

}  // namespace tessellon

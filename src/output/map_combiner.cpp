#include "output/map_combiner.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "geo/web_mercator.h"
#include "output/tile_decoder.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/stdio_files.h"

namespace tessellon {

namespace {

// An edge that falls on a pixel boundary but for rounding stays there.
double SnapToWhole(double pixel) {
    const double whole = std::round(pixel);
    return std::abs(pixel - whole) < 1e-6 ? whole : pixel;
}

double LongitudeToPixel(double longitude, int zoom) {
    return SnapToWhole(LongitudeToPixelX(longitude, zoom));
}

double LatitudeToPixel(double latitude, int zoom) {
    return SnapToWhole(LatitudeToPixelY(latitude, zoom));
}

// Removes the georeference files written for an image that then failed.
class CompanionFiles {
public:
    ~CompanionFiles() {
        for (const std::string& path : paths_) {
            RemoveFile(path);
        }
    }
    void Write(const std::string& path, std::string_view text) {
        WriteFileAtomic(path, text);
        paths_.push_back(path);
    }
    void Keep() { paths_.clear(); }

private:
    std::vector<std::string> paths_;
};

void FillWhite(std::uint8_t* at, std::size_t stride) {
    for (int y = 0; y < kTileSide; ++y) {
        std::memset(at + y * stride, 255, kTileRowBytes);
    }
}

// Draws `tile` at `at`, or leaves it white and says why.
std::string DrawTile(const TaskReader& task, const TileId& tile, std::uint8_t* at,
                     std::size_t stride, std::string& bytes) {
    std::string refusal;
    const TileState state = task.Read(tile, bytes, &refusal);
    std::string reason;
    if (state == TileState::Failed) {
        reason = "failed to download";
    } else if (!refusal.empty()) {
        reason = "its file is not read: " + refusal;
    } else if (bytes.empty()) {
        reason = "missing";
    } else {
        reason = DecodeTile(bytes, at, stride);
    }
    if (!reason.empty()) {
        FillWhite(at, stride);
    }
    return reason;
}

// Where a tile of the cover is no tile of the task: see-through where the
// format shows it, white where it cannot.
void FillClear(std::uint8_t* at, std::size_t stride) {
    for (int y = 0; y < kTileSide; ++y) {
        std::uint8_t* pixel = at + y * stride;
        for (int x = 0; x < kTileSide; ++x, pixel += 4) {
            pixel[0] = pixel[1] = pixel[2] = 255;
            pixel[3] = 0;
        }
    }
}

// Whether a tile of the task within `rect` at `zoom` declares transparency;
// reads the tiles until the first that does.
bool AnyTileHasAlpha(const TaskReader& task, int zoom, const PixelRect& rect,
                     const StopSignal* stop) {
    const TileRange& range = task.Cover().RangeAt(zoom);
    std::string bytes;
    for (std::int64_t row = rect.Top / kTileSide; row <= (rect.Bottom - 1) / kTileSide; ++row) {
        ThrowIfStopped(stop);
        for (std::int64_t column = rect.Left / kTileSide; column <= (rect.Right - 1) / kTileSide;
             ++column) {
            const TileId tile{zoom, static_cast<std::int32_t>(range.MinX + column),
                              static_cast<std::int32_t>(range.MinY + row)};
            if (task.Cover().Contains(tile) && task.Read(tile, bytes) == TileState::Present &&
                TileHasAlpha(bytes)) {
                return true;
            }
        }
    }
    return false;
}

// Refuses to replace what is no regular file at any of the names the
// combination writes: renaming over a device node or a FIFO would replace it.
void CheckOutputNames(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        const std::string refusal = OutputRefusal(path);
        if (!refusal.empty()) {
            throw ECombineError("Cannot write " + path + ": it is " + refusal +
                                ", not a file an image may replace.");
        }
    }
}

bool TilesAreJpeg(const TaskReader& task) {
    const std::string& extension = task.Naming().Extension;
    return extension == "jpg" || extension == "jpeg";
}

// The TIFF settings of a combination, and whether the image keeps its alpha
// band. Alpha decides against JPEG, which TIFF holds as three channels only:
// a mask image beside each level would carry it, but many readers ignore
// masks, so a lossless codec keeps alpha unless JPEG is asked for by name.
TiffOptions ChooseTiffOptions(const TaskReader& task, const CombineOptions& options, bool& alpha,
                              std::vector<std::string>& notes) {
    TiffOptions tiff;
    tiff.Layout = options.Layout;
    tiff.ScratchFolder = ExtractFilePath(options.OutputPath);
    if (options.Compression) {
        tiff.Compression = *options.Compression;
    } else if (TilesAreJpeg(task) && !alpha) {
        tiff.Compression = TiffCompression::Jpeg;
    } else if (TilesAreJpeg(task)) {
        notes.push_back(
            "The tiles are JPEG, but the image needs an alpha band for the places the task "
            "leaves out, which a JPEG-compressed TIFF cannot hold: it is compressed losslessly "
            "with deflate. Choosing JPEG compression lays those places on white instead.");
    }
    const TiffCompressionRow& row = RowOf(tiff.Compression);
    if (alpha && !row.Alpha) {
        alpha = false;
        notes.push_back(std::string(row.Title) +
                        " compression holds no alpha band: what would show through is laid on "
                        "white.");
    }
    if (options.Quality) {
        if (!row.Lossy) {
            throw ECombineError("A quality is for JPEG or WebP compression; " +
                                std::string(row.Title) + " keeps every pixel as it is.");
        }
        if (*options.Quality < 1 || *options.Quality > 100) {
            throw ECombineError("The quality is a number from 1 to 100, not " +
                                std::to_string(*options.Quality) + ".");
        }
        tiff.Quality = *options.Quality;
    }
    if (const std::string refusal = CodecRefusal(tiff.Compression); !refusal.empty()) {
        throw ECombineError(refusal);
    }
    return tiff;
}

}  // namespace

int CombinedZoom(const TaskReader& task, std::optional<int> zoom) {
    const TileCover& cover = task.Cover();
    if (!zoom) {
        return cover.MaxZoom();
    }
    if (!cover.HasZoom(*zoom)) {
        std::string text = "The task has no tiles at zoom ";
        text.append(std::to_string(*zoom)).append("; its ");
        if (cover.MinZoom() == cover.MaxZoom()) {
            text.append("zoom is ").append(std::to_string(cover.MinZoom()));
        } else {
            text.append("zooms are ").append(std::to_string(cover.MinZoom())).append(" to ");
            text.append(std::to_string(cover.MaxZoom()));
        }
        throw ECombineError(text.append("."));
    }
    return *zoom;
}

PixelRect CropRectOf(const TaskReader& task, int zoom) {
    const GeoRect& area = task.TypedArea();
    const TileRange& range = task.Cover().RangeAt(zoom);
    const double rangeLeft = static_cast<double>(range.MinX) * kTileSide;
    const double rangeTop = static_cast<double>(range.MinY) * kTileSide;
    const double width = static_cast<double>(range.Columns()) * kTileSide;
    const double height = static_cast<double>(range.Rows()) * kTileSide;
    auto clamp = [](double value, double limit) { return std::clamp(value, 0.0, limit); };
    const double left =
        std::floor(LongitudeToPixel(std::min(area.Left, area.Right), zoom) - rangeLeft);
    const double right =
        std::ceil(LongitudeToPixel(std::max(area.Left, area.Right), zoom) - rangeLeft);
    const double top =
        std::floor(LatitudeToPixel(std::max(area.Top, area.Bottom), zoom) - rangeTop);
    const double bottom =
        std::ceil(LatitudeToPixel(std::min(area.Top, area.Bottom), zoom) - rangeTop);
    const PixelRect rect{static_cast<std::int64_t>(clamp(left, width)),
                         static_cast<std::int64_t>(clamp(top, height)),
                         static_cast<std::int64_t>(clamp(right, width)),
                         static_cast<std::int64_t>(clamp(bottom, height))};
    if (rect.Width() <= 0 || rect.Height() <= 0) {
        throw ECombineError("The typed area lies outside the task's tiles; nothing to crop to.");
    }
    return rect;
}

Georeference GeoreferenceOf(const TaskReader& task, int zoom, const PixelRect& rect) {
    const TileRange& range = task.Cover().RangeAt(zoom);
    const double left =
        static_cast<double>(range.MinX) * kTileSide + static_cast<double>(rect.Left);
    const double top = static_cast<double>(range.MinY) * kTileSide + static_cast<double>(rect.Top);
    return {PixelXToMercatorX(left, zoom), PixelYToMercatorY(top, zoom), MercatorPixelSize(zoom)};
}

CombineResult CombineTiles(const TaskReader& task, const CombineOptions& options,
                           const CombineProgress& progress) {
    if (task.Naming().Extension == "pbf") {
        throw ECombineError(
            "The task's tiles are vector tiles (pbf), which hold no pixels to combine.");
    }
    const int zoom = CombinedZoom(task, options.Zoom);
    const TileCover& cover = task.Cover();
    const TileRange& range = cover.RangeAt(zoom);
    const PixelRect rect =
        options.Crop ? CropRectOf(task, zoom)
                     : PixelRect{0, 0, range.Columns() * kTileSide, range.Rows() * kTileSide};
    const std::string refusal = SizeRefusal(options.Format, rect.Width(), rect.Height());
    if (!refusal.empty()) {
        throw ECombineError(refusal);
    }
    if (options.Format != ImageFormat::Tiff &&
        (options.Compression || options.Quality || options.Layout != TiffLayout::Plain)) {
        const std::string_view title = RowOf(options.Format).Title;
        throw ECombineError(
            "Compression, quality, overviews and the cloud optimized layout are "
            "for a GeoTIFF; the output is " +
            std::string(ArticleOf(title)) + " " + std::string(title) + ".");
    }
    const Georeference where = GeoreferenceOf(task, zoom, rect);
    // A shape's gaps and the tiles' own transparency show through where the
    // format (and a TIFF's compression) can show them; elsewhere they are
    // laid on white.
    CombineResult result;
    bool alpha = FormatHasAlpha(options.Format) &&
                 (cover.Shaped() || AnyTileHasAlpha(task, zoom, rect, options.Stop));
    const TiffOptions tiff = options.Format == ImageFormat::Tiff
                                 ? ChooseTiffOptions(task, options, alpha, result.Notes)
                                 : TiffOptions{};
    result.Zoom = zoom;
    result.Width = rect.Width();
    result.Height = rect.Height();
    result.WorldFile = WorldFileNameOf(options.OutputPath, options.Format);
    if (!result.WorldFile.empty()) {
        result.PrjFile = RemoveFileExt(options.OutputPath) + ".prj";
        result.AuxFile = options.OutputPath + ".aux.xml";
    }
    CheckOutputNames({options.OutputPath, result.WorldFile, result.PrjFile, result.AuxFile});
    try {
        AtomicStdioFile output(options.OutputPath);
        const std::unique_ptr<ImageWriter> writer =
            options.Format == ImageFormat::Tiff
                ? MakeTiffWriter(output.File(), rect.Width(), rect.Height(), where, alpha, tiff)
                : MakeImageWriter(options.Format, output.File(), rect.Width(), rect.Height(), where,
                                  alpha);

        const std::int64_t firstColumn = rect.Left / kTileSide;
        const std::int64_t lastColumn = (rect.Right - 1) / kTileSide;
        const std::int64_t firstRow = rect.Top / kTileSide;
        const std::int64_t lastRow = (rect.Bottom - 1) / kTileSide;
        const std::size_t stride =
            static_cast<std::size_t>(lastColumn - firstColumn + 1) * kTileRowBytes;
        std::vector<std::uint8_t> band(stride * kTileSide);
        const std::int64_t firstPixel = rect.Left - firstColumn * kTileSide;
        const std::size_t rowOffset = static_cast<std::size_t>(firstPixel) * 4;
        // A scanline laid on white, for a format without alpha.
        std::vector<std::uint8_t> rgb(alpha ? 0 : static_cast<std::size_t>(rect.Width()) * 3);
        std::string bytes;
        for (std::int64_t row = firstRow; row <= lastRow; ++row) {
            ThrowIfStopped(options.Stop);
            for (std::int64_t column = firstColumn; column <= lastColumn; ++column) {
                const TileId tile{zoom, static_cast<std::int32_t>(range.MinX + column),
                                  static_cast<std::int32_t>(range.MinY + row)};
                const auto index = static_cast<std::size_t>(column - firstColumn);
                std::uint8_t* at = band.data() + index * kTileRowBytes;
                if (!cover.Contains(tile)) {
                    FillClear(at, stride);
                    continue;
                }
                std::string reason = DrawTile(task, tile, at, stride, bytes);
                if (!reason.empty()) {
                    result.Undrawn.push_back({tile.X, tile.Y, std::move(reason)});
                }
            }
            const std::int64_t bandTop = row * kTileSide;
            const std::int64_t top = std::max(rect.Top, bandTop);
            const std::int64_t bottom = std::min(rect.Bottom, bandTop + kTileSide);
            for (std::int64_t pixelRow = top; pixelRow < bottom; ++pixelRow) {
                const std::uint8_t* scanline =
                    band.data() + static_cast<std::size_t>(pixelRow - bandTop) * stride + rowOffset;
                if (!alpha) {
                    RgbaOnWhite(scanline, static_cast<std::size_t>(rect.Width()), rgb.data());
                    scanline = rgb.data();
                }
                writer->WriteRow(scanline);
            }
            if (progress) {
                progress(row - firstRow + 1, lastRow - firstRow + 1);
            }
        }
        ThrowIfStopped(options.Stop);
        writer->Finish();

        CompanionFiles companions;
        if (!result.WorldFile.empty()) {
            companions.Write(result.WorldFile, WorldFileText(where));
            companions.Write(result.PrjFile, kPseudoMercatorWkt);
            companions.Write(result.AuxFile, PamText());
        }
        output.Commit();
        companions.Keep();
    } catch (const EImageWriteError& error) {
        throw ECombineError(error.what());
    } catch (const EFileError& error) {
        throw ECombineError(error.what());
    }
    return result;
}

}  // namespace tessellon

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

// Draws tile (x, y) at `at`, or leaves it white and says why.
std::string DrawTile(const TaskReader& task, std::int32_t x, std::int32_t y, std::uint8_t* at,
                     std::size_t stride, std::string& bytes) {
    const TileState state = task.Read(x, y, bytes);
    std::string reason;
    if (state == TileState::Failed) {
        reason = "failed to download";
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

}  // namespace

std::string ExtensionOf(ImageFormat format) {
    switch (format) {
        case ImageFormat::Png:
            return ".png";
        case ImageFormat::Jpeg:
            return ".jpg";
        case ImageFormat::Bmp:
            return ".bmp";
        case ImageFormat::Tiff:
            return ".tif";
    }
    return {};
}

std::string DefaultOutputPath(const std::string& projectPath, const std::string& configuredName,
                              std::optional<ImageFormat> format) {
    std::string path = ExtractFilePath(projectPath);
    if (format) {
        path.append(RemoveFileExt(configuredName)).append(ExtensionOf(*format));
    } else {
        path.append(configuredName);
    }
    return path;
}

PixelRect CropRectOf(const TaskReader& task) {
    const GeoRect& area = task.TypedArea();
    const int zoom = task.Zoom();
    const double rangeLeft = static_cast<double>(task.MinX()) * kTileSide;
    const double rangeTop = static_cast<double>(task.MinY()) * kTileSide;
    const double width = static_cast<double>(task.Columns()) * kTileSide;
    const double height = static_cast<double>(task.Rows()) * kTileSide;
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

Georeference GeoreferenceOf(const TaskReader& task, const PixelRect& rect) {
    const int zoom = task.Zoom();
    const double left =
        static_cast<double>(task.MinX()) * kTileSide + static_cast<double>(rect.Left);
    const double top = static_cast<double>(task.MinY()) * kTileSide + static_cast<double>(rect.Top);
    return {PixelXToMercatorX(left, zoom), PixelYToMercatorY(top, zoom), MercatorPixelSize(zoom)};
}

CombineResult CombineTiles(const TaskReader& task, const CombineOptions& options,
                           const CombineProgress& progress) {
    if (task.Naming().Extension == "pbf") {
        throw ECombineError(
            "The task's tiles are vector tiles (pbf), which hold no pixels to combine.");
    }
    const PixelRect rect = options.Crop ? CropRectOf(task)
                                        : PixelRect{0, 0, std::int64_t{task.Columns()} * kTileSide,
                                                    std::int64_t{task.Rows()} * kTileSide};
    const std::string refusal = SizeRefusal(options.Format, rect.Width(), rect.Height());
    if (!refusal.empty()) {
        throw ECombineError(refusal);
    }
    const Georeference where = GeoreferenceOf(task, rect);

    CombineResult result;
    result.Width = rect.Width();
    result.Height = rect.Height();
    try {
        AtomicStdioFile output(options.OutputPath);
        const std::unique_ptr<ImageWriter> writer =
            MakeImageWriter(options.Format, output.File(), rect.Width(), rect.Height(), where);

        const std::int64_t firstColumn = rect.Left / kTileSide;
        const std::int64_t lastColumn = (rect.Right - 1) / kTileSide;
        const std::int64_t firstRow = rect.Top / kTileSide;
        const std::int64_t lastRow = (rect.Bottom - 1) / kTileSide;
        const std::size_t stride =
            static_cast<std::size_t>(lastColumn - firstColumn + 1) * kTileRowBytes;
        std::vector<std::uint8_t> band(stride * kTileSide);
        const std::size_t rowOffset =
            static_cast<std::size_t>(rect.Left - firstColumn * kTileSide) * 3;
        std::string bytes;
        for (std::int64_t row = firstRow; row <= lastRow; ++row) {
            ThrowIfStopped(options.Stop);
            for (std::int64_t column = firstColumn; column <= lastColumn; ++column) {
                const auto x = static_cast<std::int32_t>(task.MinX() + column);
                const auto y = static_cast<std::int32_t>(task.MinY() + row);
                std::uint8_t* at =
                    band.data() + static_cast<std::size_t>(column - firstColumn) * kTileRowBytes;
                std::string reason = DrawTile(task, x, y, at, stride, bytes);
                if (!reason.empty()) {
                    result.Undrawn.push_back({x, y, std::move(reason)});
                }
            }
            const std::int64_t bandTop = row * kTileSide;
            const std::int64_t top = std::max(rect.Top, bandTop);
            const std::int64_t bottom = std::min(rect.Bottom, bandTop + kTileSide);
            for (std::int64_t pixelRow = top; pixelRow < bottom; ++pixelRow) {
                writer->WriteRow(band.data() +
                                 static_cast<std::size_t>(pixelRow - bandTop) * stride + rowOffset);
            }
            if (progress) {
                progress(row - firstRow + 1, lastRow - firstRow + 1);
            }
        }
        ThrowIfStopped(options.Stop);
        writer->Finish();

        CompanionFiles companions;
        result.WorldFile = WorldFileNameOf(options.OutputPath, options.Format);
        if (!result.WorldFile.empty()) {
            result.PrjFile = RemoveFileExt(options.OutputPath) + ".prj";
            result.AuxFile = options.OutputPath + ".aux.xml";
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

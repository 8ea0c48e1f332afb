#include "output/tile_export.h"

#include <algorithm>
#include <filesystem>
#include <span>

#include "download/image_kind.h"
#include "output/geopackage.h"
#include "output/lower_zooms.h"
#include "output/mbtiles_export.h"
#include "output/osmand_sqlitedb.h"
#include "output/pmtiles.h"
#include "output/task_reader.h"
#include "platform/files.h"

namespace tessellon {

namespace {

// Progress is told, and the stop request asked, once a batch of this many
// tiles.
constexpr std::int64_t kProgressEvery = 1024;

GeoRect Union(const GeoRect& a, const GeoRect& b) {
    return {std::min(a.Left, b.Left), std::max(a.Right, b.Right), std::max(a.Top, b.Top),
            std::min(a.Bottom, b.Bottom)};
}

GeoRect Intersection(const GeoRect& a, const GeoRect& b) {
    return {std::max(a.Left, b.Left), std::min(a.Right, b.Right), std::min(a.Top, b.Top),
            std::max(a.Bottom, b.Bottom)};
}

std::unique_ptr<TileSink> MakeSink(ContainerFormat format, const std::string& file, bool existed) {
    switch (format) {
        case ContainerFormat::Mbtiles:
            return MakeMbtilesSink(file, existed);
        case ContainerFormat::GeoPackage:
            return MakeGeoPackageSink(file, existed);
        case ContainerFormat::Osmand:
            return MakeOsmandSink(file, existed);
        case ContainerFormat::Pmtiles:
            break;
    }
    return MakePmtilesSink(file, existed);
}

// The loop over every tile of the projects, into the sink.
class Exporter {
public:
    Exporter(TileSink& sink, const TileExportOptions& options, const ExportProgress& progress)
        : sink_(sink), options_(options), progress_(progress) {}

    TileExport Run(const std::vector<TaskReader>& readers, const std::string& format) {
        sink_.Begin(readers);
        TileExport done;
        std::vector<ProjectExport>& results = done.Projects;
        for (const TaskReader& reader : readers) {
            const TileCover& cover = reader.Cover();
            total_ += cover.Count();
            ProjectExport& result = results.emplace_back();
            result.Project = reader.ProjectPath();
            result.MinZoom = cover.MinZoom();
            result.MaxZoom = cover.MaxZoom();
        }
        if (options_.BuildLower > 0) {
            // Before the projects' tiles: their zooms are the lower ones,
            // which a sink in Hilbert order takes first.
            LowerZoomBuilder lower(readers, options_.BuildLower, format, options_.WithBlanks);
            total_ += lower.Places();
            lower.Build([this] { Tick(); });
            lower.PutInto(sink_);
            done.Built = lower.Built();
        }
        if (sink_.InHilbertOrder()) {
            ExportInHilbertOrder(readers, results);
        } else {
            for (std::size_t i = 0; i < readers.size(); ++i) {
                ThrowIfStopped(options_.Stop);
                ExportInCoverOrder(readers[i], results[i]);
            }
        }
        if (progress_) {
            progress_(done_, total_);
        }
        sink_.Finish(readers, options_, options_.Stop);
        return done;
    }

private:
    void ExportInCoverOrder(const TaskReader& reader, ProjectExport& result) {
        const TileCover& cover = reader.Cover();
        for (int zoom = cover.MinZoom(); zoom <= cover.MaxZoom(); ++zoom) {
            const TileRange& range = cover.RangeAt(zoom);
            for (std::int32_t x = range.MinX; x <= range.MaxX; ++x) {
                // Southmost first: TMS rows ascending, so an index on them
                // grows at its end.
                const std::span<const RowSpan> rows = cover.ColumnRows(zoom, x);
                for (auto run = rows.rbegin(); run != rows.rend(); ++run) {
                    for (std::int32_t y = run->MaxY; y >= run->MinY; --y) {
                        ExportTile(reader, {zoom, x, y}, result);
                    }
                }
            }
        }
    }

    // Every project's tiles by their id on the curve; of a tile two
    // projects have, the later project's comes last and so is kept.
    void ExportInHilbertOrder(const std::vector<TaskReader>& readers,
                              std::vector<ProjectExport>& results) {
        struct Place {
            std::uint64_t Id;
            std::uint32_t Project;
            TileId Tile;
        };
        std::vector<Place> places;
        places.reserve(static_cast<std::size_t>(total_));
        for (std::size_t i = 0; i < readers.size(); ++i) {
            const TileCover& cover = readers[i].Cover();
            for (int zoom = cover.MinZoom(); zoom <= cover.MaxZoom(); ++zoom) {
                const TileRange& range = cover.RangeAt(zoom);
                for (std::int32_t x = range.MinX; x <= range.MaxX; ++x) {
                    for (const RowSpan& run : cover.ColumnRows(zoom, x)) {
                        for (std::int32_t y = run.MinY; y <= run.MaxY; ++y) {
                            const TileId tile{zoom, x, y};
                            places.push_back(
                                {HilbertTileId(tile), static_cast<std::uint32_t>(i), tile});
                        }
                    }
                }
            }
        }
        std::sort(places.begin(), places.end(), [](const Place& a, const Place& b) {
            return a.Id != b.Id ? a.Id < b.Id : a.Project < b.Project;
        });
        for (const Place& place : places) {
            ExportTile(readers[place.Project], place.Tile, results[place.Project]);
        }
    }

    void ExportTile(const TaskReader& reader, const TileId& tile, ProjectExport& result) {
        const TileState state = reader.Read(tile, bytes_, &refusal_);
        if (!refusal_.empty()) {
            if (++result.Skipped <= static_cast<std::int64_t>(kSkipLinesKept)) {
                result.SkipLines.push_back(reader.TilePath(tile) + ": " + refusal_);
            }
        }
        if (state == TileState::Blank) {
            ++result.Blank;
        }
        if (state == TileState::Present || (state == TileState::Blank && options_.WithBlanks)) {
            sink_.Put(tile, bytes_);
            ++result.Written;
        } else if (state == TileState::Failed) {
            ++result.Failed;
        } else if (state == TileState::Missing) {
            ++result.Missing;
        }
        Tick();
    }

    // One tile done: tells the progress and asks the stop once a batch.
    void Tick() {
        if (++done_ % kProgressEvery == 0) {
            if (progress_) {
                progress_(done_, total_);
            }
            ThrowIfStopped(options_.Stop);
        }
    }

    TileSink& sink_;
    const TileExportOptions& options_;
    const ExportProgress& progress_;
    std::int64_t done_ = 0;
    std::int64_t total_ = 0;
    // The last tile's bytes, and why its file was not read; kept to reuse
    // their room.
    std::string bytes_;
    std::string refusal_;
};

}  // namespace

std::string CommonTileFormat(const std::vector<TaskReader>& readers, const std::string& fileFormat,
                             const std::string& file, std::string_view title) {
    std::string format = fileFormat;
    std::string formatOf = file;
    for (const TaskReader& reader : readers) {
        const std::string& extension = reader.Naming().Extension;
        if (format.empty()) {
            format = extension;
            formatOf = reader.ProjectPath();
        } else if (extension != format) {
            std::string message = "Cannot mix tile formats in one ";
            message.append(title).append(" file: ").append(reader.ProjectPath());
            message.append(" has ").append(extension).append(" tiles, ").append(formatOf);
            message.append(" has ").append(format).append(".");
            throw ETileContainerError(message);
        }
    }
    return format;
}

GeoRect CoveredAtEveryZoom(const std::vector<std::pair<int, TileRange>>& ranges) {
    GeoRect common = TileRangeEdges(ranges.front().second, ranges.front().first);
    GeoRect all = common;
    for (const auto& [zoom, range] : ranges) {
        const GeoRect edges = TileRangeEdges(range, zoom);
        common = Intersection(common, edges);
        all = Union(all, edges);
    }
    return common.Left < common.Right && common.Bottom < common.Top ? common : all;
}

void AddZoomRange(std::vector<std::pair<int, TileRange>>& ranges, int zoom,
                  const TileRange& range) {
    const auto at = std::lower_bound(ranges.begin(), ranges.end(), zoom,
                                     [](const auto& entry, int z) { return entry.first < z; });
    if (at == ranges.end() || at->first != zoom) {
        ranges.emplace(at, zoom, range);
        return;
    }
    TileRange& known = at->second;
    known = {std::min(known.MinX, range.MinX), std::min(known.MinY, range.MinY),
             std::max(known.MaxX, range.MaxX), std::max(known.MaxY, range.MaxY)};
}

std::vector<std::pair<int, TileRange>> CoverRanges(const std::vector<TaskReader>& readers) {
    std::vector<std::pair<int, TileRange>> ranges;
    for (const TaskReader& reader : readers) {
        const TileCover& cover = reader.Cover();
        for (int zoom = cover.MinZoom(); zoom <= cover.MaxZoom(); ++zoom) {
            AddZoomRange(ranges, zoom, cover.RangeAt(zoom));
        }
    }
    return ranges;
}

std::string JoinedAttribution(const std::vector<TaskReader>& readers, std::string known) {
    for (const TaskReader& reader : readers) {
        if (reader.Source() && !reader.Source()->Attribution().empty() &&
            known.find(reader.Source()->Attribution()) == std::string::npos) {
            known += known.empty() ? "" : "; ";
            known += reader.Source()->Attribution();
        }
    }
    return known;
}

std::string ExportSummaryLine(const ProjectExport& result, bool withBlanks) {
    std::string line = result.Project;
    if (result.MinZoom == result.MaxZoom) {
        line += ": zoom ";
        line += std::to_string(result.MinZoom);
    } else {
        line += ": zooms ";
        line += std::to_string(result.MinZoom);
        line += "-";
        line += std::to_string(result.MaxZoom);
    }
    line += ", ";
    line += std::to_string(result.Written);
    line += " tiles written";
    if (withBlanks) {
        line += " (";
        line += std::to_string(result.Blank);
        line += " blank); left out: ";
    } else {
        line += "; left out: ";
        line += std::to_string(result.Blank);
        line += " blank, ";
    }
    line += std::to_string(result.Failed);
    line += " failed, ";
    line += std::to_string(result.Missing);
    line += " missing.";
    return line;
}

std::string BuiltZoomsLine(const std::vector<BuiltZoom>& built) {
    if (built.empty()) {
        return {};
    }
    std::string line = built.size() == 1 ? "Zoom " : "Zooms ";
    line += std::to_string(built.front().Zoom);
    if (built.size() > 1) {
        line.append("-").append(std::to_string(built.back().Zoom));
    }
    line += " built from zoom " + std::to_string(built.back().Zoom + 1) + ": ";
    for (std::size_t i = 0; i < built.size(); ++i) {
        line += i == 0 ? "" : i + 1 == built.size() ? " and " : ", ";
        line += std::to_string(built[i].Tiles);
    }
    line += built.size() == 1 && built.front().Tiles == 1 ? " tile." : " tiles.";
    return line;
}

std::vector<std::string> ExportSkipLines(const ProjectExport& result) {
    std::vector<std::string> lines;
    for (const std::string& skipped : result.SkipLines) {
        lines.push_back("Skipped " + skipped + ".");
    }
    if (result.Skipped > static_cast<std::int64_t>(result.SkipLines.size())) {
        lines.push_back(
            "Skipped " +
            std::to_string(result.Skipped - static_cast<std::int64_t>(result.SkipLines.size())) +
            " more tile files of " + result.Project + ".");
    }
    return lines;
}

TileExport ExportTiles(ContainerFormat format, const std::vector<std::string>& projects,
                       const std::string& file, const TileExportOptions& options,
                       const ExportProgress& progress) {
    // Every project is read before the file is touched.
    std::vector<TaskReader> readers;
    for (const std::string& project : projects) {
        readers.emplace_back(project, options.BlankFolder);
    }
    if (readers.empty()) {
        throw ETileContainerError("No project to export.");
    }
    const std::string title(RowOf(format).Title);
    std::string tileFormat;
    if (options.BuildLower > 0) {
        tileFormat = CommonTileFormat(readers, "", file, title);
        if (ImageKindOfFormat(tileFormat) == ImageKind::None) {
            throw ETileContainerError("Lower zooms are built from image tiles; " +
                                      readers.front().ProjectPath() + " has " + tileFormat +
                                      " tiles.");
        }
        const int least = CoverRanges(readers).front().first;
        if (options.BuildLower > least) {
            throw ETileContainerError(least == 0
                                          ? "No zoom can be built below zoom 0, the least there is."
                                          : "Cannot build " + std::to_string(options.BuildLower) +
                                                " zooms below zoom " + std::to_string(least) +
                                                ": zoom 0 is the least there is, so at most " +
                                                std::to_string(least) + ".");
        }
    }
    const std::string refusal = OutputRefusal(file);
    if (!refusal.empty()) {
        throw ETileContainerError("Cannot export into " + file + ": it is " + refusal + ", not " +
                                  std::string(ArticleOf(title)) + " " + title + " file.");
    }
    const bool existed = FileExists(file);
    std::unique_ptr<TileSink> sink;
    try {
        sink = MakeSink(format, file, existed);
        return Exporter(*sink, options, progress).Run(readers, tileFormat);
    } catch (...) {
        // Closed first: the file is not removed under an open connection.
        sink.reset();
        if (!existed) {
            std::error_code ignored;
            std::filesystem::remove(file, ignored);
        }
        throw;
    }
}

}  // namespace tessellon

#include "output/mbtiles_export.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <utility>

#include "output/sqlite_db.h"
#include "output/task_reader.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace tessellon {

namespace {

// A viewer reading the file holds it for a moment at a time; wait that out,
// but report a file held open for writing soon.
constexpr int kWriterBusyMillis = 1000;
// Progress is told, and the stop request asked, once a batch of this many
// tiles.
constexpr std::int64_t kProgressEvery = 1024;

// The tables and index of an MBTiles file; a file made elsewhere may have
// made them already.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS metadata (name text, value text);"
    "CREATE TABLE IF NOT EXISTS tiles (zoom_level integer, tile_column integer, "
    "tile_row integer, tile_data blob);"
    "CREATE UNIQUE INDEX IF NOT EXISTS tile_index ON tiles (zoom_level, tile_column, "
    "tile_row);";

[[noreturn]] void Refuse(const std::string& file, std::string_view why) {
    std::string message = "The file ";
    message += file;
    message += why;
    throw EMbtilesError(message);
}

std::string ValueOf(const std::map<std::string, std::string>& metadata, const std::string& name) {
    const auto found = metadata.find(name);
    return found == metadata.end() ? std::string() : found->second;
}

std::string FormatNumber(double value) {
    char text[32];
    const auto result = std::to_chars(std::begin(text), std::end(text), value);
    return std::string(text, result.ptr);
}

GeoRect Union(const GeoRect& a, const GeoRect& b) {
    return {std::min(a.Left, b.Left), std::max(a.Right, b.Right), std::max(a.Top, b.Top),
            std::min(a.Bottom, b.Bottom)};
}

GeoRect Intersection(const GeoRect& a, const GeoRect& b) {
    return {std::max(a.Left, b.Left), std::min(a.Right, b.Right), std::min(a.Top, b.Top),
            std::max(a.Bottom, b.Bottom)};
}

TileRange Union(const TileRange& a, const TileRange& b) {
    return {std::min(a.MinX, b.MinX), std::min(a.MinY, b.MinY), std::max(a.MaxX, b.MaxX),
            std::max(a.MaxY, b.MaxY)};
}

// Each zoom's tiles in the file, XYZ rows, with the covers of the projects
// just exported: their blank and missing edge tiles are part of their area.
// Rows of a file from elsewhere outside the grid are held to it.
std::map<int, TileRange> RangesByZoom(SqliteDb& db, const std::vector<TaskReader>& readers) {
    std::map<int, TileRange> ranges;
    SqliteStatement rows = db.Prepare(
        "SELECT zoom_level, min(tile_column), max(tile_column), min(tile_row), max(tile_row) "
        "FROM tiles WHERE zoom_level BETWEEN 0 AND 30 GROUP BY zoom_level");
    while (rows.Step()) {
        const int zoom = static_cast<int>(rows.Integer(0));
        const std::int64_t last = (std::int64_t{1} << zoom) - 1;
        auto onGrid = [last](std::int64_t value) {
            return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, 0, last));
        };
        ranges[zoom] = {onGrid(rows.Integer(1)), FlipRow(zoom, onGrid(rows.Integer(4))),
                        onGrid(rows.Integer(2)), FlipRow(zoom, onGrid(rows.Integer(3)))};
    }
    for (const TaskReader& reader : readers) {
        const TileCover& cover = reader.Cover();
        for (int zoom = cover.MinZoom(); zoom <= cover.MaxZoom(); ++zoom) {
            const auto found = ranges.find(zoom);
            ranges[zoom] = found == ranges.end() ? cover.RangeAt(zoom)
                                                 : Union(found->second, cover.RangeAt(zoom));
        }
    }
    return ranges;
}

// The area every zoom has tiles for, as MBTiles wants its bounds: a viewer
// opens the deepest zoom at these bounds, and a zoom that covered less would
// show empty there. Zooms of places apart cover no area in common; their
// bounds are then the area of them all, so none is cut off.
GeoRect CoveredAtEveryZoom(const std::map<int, TileRange>& ranges) {
    GeoRect common = TileRangeEdges(ranges.begin()->second, ranges.begin()->first);
    GeoRect all = common;
    for (const auto& [zoom, range] : ranges) {
        const GeoRect edges = TileRangeEdges(range, zoom);
        common = Intersection(common, edges);
        all = Union(all, edges);
    }
    return common.Left < common.Right && common.Bottom < common.Top ? common : all;
}

// The one format of all the projects' tiles, checked against the file's.
std::string CommonFormat(const std::vector<TaskReader>& readers, const std::string& fileFormat,
                         const std::string& file) {
    std::string format = fileFormat;
    std::string formatOf = file;
    for (const TaskReader& reader : readers) {
        const std::string& extension = reader.Naming().Extension;
        if (format.empty()) {
            format = extension;
            formatOf = reader.ProjectPath();
        } else if (extension != format) {
            std::string message = "Cannot mix tile formats in one MBTiles file: ";
            message += reader.ProjectPath();
            message += " has ";
            message += extension;
            message += " tiles, ";
            message += formatOf;
            message += " has ";
            message += format;
            message += ".";
            throw EMbtilesError(message);
        }
    }
    return format;
}

class Exporter {
public:
    Exporter(SqliteDb& db, const MbtilesExportOptions& options, const ExportProgress& progress)
        : db_(db), options_(options), progress_(progress) {}

    std::vector<ProjectExport> Run(const std::vector<TaskReader>& readers) {
        SqliteTransaction transaction(db_);
        CheckTables();
        db_.Execute(kSchema);
        std::map<std::string, std::string> metadata = ReadMetadata();
        const std::string format = CommonFormat(readers, ValueOf(metadata, "format"), db_.Path());

        for (const TaskReader& reader : readers) {
            total_ += reader.Cover().Count();
        }
        SqliteStatement insert = db_.Prepare(
            "INSERT OR REPLACE INTO tiles (zoom_level, tile_column, tile_row, tile_data) "
            "VALUES (?, ?, ?, ?)");
        std::vector<ProjectExport> results;
        for (const TaskReader& reader : readers) {
            ThrowIfStopped(options_.Stop);
            results.push_back(Export(reader, insert));
        }
        UpdateMetadata(std::move(metadata), readers, format);
        // The last moment a stop leaves the file as it was.
        ThrowIfStopped(options_.Stop);
        transaction.Commit();
        return results;
    }

private:
    // A database that has tables of its own is some other program's file.
    void CheckTables() {
        SqliteStatement tables = db_.Prepare(
            "SELECT count(*), count(CASE WHEN type = 'table' AND name IN ('tiles', 'metadata') "
            "THEN 1 END) FROM sqlite_master WHERE type IN ('table', 'view')");
        tables.Step();
        const std::int64_t all = tables.Integer(0);
        const std::int64_t ours = tables.Integer(1);
        if (all > 0 && ours != 2) {
            Refuse(db_.Path(),
                   " is not an MBTiles file that can be written: it has no tiles and "
                   "metadata tables.");
        }
    }

    std::map<std::string, std::string> ReadMetadata() {
        std::map<std::string, std::string> metadata;
        SqliteStatement rows = db_.Prepare("SELECT name, value FROM metadata");
        while (rows.Step()) {
            metadata[rows.Text(0)] = rows.Text(1);
        }
        return metadata;
    }

    ProjectExport Export(const TaskReader& reader, SqliteStatement& insert) {
        const TileCover& cover = reader.Cover();
        ProjectExport result;
        result.Project = reader.ProjectPath();
        result.MinZoom = cover.MinZoom();
        result.MaxZoom = cover.MaxZoom();
        std::string bytes;
        for (int zoom = cover.MinZoom(); zoom <= cover.MaxZoom(); ++zoom) {
            const TileRange& range = cover.RangeAt(zoom);
            for (std::int32_t x = range.MinX; x <= range.MaxX; ++x) {
                // Southmost first: TMS rows ascending, so the index grows at
                // its end.
                const std::span<const RowSpan> rows = cover.ColumnRows(zoom, x);
                for (auto run = rows.rbegin(); run != rows.rend(); ++run) {
                    for (std::int32_t y = run->MaxY; y >= run->MinY; --y) {
                        ExportTile(reader, {zoom, x, y}, bytes, insert, result);
                    }
                }
            }
        }
        if (progress_) {
            progress_(done_, total_);
        }
        return result;
    }

    void ExportTile(const TaskReader& reader, const TileId& tile, std::string& bytes,
                    SqliteStatement& insert, ProjectExport& result) {
        const TileState state = reader.Read(tile, bytes, &refusal_);
        if (!refusal_.empty()) {
            if (++result.Skipped <= static_cast<std::int64_t>(kSkipLinesKept)) {
                result.SkipLines.push_back(reader.TilePath(tile) + ": " + refusal_);
            }
        }
        if (state == TileState::Blank) {
            ++result.Blank;
        }
        if (state == TileState::Present || (state == TileState::Blank && options_.WithBlanks)) {
            insert.Bind(1, std::int64_t{tile.Zoom});
            insert.Bind(2, std::int64_t{tile.X});
            insert.Bind(3, std::int64_t{FlipRow(tile.Zoom, tile.Y)});
            insert.BindBlob(4, bytes);
            insert.Step();
            insert.Reset();
            ++result.Written;
        } else if (state == TileState::Failed) {
            ++result.Failed;
        } else if (state == TileState::Missing) {
            ++result.Missing;
        }
        if (++done_ % kProgressEvery == 0) {
            if (progress_) {
                progress_(done_, total_);
            }
            ThrowIfStopped(options_.Stop);
        }
    }

    void UpdateMetadata(std::map<std::string, std::string> metadata,
                        const std::vector<TaskReader>& readers, const std::string& format) {
        // From the rows: a file made elsewhere may have no metadata, or
        // metadata that does not tell of all its tiles.
        const std::map<int, TileRange> ranges = RangesByZoom(db_, readers);
        const GeoRect bounds = CoveredAtEveryZoom(ranges);
        const std::pair<int, int> zooms{ranges.begin()->first, ranges.rbegin()->first};
        std::string attribution = ValueOf(metadata, "attribution");
        for (const TaskReader& reader : readers) {
            if (reader.Source() && !reader.Source()->Attribution().empty() &&
                attribution.find(reader.Source()->Attribution()) == std::string::npos) {
                attribution += attribution.empty() ? "" : "; ";
                attribution += reader.Source()->Attribution();
            }
        }

        if (!options_.Name.empty()) {
            metadata["name"] = options_.Name;
        } else if (ValueOf(metadata, "name").empty()) {
            metadata["name"] = RemoveFileExt(ExtractFileName(readers.front().ProjectPath()));
        }
        metadata["format"] = format;
        metadata["type"] = "baselayer";
        metadata["bounds"] = FormatNumber(bounds.Left) + "," + FormatNumber(bounds.Bottom) + "," +
                             FormatNumber(bounds.Right) + "," + FormatNumber(bounds.Top);
        metadata["center"] = FormatNumber((bounds.Left + bounds.Right) / 2) + "," +
                             FormatNumber((bounds.Top + bounds.Bottom) / 2) + "," +
                             std::to_string(zooms.first);
        metadata["minzoom"] = std::to_string(zooms.first);
        metadata["maxzoom"] = std::to_string(zooms.second);
        if (!attribution.empty()) {
            metadata["attribution"] = attribution;
        }

        SqliteStatement remove = db_.Prepare("DELETE FROM metadata WHERE name = ?");
        SqliteStatement insert = db_.Prepare("INSERT INTO metadata (name, value) VALUES (?, ?)");
        for (const auto& [name, value] : metadata) {
            remove.Bind(1, name);
            remove.Step();
            remove.Reset();
            insert.Bind(1, name);
            insert.Bind(2, value);
            insert.Step();
            insert.Reset();
        }
    }

    SqliteDb& db_;
    const MbtilesExportOptions& options_;
    const ExportProgress& progress_;
    std::int64_t done_ = 0;
    std::int64_t total_ = 0;
    // Why the last tile's file was not read; kept to reuse its room.
    std::string refusal_;
};

}  // namespace

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

std::vector<ProjectExport> ExportMbtiles(const std::vector<std::string>& projects,
                                         const std::string& file,
                                         const MbtilesExportOptions& options,
                                         const ExportProgress& progress) {
    // Every project is read before the file is touched.
    std::vector<TaskReader> readers;
    for (const std::string& project : projects) {
        readers.emplace_back(project, options.BlankFolder);
    }
    if (readers.empty()) {
        throw EMbtilesError("No project to export.");
    }
    const std::string refusal = OutputRefusal(file);
    if (!refusal.empty()) {
        throw EMbtilesError("Cannot export into " + file + ": it is " + refusal +
                            ", not an MBTiles file.");
    }
    const bool existed = FileExists(file);
    try {
        // A file made now is ours; one that was there comes from anywhere.
        // A new file is never made behind a symbolic link.
        SqliteDb db(
            file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | (existed ? 0 : SQLITE_OPEN_NOFOLLOW),
            kWriterBusyMillis, ThrowMbtilesError, existed ? ForeignMbtilesGuard() : SqliteGuard{});
        // Before the transaction, so that a refused file is left without a
        // journal beside it.
        RefuseActiveTables(db);
        // Big enough for the index of a large export; pages leave it only at
        // the commit.
        db.Execute("PRAGMA cache_size = -65536");
        return Exporter(db, options, progress).Run(readers);
    } catch (...) {
        if (!existed) {
            std::error_code ignored;
            std::filesystem::remove(file, ignored);
        }
        throw;
    }
}

}  // namespace tessellon

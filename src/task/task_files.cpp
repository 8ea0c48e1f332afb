// The four files a task leaves beside its tile folder: the project file, the
// tile list, the log and the failed-tile list. Every line ends in CR LF and
// every file is replaced whole and atomically (the log then grows by appends
// of the running download); the project file comes last, since its presence
// marks a task that can continue.

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "geo/tile_math.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shown_text.h"
#include "platform/text_format.h"
#include "task/md_task.h"

namespace tessellon {

namespace {

constexpr const char* kTileListHeader =
    "ImageFileName    Left_Edge_Longitude    Right_Edge_Longitude   Top_Edge_Latitude      "
    "Bottom_Edge_Latitude";

// The lines that name a source task's source.
std::vector<std::string> SourceLogLines(const TileSource& source) {
    std::vector<std::string> lines = {
        "Source: " + ShowControlCharacters(source.Name()),
        "Url: " + source.Url().Text(),
    };
    for (const auto& [name, value] : source.Headers()) {
        lines.push_back("Header: " + ShownHeader(name, value));
    }
    if (!source.Terms().empty()) {
        lines.push_back("Terms: " + source.Terms());
    }
    if (source.Insecure()) {
        lines.emplace_back(InsecureSourceLine(source));
    }
    lines.emplace_back();
    return lines;
}

void AppendInteger(std::string& text, std::int64_t value) {
    char digits[24];
    text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

}  // namespace

void MDTask::WriteTaskFiles(const StartCancelCheck& cancelled) const {
    const auto check = [&] {
        if (cancelled && cancelled()) {
            throw EStartCancelled();
        }
    };
    for (const std::string& file :
         {ProjectFileName(), ListFileName, LogFileName, FailedFileName, AreaFileName}) {
        RemoveOrphanTemporaryFiles(file);
    }
    if (!Params->ContinueTask) {
        // The project of the task this one replaces goes first: with it
        // beside the new list and log, a later start would continue it.
        std::remove(ProjectFileName().c_str());
    }
    // Synced as one and named in this order, the project last.
    AtomicFileGroup files;
    const FileWriteOptions inGroup{.Group = &files};
    check();
    if (!TileListWrittenBeside()) {
        WriteTileList(cancelled, inGroup);
        check();
    }
    WriteLogHeader(inGroup);
    check();
    CreateFailedList(inGroup);
    check();
    if (!Params->ContinueTask) {
        WriteAreaCopy(inGroup);
        check();
        WriteProjectFile(inGroup);
    }
    files.Commit();
}

void MDTask::WriteAreaCopy(FileWriteOptions options) const {
    if (Params->Shape) {
        WriteFileAtomic(AreaFileName, Params->Shape->CopyText, options);
    }
}

void MDTask::WriteProjectFile(FileWriteOptions options) const {
    const TaskParameters& p = *Params;
    Project().Write({.MapsType = p.MapsType,
                     .LeftLongitude = p.LeftLongitude,
                     .RightLongitude = p.RightLongitude,
                     .TopLatitude = p.TopLatitude,
                     .BottomLatitude = p.BottomLatitude,
                     .DownloadLeftLongitude = DownloadLeftLongitude,
                     .DownloadRightLongitude = DownloadRightLongitude,
                     .DownloadTopLatitude = DownloadTopLatitude,
                     .DownloadBottomLatitude = DownloadBottomLatitude,
                     .Zoom = p.Zoom,
                     .MinX = MinX,
                     .MinY = MinY,
                     .MaxX = MaxX,
                     .MaxY = MaxY,
                     .ThreadCount = p.ThreadCount,
                     .ThreadSlots = p.ThreadSlots,
                     .Source = p.Source ? p.Source->Keys() : SourceKeys{},
                     .Cover = CoverKeys()},
                    options);
}

std::optional<ProjectCover> MDTask::CoverKeys() const {
    if (Cover.IsSingleRectangle()) {
        return std::nullopt;
    }
    const TaskParameters& p = *Params;
    return ProjectCover{.ZoomFrom = Cover.MinZoom(),
                        .ZoomTo = Cover.MaxZoom(),
                        .Area = p.Shape ? ExtractFileName(AreaFileName) : "",
                        .BufferMetres = p.Shape ? p.Shape->BufferMetres : 0,
                        .Count = TotalCount};
}

bool MDTask::TileListWrittenBeside() const {
    return Params->ContinueTask ? !FileExists(ListFileName) : TotalCount > kTileListAtStartLimit;
}

void MDTask::WriteTileList(const StartCancelCheck& cancelled, FileWriteOptions options) const {
    if (Params->ContinueTask && FileExists(ListFileName)) {
        return;
    }
    // Streamed line by line: a task of millions of tiles never holds its list
    // in memory.
    AtomicFileWriter writer(ListFileName, options);
    writer.AppendLine(kTileListHeader);
    for (int zoom = Cover.MinZoom(); zoom <= Cover.MaxZoom(); ++zoom) {
        WriteTileListZoom(writer, zoom, cancelled);
    }
    writer.Commit();
}

void MDTask::WriteTileListZoom(AtomicFileWriter& writer, int zoom,
                               const StartCancelCheck& cancelled) const {
    if (Cover.CountAt(zoom) == 0) {
        return;
    }
    const TileRange range = Cover.RangeAt(zoom);
    // The edge texts repeat along every column and every row, so each is
    // formatted once: a row's north edge is the south edge of the row above.
    std::string northEdges;
    const auto rows = static_cast<std::size_t>(range.Rows());
    northEdges.reserve((rows + 1) * 20);
    for (std::int64_t y = range.MinY; y <= static_cast<std::int64_t>(range.MaxY) + 1; ++y) {
        AppendFixed20_14(northEdges, TileYToLatitude(static_cast<double>(y), zoom));
    }
    const auto edgeText = [&](std::int64_t y) {
        // Fixed 20.14 texts of latitudes are exactly 20 characters wide.
        return std::string_view(northEdges)
            .substr(static_cast<std::size_t>(y - range.MinY) * 20, 20);
    };

    const TileNaming naming = Naming();
    const std::string prefix = naming.Prefix + "_";
    std::string suffix = "_";
    AppendInteger(suffix, zoom);
    suffix += '.';
    suffix += naming.Extension;
    suffix += ": ";

    std::string line;
    for (std::int32_t x = range.MinX; x <= range.MaxX; ++x) {
        std::string columnHead = prefix;
        AppendInteger(columnHead, x);
        columnHead += '_';
        std::string columnEdges;
        AppendFixed20_14(columnEdges, TileXToLongitude(static_cast<double>(x), zoom));
        columnEdges += ' ';
        AppendFixed20_14(columnEdges, TileXToLongitude(static_cast<double>(x) + 1, zoom));
        columnEdges += ' ';
        for (const RowSpan& run : Cover.ColumnRows(zoom, x)) {
            for (std::int64_t y = run.MinY; y <= run.MaxY; ++y) {
                line = columnHead;
                AppendInteger(line, y);
                line += suffix;
                line += columnEdges;
                line += edgeText(y);
                line += ' ';
                line += edgeText(y + 1);
                writer.AppendLine(line);
            }
        }
        if (cancelled && cancelled()) {
            throw EStartCancelled();
        }
    }
}

void MDTask::WriteLogHeader(FileWriteOptions options) const {
    if (Params->ContinueTask && FileExists(LogFileName)) {
        // Copied a line at a time, so a log of millions of lines is never
        // held whole; the copy ends every line in CR LF like any rewrite.
        TextLineReader reader(LogFileName, std::string::npos);
        AtomicFileWriter writer(LogFileName, options);
        std::string line;
        while (reader.Next(line)) {
            writer.AppendLine(line);
        }
        for (const std::string& added : LogContinueLines()) {
            writer.AppendLine(added);
        }
        writer.Commit();
        return;
    }
    WriteLinesAtomic(LogFileName, LogHeadLines(), options);
}

std::vector<std::string> MDTask::LogContinueLines() const {
    std::vector<std::string> lines = {"--------------------------------------------",
                                      "Log continue...", "Now time is:" + LocalDateTimeText()};
    // Every start says it: a project may come from someone else.
    if (Params->Source && Params->Source->Insecure()) {
        lines.emplace_back(InsecureSourceLine(*Params->Source));
    }
    return lines;
}

std::vector<std::string> MDTask::LogHeadLines() const {
    const TaskParameters& p = *Params;
    std::vector<std::string> lines = {
        "Project: " + ProjectFileName(),
        "Now time is:" + LocalDateTimeText(),
        "",
        "[MapsType]",
        "MapsType=" + std::to_string(p.MapsType),
        "",
    };
    if (p.Source) {
        const std::vector<std::string> sourceLines = SourceLogLines(*p.Source);
        lines.insert(lines.end(), sourceLines.begin(), sourceLines.end());
    }
    if (p.UseProxy) {
        // The password never reaches the log in clear.
        lines.insert(lines.end(), {
                                      "Using Proxy:",
                                      "Proxy Server:" + p.ProxyServer,
                                      "Proxy Port:" + p.ProxyPort,
                                      "ProxyUsername:" + p.ProxyUsername,
                                      std::string("ProxyPassword:") +
                                          (p.ProxyPassword.empty() ? "" : kSecretMask),
                                      "",
                                  });
    }
    lines.insert(lines.end(), {
                                  "Left Longitude  input= " + FormatGeneral(p.LeftLongitude),
                                  "Right Longitude input= " + FormatGeneral(p.RightLongitude),
                                  "Top Latitude    input= " + FormatGeneral(p.TopLatitude),
                                  "Bottom Latitude input= " + FormatGeneral(p.BottomLatitude),
                                  "",
                              });
    if (p.Shape) {
        // The bounds above are the shape's bounding rectangle.
        lines.insert(lines.end(), {
                                      "Area: " + AreaFileName,
                                      "Buffer: " + FormatGeneral(p.Shape->BufferMetres) + " m",
                                      "",
                                  });
    }
    const std::string zooms =
        Cover.MinZoom() == Cover.MaxZoom()
            ? std::to_string(Cover.MinZoom())
            : std::to_string(Cover.MinZoom()) + "-" + std::to_string(Cover.MaxZoom());
    lines.insert(lines.end(),
                 {
                     "MinX = " + std::to_string(MinX),
                     "MinY = " + std::to_string(MinY),
                     "MaxX = " + std::to_string(MaxX),
                     "MaxY = " + std::to_string(MaxY),
                     "",
                     "Left Longitude  download=" + FormatGeneral(DownloadLeftLongitude),
                     "Right Longitude download=" + FormatGeneral(DownloadRightLongitude),
                     "Top Latitude    download=" + FormatGeneral(DownloadTopLatitude),
                     "Bottom Latitude download=" + FormatGeneral(DownloadBottomLatitude),
                     "",
                     "All images' scope information are saved to " + ListFileName,
                     "",
                     "Total count of images would be downloaded: " + std::to_string(TotalCount),
                     "",
                     "Download threads count: " + std::to_string(p.ThreadCount),
                     "",
                     "Zoom level: " + zooms,
                     "",
                     "path: " + p.SavePath,
                     "",
                     "Start downloading...",
                     "~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~",
                 });
    return lines;
}

void MDTask::CreateFailedList(FileWriteOptions options) const {
    if (Params->ContinueTask && FileExists(FailedFileName)) {
        return;
    }
    WriteFileAtomic(FailedFileName, "", options);
}

}  // namespace tessellon

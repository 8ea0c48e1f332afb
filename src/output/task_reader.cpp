#include "output/task_reader.h"

#include "area/area_copy.h"
#include "area/area_file.h"
#include "download/failed_list.h"
#include "geo/tile_math.h"
#include "net/net_limits.h"
#include "platform/files.h"
#include "platform/numbers.h"
#include "platform/paths.h"
#include "task/project_file.h"

namespace tessellon {

namespace {

// The deepest zoom the tile math handles.
constexpr int kMaxReadableZoom = 30;

std::int32_t ReadRangeKey(const ProjectContents& project, const std::string& fileName,
                          const ProjectKey& key) {
    const std::optional<std::int32_t> value = ParseInteger<std::int32_t>(project.Text(key));
    if (!value) {
        throw ETaskReadError(fileName + ": " + std::string(key.Key) + " is not a tile number.");
    }
    return *value;
}

GeoRect ReadTypedArea(const ProjectContents& project) {
    const ProjectArea area = project.Area();
    return {ParseLeadingDecimal(area.LeftLongitude), ParseLeadingDecimal(area.RightLongitude),
            ParseLeadingDecimal(area.TopLatitude), ParseLeadingDecimal(area.BottomLatitude)};
}

}  // namespace

// The tiles the task's download walked: one rectangle at one zoom is the
// stored range; the zooms of a larger rectangle come from its bounds.
TileCover TaskReader::ReadCover(const ProjectContents& project, const std::string& projectPath,
                                int zoom, const TileRange& stored) {
    const std::optional<ProjectCover> cover = project.Cover();
    if (!cover) {
        return TileCover::OfRange(stored, zoom);
    }
    if (cover->ZoomFrom != zoom || cover->ZoomTo < cover->ZoomFrom || cover->ZoomTo > kMaxZoom) {
        throw ETaskReadError(projectPath + ": the zooms are not ones a task has.");
    }
    if (cover->Area.empty()) {
        return TileCover::OfRectangle(typedArea_, cover->ZoomFrom, cover->ZoomTo);
    }
    // The copy lies beside the project, wherever the folder has moved.
    if (ExtractFileName(cover->Area) != cover->Area) {
        throw ETaskReadError(projectPath + ": the area " + cover->Area + " is not beside it.");
    }
    try {
        shape_ = ReadAreaCopy(ExtractFilePath(projectPath) + cover->Area);
    } catch (const EAreaError& e) {
        throw ETaskReadError(e.what());
    }
    return TileCover::OfShape(*shape_, cover->ZoomFrom, cover->ZoomTo);
}

TaskReader::TaskReader(const std::string& projectPath, const std::string& blankFolder)
    : projectPath_(projectPath) {
    const ProjectContents project = ProjectFile(projectPath).Read();
    if (!project.HoldsTask()) {
        throw ENotAProjectError(projectPath);
    }
    mapsType_ = project.Integer(project_keys::MapsTypeWhenOpening);
    if (mapsType_ == kMapsTypeSource) {
        // The keys a task keeps always hold the user agent, so no version
        // is needed to make one.
        source_ = TileSource::FromKeys(project.Source(), "");
    }
    naming_ = TileNamingOf(mapsType_, source_);
    if (naming_.Prefix.empty()) {
        throw ETaskReadError(projectPath + ": map type " + std::to_string(mapsType_) +
                             " is not one a task downloads.");
    }

    const std::optional<int> zoom = ParseInteger<int>(project.Text(project_keys::Zoom));
    if (!zoom || *zoom < 0 || *zoom > kMaxReadableZoom) {
        throw ETaskReadError(projectPath + ": the zoom is not one a task has.");
    }
    TileRange stored{ReadRangeKey(project, projectPath, project_keys::MinX),
                     ReadRangeKey(project, projectPath, project_keys::MinY),
                     ReadRangeKey(project, projectPath, project_keys::MaxX),
                     ReadRangeKey(project, projectPath, project_keys::MaxY)};
    // Tasks that reached longitude 180 once listed a column past the grid,
    // which has no tiles.
    const std::int64_t side = std::int64_t{1} << *zoom;
    if (stored.MaxX == side && stored.MinX < stored.MaxX) {
        --stored.MaxX;
    }
    if (stored.MinX < 0 || stored.MinY < 0 || stored.MinX > stored.MaxX ||
        stored.MinY > stored.MaxY || stored.MaxX >= side || stored.MaxY >= side) {
        throw ETaskReadError(projectPath + ": the tile range is not one a task has.");
    }
    typedArea_ = ReadTypedArea(project);
    cover_ = ReadCover(project, projectPath, *zoom, stored);
    if (shape_) {
        // The keys hold the same rectangle, rounded.
        typedArea_ = ShapeBounds(*shape_);
    }
    const TileRange range = cover_.RangeAt(*zoom);
    if (cover_.Count() > kMaxTileCount || range.MinX != stored.MinX || range.MaxX != stored.MaxX ||
        range.MinY != stored.MinY || range.MaxY != stored.MaxY) {
        throw ETaskReadError(projectPath + ": the tile range is not one a task has.");
    }

    const std::string base =
        ExtractFilePath(projectPath) + RemoveFileExt(ExtractFileName(projectPath));
    imageFolder_ = base + "/";
    failedFileName_ = base + std::string(kFailedFileSuffix);
    if (!DirectoryExists(imageFolder_)) {
        throw ETaskReadError("The tile folder " + imageFolder_ + " is missing.");
    }

    const std::string blankPath =
        IncludeTrailingSeparator(blankFolder) + "blank." + naming_.Extension;
    if (FileExists(blankPath)) {
        blank_ = ReadInputFile(blankPath);
    }
    ReadFailedList();
}

void TaskReader::ReadFailedList() {
    if (!FileExists(failedFileName_)) {
        return;
    }
    // Read as a stream: the list of a large task that failed often is long.
    TextLineReader list(failedFileName_, kMaxFailedRecordBytes);
    std::string line;
    while (list.Next(line)) {
        const std::optional<FailedTileRecord> record = ParseFailedRecord(line);
        if (!record || list.LineTooLong()) {
            continue;
        }
        // Matched by name alone: the folder may have moved since the run.
        const std::string fileName = ExtractFileName(record->Path);
        const std::optional<TileFileName> name = ParseTileFileName(fileName);
        if (name && name->Prefix == naming_.Prefix && name->Extension == naming_.Extension) {
            if (const std::int64_t seq = cover_.SeqOf({name->Zoom, name->X, name->Y}); seq != 0) {
                failed_.insert(seq);
            }
        }
    }
}

std::string TaskReader::TilePath(const TileId& tile) const {
    return imageFolder_ + naming_.FileName(tile.X, tile.Y, tile.Zoom);
}

TileState TaskReader::StateOfFile(const TileId& tile, bool hasFile, bool isBlank) const {
    if (hasFile && !isBlank) {
        return TileState::Present;
    }
    if (failed_.contains(cover_.SeqOf(tile))) {
        return TileState::Failed;
    }
    return hasFile ? TileState::Blank : TileState::Missing;
}

TileState TaskReader::State(const TileId& tile) const {
    const std::optional<std::uint64_t> size = RegularFileSizeNoFollow(TilePath(tile));
    if (!size || *size > kDefaultMaxTileBytes) {
        return StateOfFile(tile, false, false);
    }
    if (blank_.empty() || *size != blank_.size()) {
        return StateOfFile(tile, true, false);
    }
    std::string bytes;
    return Read(tile, bytes);
}

TileState TaskReader::Read(const TileId& tile, std::string& bytes, std::string* refusal) const {
    std::string reason;
    const UntrustedRead read =
        ReadUntrustedFile(TilePath(tile), kDefaultMaxTileBytes, bytes, reason);
    if (refusal != nullptr) {
        *refusal = std::move(reason);
    }
    if (read != UntrustedRead::Read) {
        return StateOfFile(tile, false, false);
    }
    return StateOfFile(tile, true, !blank_.empty() && bytes == blank_);
}

TileCounts TaskReader::Count() const {
    TileCounts counts;
    for (TileCover::Cursor c = cover_.From(1); c.Valid(); c.Advance(1)) {
        switch (State(c.Tile())) {
            case TileState::Present:
                ++counts.Present;
                break;
            case TileState::Blank:
                ++counts.Blank;
                break;
            case TileState::Failed:
                ++counts.Failed;
                break;
            case TileState::Missing:
                ++counts.Missing;
                break;
        }
    }
    return counts;
}

}  // namespace tessellon

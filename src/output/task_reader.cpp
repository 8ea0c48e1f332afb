#include "output/task_reader.h"

#include "download/failed_list.h"
#include "geo/tile_math.h"
#include "platform/files.h"
#include "platform/numbers.h"
#include "platform/paths.h"
#include "task/project_file.h"

namespace tessellon {

namespace {

// The deepest zoom the tile math handles.
constexpr int kMaxReadableZoom = 30;

std::int32_t ReadRangeKey(const ProjectFile& project, const ProjectKey& key) {
    const std::optional<std::int32_t> value = ParseInteger<std::int32_t>(project.ReadText(key));
    if (!value) {
        throw ETaskReadError(project.FileName() + ": " + std::string(key.Key) +
                             " is not a tile number.");
    }
    return *value;
}

GeoRect ReadTypedArea(const ProjectFile& project) {
    const ProjectArea area = project.ReadArea();
    return {ParseLeadingDecimal(area.LeftLongitude), ParseLeadingDecimal(area.RightLongitude),
            ParseLeadingDecimal(area.TopLatitude), ParseLeadingDecimal(area.BottomLatitude)};
}

}  // namespace

TaskReader::TaskReader(const std::string& projectPath, const std::string& blankFolder)
    : projectPath_(projectPath) {
    // The INI reads take a file they cannot read for an empty one.
    CheckInputFile(projectPath);
    const ProjectFile project(projectPath);
    if (!project.HoldsTask()) {
        throw ENotAProjectError(projectPath);
    }
    mapsType_ = project.Read(project_keys::MapsTypeWhenOpening);
    if (mapsType_ == kMapsTypeSource) {
        // The keys a task keeps always hold the user agent, so no version
        // is needed to make one.
        source_ = TileSource::FromKeys(project.ReadSource(), "");
    }
    naming_ = TileNamingOf(mapsType_, source_);
    if (naming_.Prefix.empty()) {
        throw ETaskReadError(projectPath + ": map type " + std::to_string(mapsType_) +
                             " is not one a task downloads.");
    }

    const std::optional<int> zoom = ParseInteger<int>(project.ReadText(project_keys::Zoom));
    if (!zoom || *zoom < 0 || *zoom > kMaxReadableZoom) {
        throw ETaskReadError(projectPath + ": the zoom is not one a task has.");
    }
    zoom_ = *zoom;
    minX_ = ReadRangeKey(project, project_keys::MinX);
    minY_ = ReadRangeKey(project, project_keys::MinY);
    maxX_ = ReadRangeKey(project, project_keys::MaxX);
    maxY_ = ReadRangeKey(project, project_keys::MaxY);
    const std::int64_t side = std::int64_t{1} << zoom_;
    if (minX_ < 0 || minY_ < 0 || minX_ > maxX_ || minY_ > maxY_ || maxX_ >= side ||
        maxY_ >= side || TileCount() > kMaxTileCount) {
        throw ETaskReadError(projectPath + ": the tile range is not one a task has.");
    }

    typedArea_ = ReadTypedArea(project);
    downloadEdges_ = TileRangeEdges({minX_, minY_, maxX_, maxY_}, zoom_);

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
        if (name && name->Prefix == naming_.Prefix && name->Extension == naming_.Extension &&
            name->Zoom == zoom_ && name->X >= minX_ && name->X <= maxX_ && name->Y >= minY_ &&
            name->Y <= maxY_) {
            failed_.insert(static_cast<std::int64_t>(name->X - minX_) * Rows() + (name->Y - minY_));
        }
    }
}

std::string TaskReader::TilePath(std::int32_t x, std::int32_t y) const {
    return imageFolder_ + naming_.FileName(x, y, zoom_);
}

TileState TaskReader::StateOfFile(std::int32_t x, std::int32_t y, bool hasFile,
                                  bool isBlank) const {
    if (hasFile && !isBlank) {
        return TileState::Present;
    }
    const std::int64_t index = static_cast<std::int64_t>(x - minX_) * Rows() + (y - minY_);
    if (failed_.contains(index)) {
        return TileState::Failed;
    }
    return hasFile ? TileState::Blank : TileState::Missing;
}

TileState TaskReader::State(std::int32_t x, std::int32_t y) const {
    const std::optional<std::uint64_t> size = RegularFileSize(TilePath(x, y));
    if (!size) {
        return StateOfFile(x, y, false, false);
    }
    if (blank_.empty() || *size != blank_.size()) {
        return StateOfFile(x, y, true, false);
    }
    std::string bytes;
    return Read(x, y, bytes);
}

TileState TaskReader::Read(std::int32_t x, std::int32_t y, std::string& bytes) const {
    bytes.clear();
    try {
        bytes = ReadFileBytes(TilePath(x, y));
    } catch (const EFileError&) {
        return StateOfFile(x, y, false, false);
    }
    return StateOfFile(x, y, true, !blank_.empty() && bytes == blank_);
}

TileCounts TaskReader::Count() const {
    TileCounts counts;
    for (std::int32_t x = minX_; x <= maxX_; ++x) {
        for (std::int32_t y = minY_; y <= maxY_; ++y) {
            switch (State(x, y)) {
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
    }
    return counts;
}

}  // namespace tessellon

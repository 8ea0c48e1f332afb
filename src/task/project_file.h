#pragma once
// The task's project file, NAME.tsln beside the task's tile folder: one
// registry of its sections and keys with the default each reader uses, the
// writer of a new project, typed reading of single keys, and the saving of
// the workers' positions. The file's bytes are a contract: a later run
// continues a task from them.

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/ini_file.h"
#include "task/tile_source.h"

namespace tessellon {

struct ProjectKey {
    std::string_view Section;
    std::string_view Key;
};

// An integer key with the value its reader takes when the key is missing.
struct ProjectIntegerKey {
    ProjectKey Name;
    int Default;
};

namespace project_keys {
inline constexpr std::string_view kMapsTypeSection = "MapsType";
inline constexpr std::string_view kAreaSection = "AREA";
inline constexpr std::string_view kZoomSection = "Zoom";
inline constexpr std::string_view kXYSection = "XY";
// Also holds each worker slot's last finished tile, see ThreadSlotKey.
inline constexpr std::string_view kThreadsSection = "THREADS";
// A source task's source, its keys as TileSource::Keys() lists them.
inline constexpr std::string_view kSourceSection = "SOURCE";
// A task that is more than one rectangle at one zoom: its zooms, and for a
// shape the copy of its area beside the project.
inline constexpr std::string_view kCoverSection = "COVER";
// Where a refresh continues: per worker slot "T" + slot, the order number of
// the last tile it finished; 0 once a refresh has ended.
inline constexpr std::string_view kRefreshSection = "REFRESH";

inline constexpr ProjectKey MapsType{kMapsTypeSection, "MapsType"};
inline constexpr ProjectKey Zoom{kZoomSection, "Zoom"};
// Opening a project reads a missing type or zoom as 0: no layer has it, and
// the window holds the zoom at its minimum. The check whether a start
// continues the task reads them as 100, which no task has, so a project
// without them is never continued.
inline constexpr ProjectIntegerKey MapsTypeWhenOpening{MapsType, 0};
inline constexpr ProjectIntegerKey MapsTypeWhenComparing{MapsType, 100};
inline constexpr ProjectIntegerKey ZoomWhenOpening{Zoom, 0};
inline constexpr ProjectIntegerKey ZoomWhenComparing{Zoom, 100};

// The bounds as the task was given them; read back as texts, character for
// character.
inline constexpr ProjectKey LeftLongitude{kAreaSection, "LeftLongitude"};
inline constexpr ProjectKey RightLongitude{kAreaSection, "RightLongitude"};
inline constexpr ProjectKey TopLatitude{kAreaSection, "TopLatitude"};
inline constexpr ProjectKey BottomLatitude{kAreaSection, "BottomLatitude"};

// Written for the user and other tools; the program never reads them back.
// The edges of the tile range, in degrees:
inline constexpr ProjectKey LeftLongitudeDownload{kAreaSection, "Left_Longitude_download"};
inline constexpr ProjectKey RightLongitudeDownload{kAreaSection, "Right_Longitude_download"};
inline constexpr ProjectKey TopLatitudeDownload{kAreaSection, "Top_Latitude_download"};
inline constexpr ProjectKey BottomLatitudeDownload{kAreaSection, "Bottom_Latitude_download"};
// the tile range itself, and how many workers share it:
inline constexpr ProjectKey MinX{kXYSection, "MinX"};
inline constexpr ProjectKey MinY{kXYSection, "MinY"};
inline constexpr ProjectKey MaxX{kXYSection, "MaxX"};
inline constexpr ProjectKey MaxY{kXYSection, "MaxY"};
inline constexpr ProjectKey ThreadCount{kThreadsSection, "ThreadCount"};

inline constexpr ProjectKey ZoomFrom{kCoverSection, "ZoomFrom"};
inline constexpr ProjectKey ZoomTo{kCoverSection, "ZoomTo"};
inline constexpr ProjectKey Area{kCoverSection, "Area"};
inline constexpr ProjectKey BufferMetres{kCoverSection, "BufferMetres"};
inline constexpr ProjectKey Count{kCoverSection, "Count"};

// Every key a project file holds before its THREADS section; a file without
// one of them was not written as a task's project.
inline constexpr std::array<ProjectKey, 14> kTaskKeys{
    MapsType,
    LeftLongitude,
    RightLongitude,
    TopLatitude,
    BottomLatitude,
    LeftLongitudeDownload,
    RightLongitudeDownload,
    TopLatitudeDownload,
    BottomLatitudeDownload,
    Zoom,
    MinX,
    MinY,
    MaxX,
    MaxY,
};
}  // namespace project_keys

// A file opened as a project that is not one: "NAME is not a task project
// file."
class ENotAProjectError : public std::runtime_error {
public:
    explicit ENotAProjectError(const std::string& fileName);
};

// Key of a worker slot's saved position in the THREADS section: "T" + slot
// (counted from 1) + 'X', 'Y' or, in a task of several zooms, 'Z'.
std::string ThreadSlotKey(std::int32_t slot, char axis);
// Key of a worker slot's refresh position in the REFRESH section: "T" + slot.
std::string RefreshSlotKey(std::int32_t slot);

// One saved position value: the last tile worker slot `Slot` (counted from
// 1) finished, on `Axis` 'X', 'Y' or 'Z'.
struct SlotValue {
    std::int32_t Slot = 0;
    char Axis = 'X';
    int Value = 0;
};

// The COVER section: what makes a task more than one rectangle at one zoom.
struct ProjectCover {
    std::int32_t ZoomFrom = 0;
    std::int32_t ZoomTo = 0;
    // The file name of the area's copy beside the project; empty for a
    // rectangle.
    std::string Area;
    double BufferMetres = 0;
    std::int64_t Count = 0;

    bool operator==(const ProjectCover&) const = default;
};

// Everything a new task's project file holds.
struct NewProject {
    std::int32_t MapsType = 0;
    // As the task was given them.
    double LeftLongitude = 0;
    double RightLongitude = 0;
    double TopLatitude = 0;
    double BottomLatitude = 0;
    // The edges of the tile range that covers them.
    double DownloadLeftLongitude = 0;
    double DownloadRightLongitude = 0;
    double DownloadTopLatitude = 0;
    double DownloadBottomLatitude = 0;
    std::int32_t Zoom = 0;
    std::int32_t MinX = 0;
    std::int32_t MinY = 0;
    std::int32_t MaxX = 0;
    std::int32_t MaxY = 0;
    std::int32_t ThreadCount = 0;
    // Slots whose position keys are written, empty.
    std::int32_t ThreadSlots = 0;
    // The source of a source task; empty for a built-in layer, whose file
    // has no SOURCE section.
    SourceKeys Source;
    // Only for a task of more than one rectangle at one zoom.
    std::optional<ProjectCover> Cover;
};

// The four bounds texts of a project.
struct ProjectArea {
    std::string LeftLongitude;
    std::string RightLongitude;
    std::string TopLatitude;
    std::string BottomLatitude;
};

// A project file as it was when read, read once with the profile rules
// (first section of a name, first line of a key, names in any case). Every
// reader of a project reads it through this; each applies its own defaults
// by the keys' registry above.
class ProjectContents {
public:
    explicit ProjectContents(std::vector<IniSection> sections) : sections_(std::move(sections)) {}

    // Whether the file holds every key of project_keys::kTaskKeys, each in
    // the section a reader looks in.
    bool HoldsTask() const;
    // A missing key gives an empty text.
    std::string Text(const ProjectKey& key) const;
    // The profile integer rule: a missing key or a text that is no integer
    // gives the key's default.
    int Integer(const ProjectIntegerKey& key) const;
    ProjectArea Area() const;
    // The keys of the SOURCE section in the order written; empty when the
    // section is missing.
    SourceKeys Source() const;
    // The last tile a worker slot (counted from 1) finished on `axis`; 0
    // when none is saved.
    int Slot(std::int32_t slot, char axis) const;
    // The COVER section; nothing without one. A key that is no number
    // reads 0, which no cover has, so the caller refuses it.
    std::optional<ProjectCover> Cover() const;
    // The refresh position of a worker slot (counted from 1); 0 when none.
    std::int64_t RefreshPosition(std::int32_t slot) const;

private:
    const IniSection* Section(std::string_view name) const;
    const std::string* Value(const ProjectKey& key) const;

    std::vector<IniSection> sections_;
};

class ProjectFile {
public:
    explicit ProjectFile(std::string fileName) : fileName_(std::move(fileName)) {}

    const std::string& FileName() const { return fileName_; }

    // Replaces the file whole and atomically: sections in the order MapsType,
    // AREA, Zoom, XY, THREADS, for a task of more than one rectangle at one
    // zoom COVER, and for a source task SOURCE; every line ending in CR LF.
    void Write(const NewProject& project, FileWriteOptions options = {}) const;

    // The whole file, read once. Throws EFileError when it is no regular
    // file, is too large or cannot be read.
    ProjectContents Read() const;

    // Writes the values in one rewrite of the file, with the bytes that
    // writing them one by one in this order would leave. Raises
    // EIniFileException ("Unable to write to " + path) on failure.
    void WriteSlots(const std::vector<SlotValue>& values) const;
    // The REFRESH section's positions, slot 1 first, in one rewrite.
    void WriteRefreshPositions(const std::vector<std::int64_t>& positions) const;

private:
    std::string fileName_;
};

}  // namespace tessellon

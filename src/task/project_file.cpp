#include "task/project_file.h"

#include <algorithm>
#include <vector>

#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/numbers.h"
#include "platform/text_format.h"

namespace tessellon {

namespace {

std::string Text(std::string_view text) {
    return std::string(text);
}

// Positions are saved every second and at every end. A power loss that
// loses the newest ones leaves the earlier file whole, and the tiles after
// its positions are fetched again.
constexpr FileWriteOptions kPositionWrite{.NameDurable = false};

}  // namespace

ENotAProjectError::ENotAProjectError(const std::string& fileName)
    : std::runtime_error(fileName + " is not a task project file.") {}

std::string ThreadSlotKey(std::int32_t slot, char axis) {
    std::string key = "T";
    key += std::to_string(slot);
    key += axis;
    return key;
}

std::string RefreshSlotKey(std::int32_t slot) {
    std::string key = "T";
    key += std::to_string(slot);
    return key;
}

void ProjectFile::Write(const NewProject& p, FileWriteOptions options) const {
    namespace keys = project_keys;
    std::vector<std::string> lines;
    const auto section = [&](std::string_view name) {
        lines.push_back(std::string("[").append(name).append("]"));
    };
    const auto line = [&](const ProjectKey& key, const std::string& value) {
        lines.push_back(Text(key.Key) + "=" + value);
    };
    section(keys::kMapsTypeSection);
    line(keys::MapsType, std::to_string(p.MapsType));
    lines.emplace_back();
    section(keys::kAreaSection);
    line(keys::LeftLongitude, FormatGeneral(p.LeftLongitude));
    line(keys::RightLongitude, FormatGeneral(p.RightLongitude));
    line(keys::TopLatitude, FormatGeneral(p.TopLatitude));
    line(keys::BottomLatitude, FormatGeneral(p.BottomLatitude));
    lines.emplace_back();
    line(keys::LeftLongitudeDownload, FormatGeneral(p.DownloadLeftLongitude));
    line(keys::RightLongitudeDownload, FormatGeneral(p.DownloadRightLongitude));
    line(keys::TopLatitudeDownload, FormatGeneral(p.DownloadTopLatitude));
    line(keys::BottomLatitudeDownload, FormatGeneral(p.DownloadBottomLatitude));
    lines.emplace_back();
    section(keys::kZoomSection);
    line(keys::Zoom, std::to_string(p.Zoom));
    lines.emplace_back();
    section(keys::kXYSection);
    line(keys::MinX, std::to_string(p.MinX));
    line(keys::MinY, std::to_string(p.MinY));
    line(keys::MaxX, std::to_string(p.MaxX));
    line(keys::MaxY, std::to_string(p.MaxY));
    lines.emplace_back();
    section(keys::kThreadsSection);
    line(keys::ThreadCount, std::to_string(p.ThreadCount));
    // Empty until a worker of the task saves its position.
    for (std::int32_t slot = 1; slot <= p.ThreadSlots; ++slot) {
        lines.push_back(ThreadSlotKey(slot, 'X') + "=");
        lines.push_back(ThreadSlotKey(slot, 'Y') + "=");
    }
    lines.emplace_back();
    if (p.Cover) {
        section(keys::kCoverSection);
        line(keys::ZoomFrom, std::to_string(p.Cover->ZoomFrom));
        line(keys::ZoomTo, std::to_string(p.Cover->ZoomTo));
        if (!p.Cover->Area.empty()) {
            line(keys::Area, p.Cover->Area);
            line(keys::BufferMetres, FormatGeneral(p.Cover->BufferMetres));
        }
        line(keys::Count, std::to_string(p.Cover->Count));
        lines.emplace_back();
    }
    if (!p.Source.empty()) {
        section(keys::kSourceSection);
        for (const auto& [key, value] : p.Source) {
            lines.push_back(key + "=" + value);
        }
        lines.emplace_back();
    }
    WriteLinesAtomic(fileName_, lines, options);
}

ProjectContents ProjectFile::Read() const {
    return ProjectContents(ReadIniFileSections(fileName_));
}

const IniSection* ProjectContents::Section(std::string_view name) const {
    // A reader looks in the first section of the name only.
    const auto section = std::find_if(sections_.begin(), sections_.end(), [&](const IniSection& s) {
        return SameIniName(s.Name, name);
    });
    return section == sections_.end() ? nullptr : &*section;
}

const std::string* ProjectContents::Value(const ProjectKey& key) const {
    const IniSection* section = Section(key.Section);
    if (section == nullptr) {
        return nullptr;
    }
    const auto line = std::find_if(section->Keys.begin(), section->Keys.end(),
                                   [&](const auto& k) { return SameIniName(k.first, key.Key); });
    return line == section->Keys.end() ? nullptr : &line->second;
}

bool ProjectContents::HoldsTask() const {
    return std::all_of(project_keys::kTaskKeys.begin(), project_keys::kTaskKeys.end(),
                       [&](const ProjectKey& key) { return Value(key) != nullptr; });
}

std::string ProjectContents::Text(const ProjectKey& key) const {
    const std::string* value = Value(key);
    return value == nullptr ? "" : *value;
}

int ProjectContents::Integer(const ProjectIntegerKey& key) const {
    int value = 0;
    const std::string* text = Value(key.Name);
    return text != nullptr && ParseProfileInteger(*text, value) ? value : key.Default;
}

ProjectArea ProjectContents::Area() const {
    return {Text(project_keys::LeftLongitude), Text(project_keys::RightLongitude),
            Text(project_keys::TopLatitude), Text(project_keys::BottomLatitude)};
}

SourceKeys ProjectContents::Source() const {
    const IniSection* section = Section(project_keys::kSourceSection);
    return section == nullptr ? SourceKeys{} : section->Keys;
}

int ProjectContents::Slot(std::int32_t slot, char axis) const {
    const std::string key = ThreadSlotKey(slot, axis);
    return Integer({{project_keys::kThreadsSection, key}, 0});
}

std::int64_t ProjectContents::RefreshPosition(std::int32_t slot) const {
    return std::max(0, Integer({{project_keys::kRefreshSection, RefreshSlotKey(slot)}, 0}));
}

std::optional<ProjectCover> ProjectContents::Cover() const {
    namespace keys = project_keys;
    if (Section(keys::kCoverSection) == nullptr) {
        return std::nullopt;
    }
    ProjectCover cover;
    cover.ZoomFrom = Integer({keys::ZoomFrom, 0});
    cover.ZoomTo = Integer({keys::ZoomTo, 0});
    cover.Area = Text(keys::Area);
    cover.BufferMetres = ReadLeadingDecimal(Text(keys::BufferMetres)).value_or(0);
    cover.Count = ParseInteger<std::int64_t>(Text(keys::Count)).value_or(0);
    return cover;
}

void ProjectFile::WriteSlots(const std::vector<SlotValue>& values) const {
    std::vector<std::pair<std::string, std::string>> keyValues;
    keyValues.reserve(values.size());
    for (const SlotValue& value : values) {
        keyValues.emplace_back(ThreadSlotKey(value.Slot, value.Axis), std::to_string(value.Value));
    }
    IniFile(fileName_, kPositionWrite).WriteStrings(Text(project_keys::kThreadsSection), keyValues);
}

void ProjectFile::WriteRefreshPositions(const std::vector<std::int64_t>& positions) const {
    std::vector<std::pair<std::string, std::string>> keyValues;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        keyValues.emplace_back(RefreshSlotKey(static_cast<std::int32_t>(i + 1)),
                               std::to_string(positions[i]));
    }
    IniFile(fileName_, kPositionWrite).WriteStrings(Text(project_keys::kRefreshSection), keyValues);
}

}  // namespace tessellon

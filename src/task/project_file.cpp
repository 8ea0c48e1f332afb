#include "task/project_file.h"

#include <algorithm>
#include <vector>

#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/text_format.h"

namespace tessellon {

namespace {

std::string Text(std::string_view text) {
    return std::string(text);
}

}  // namespace

ENotAProjectError::ENotAProjectError(const std::string& fileName)
    : std::runtime_error(fileName + " is not a task project file.") {}

std::string ThreadSlotKey(std::int32_t slot, char axis) {
    std::string key = "T";
    key += std::to_string(slot);
    key += axis;
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
    if (!p.Source.empty()) {
        section(keys::kSourceSection);
        for (const auto& [key, value] : p.Source) {
            lines.push_back(key + "=" + value);
        }
        lines.emplace_back();
    }
    WriteLinesAtomic(fileName_, lines, options);
}

bool ProjectFile::HoldsTask() const {
    const std::vector<IniSection> sections = ReadIniSections(ReadTextLines(fileName_));
    return std::all_of(
        project_keys::kTaskKeys.begin(), project_keys::kTaskKeys.end(), [&](const ProjectKey& key) {
            // A reader looks in the first section of the name only.
            const auto section = std::find_if(sections.begin(), sections.end(), [&](auto& s) {
                return SameIniName(s.Name, key.Section);
            });
            return section != sections.end() &&
                   std::any_of(section->Keys.begin(), section->Keys.end(),
                               [&](const auto& k) { return SameIniName(k.first, key.Key); });
        });
}

std::string ProjectFile::ReadText(const ProjectKey& key) const {
    return IniFile(fileName_).ReadString(Text(key.Section), Text(key.Key), "");
}

int ProjectFile::Read(const ProjectIntegerKey& key) const {
    return IniFile(fileName_).ReadInteger(Text(key.Name.Section), Text(key.Name.Key), key.Default);
}

ProjectArea ProjectFile::ReadArea() const {
    return {ReadText(project_keys::LeftLongitude), ReadText(project_keys::RightLongitude),
            ReadText(project_keys::TopLatitude), ReadText(project_keys::BottomLatitude)};
}

SourceKeys ProjectFile::ReadSource() const {
    std::string text;
    try {
        text = ReadInputFile(fileName_);
    } catch (const EFileError&) {
        // Read like the other keys: a file that cannot be read has none.
        return {};
    }
    for (IniSection& section : ReadIniSections(SplitTextLines(text))) {
        if (SameIniName(section.Name, project_keys::kSourceSection)) {
            return std::move(section.Keys);
        }
    }
    return {};
}

int ProjectFile::ReadSlot(std::int32_t slot, char axis) const {
    return IniFile(fileName_).ReadInteger(Text(project_keys::kThreadsSection),
                                          ThreadSlotKey(slot, axis), 0);
}

void ProjectFile::WriteSlots(const std::vector<SlotValue>& values) const {
    std::vector<std::pair<std::string, std::string>> keyValues;
    keyValues.reserve(values.size());
    for (const SlotValue& value : values) {
        keyValues.emplace_back(ThreadSlotKey(value.Slot, value.Axis), std::to_string(value.Value));
    }
    IniFile(fileName_).WriteStrings(Text(project_keys::kThreadsSection), keyValues);
}

}  // namespace tessellon

#include "control/last_task.h"

#include "control/source_list.h"
#include "platform/ini_file.h"

namespace tessellon {

namespace {

// The key of each remembered text, in the order written.
struct Key {
    const char* Name;
    std::string TaskFields::*Field;
};

constexpr Key kTextKeys[] = {
    {"TaskName", &TaskFields::TaskName},     {"Left", &TaskFields::LeftLongitude},
    {"Right", &TaskFields::RightLongitude},  {"Top", &TaskFields::TopLatitude},
    {"Bottom", &TaskFields::BottomLatitude}, {"Zoom", &TaskFields::Zoom},
    {"ZoomTo", &TaskFields::ZoomTo},         {"AreaFile", &TaskFields::AreaFile},
    {"Buffer", &TaskFields::Buffer},         {"SavePath", &TaskFields::SavePath},
};

// Marks a key that was never written apart from one written empty.
constexpr const char* kMissing = "\x01";

std::optional<int> ZoomIn(const std::string& text) {
    int zoom = 0;
    if (!ParseProfileInteger(text, zoom) || zoom < kMinZoom || zoom > kMaxZoom) {
        return std::nullopt;
    }
    return zoom;
}

}  // namespace

void RememberTask(const Configuration& config, const TaskFields& fields, bool shape) {
    std::vector<std::pair<std::string, std::string>> keys;
    for (const Key& key : kTextKeys) {
        keys.emplace_back(key.Name, fields.*(key.Field));
    }
    keys.emplace_back("MapsType",
                      std::to_string(fields.Source ? kSourceItem : fields.MapsTypeItem));
    keys.emplace_back("Source", fields.Source ? fields.Source->Name() : "");
    keys.emplace_back("Area", shape ? "Shape" : "Rectangle");
    IniFile(config.FileName()).WriteStrings(kLastTaskSection, keys);
}

std::optional<RememberedTask> RecallTask(const Configuration& config) {
    const IniFile file(config.FileName());
    const auto read = [&](const char* key) {
        return file.ReadString(kLastTaskSection, key, kMissing);
    };
    if (read("TaskName") == kMissing) {
        return std::nullopt;
    }
    RememberedTask task;
    for (const Key& key : kTextKeys) {
        const std::string value = read(key.Name);
        if (value != kMissing) {
            task.Fields.*(key.Field) = value;
        }
    }
    if (task.Fields.TaskName.empty()) {
        task.Fields.TaskName = TaskFields{}.TaskName;
    }
    const auto zoom = ZoomIn(task.Fields.Zoom);
    task.Fields.Zoom = std::to_string(zoom.value_or(std::stoi(TaskFields{}.Zoom)));
    const auto zoomTo = ZoomIn(task.Fields.ZoomTo);
    task.Fields.ZoomTo =
        zoomTo && *zoomTo > std::stoi(task.Fields.Zoom) ? std::to_string(*zoomTo) : std::string();
    int item = kSatelliteItem;
    if (ParseProfileInteger(read("MapsType"), item) && item >= 0 && item <= kSourceItem) {
        task.Fields.MapsTypeItem = item;
    }
    const std::string source = read("Source");
    task.SourceName = source == kMissing ? "" : source;
    task.Shape = SameIniName(read("Area"), "Shape") && !task.Fields.AreaFile.empty();
    return task;
}

}  // namespace tessellon

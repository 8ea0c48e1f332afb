// A project file's text, from a file in memory (tmpfs), through the project
// reader and through opening it into the window's fields. The file must be
// taken for a task exactly when it holds every task key; every key read
// singly, by the reader or by the opening, must agree with the sections the
// file lists (first section of a name, first line of a key, names in any
// case); and opening must refuse a file that is not a task untouched, or fill
// the fields with those keys' values.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "control/project_opening.h"
#include "fuzz_support.h"
#include "platform/ini_file.h"
#include "task/project_file.h"
#include "task/task_parameters.h"
#include "task/url_template.h"

using namespace tessellon;
namespace keys = tessellon::project_keys;

namespace {

// The value of `key` as the listed sections hold it; nothing when missing.
std::optional<std::string> Listed(const std::vector<IniSection>& sections, std::string_view section,
                                  std::string_view key) {
    const auto named = std::find_if(sections.begin(), sections.end(), [&](const IniSection& s) {
        return SameIniName(s.Name, section);
    });
    if (named == sections.end()) {
        return std::nullopt;
    }
    const auto line = std::find_if(named->Keys.begin(), named->Keys.end(),
                                   [&](const auto& k) { return SameIniName(k.first, key); });
    if (line == named->Keys.end()) {
        return std::nullopt;
    }
    return line->second;
}

int ListedInteger(const std::vector<IniSection>& sections, std::string_view section,
                  std::string_view key, int defaultValue) {
    const std::optional<std::string> text = Listed(sections, section, key);
    int value = 0;
    return text && ParseProfileInteger(*text, value) ? value : defaultValue;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    static const std::string path = fuzz::TmpfsFile("task.tsln");
    fuzz::WriteTmpfsFile(path, text);
    const std::vector<IniSection> sections = ReadIniSections(SplitTextLines(text));
    const ProjectContents project = ProjectFile(path).Read();

    const bool holdsEveryKey = std::all_of(
        keys::kTaskKeys.begin(), keys::kTaskKeys.end(),
        [&](const ProjectKey& key) { return Listed(sections, key.Section, key.Key).has_value(); });
    // One slot key stands for them all.
    const char axis = "XYZ"[size % 3];
    if (project.Slot(1, axis) !=
        ListedInteger(sections, keys::kThreadsSection, ThreadSlotKey(1, axis), 0)) {
        fuzz::Fail("a worker's position read unlike its section lists it");
    }
    const auto source = std::find_if(sections.begin(), sections.end(), [](const IniSection& s) {
        return SameIniName(s.Name, keys::kSourceSection);
    });
    if (project.Source() != (source == sections.end() ? SourceKeys{} : source->Keys)) {
        fuzz::Fail("a source section read unlike it is listed");
    }

    TaskFields fields;
    fields.TaskName = "unchanged";
    try {
        LoadProjectIntoFields(path, fields);
    } catch (const ENotAProjectError& error) {
        if (holdsEveryKey || std::string(error.what()) != path + " is not a task project file." ||
            fields.TaskName != "unchanged") {
            fuzz::Fail("a task refused, or a refusal that changed the fields");
        }
        return 0;
    } catch (const ETileSourceError&) {
        if (!holdsEveryKey || ListedInteger(sections, keys::kMapsTypeSection, keys::MapsType.Key,
                                            0) != kMapsTypeSource) {
            fuzz::Fail("a source refused in a file that is no source task");
        }
        return 0;
    }
    if (!holdsEveryKey) {
        fuzz::Fail("a file opened without every task key");
    }
    const auto listed = [&](const ProjectKey& key) {
        return Listed(sections, key.Section, key.Key).value_or("");
    };
    const int zoom = ListedInteger(sections, keys::kZoomSection, keys::Zoom.Key, 0);
    const bool sourceTask =
        ListedInteger(sections, keys::kMapsTypeSection, keys::MapsType.Key, 0) == kMapsTypeSource;
    if (fields.LeftLongitude != listed(keys::LeftLongitude) ||
        fields.RightLongitude != listed(keys::RightLongitude) ||
        fields.TopLatitude != listed(keys::TopLatitude) ||
        fields.BottomLatitude != listed(keys::BottomLatitude) ||
        fields.SavePath + fields.TaskName != path ||
        fields.Zoom != std::to_string(std::clamp(zoom, kMinZoom, kMaxZoom)) ||
        fields.Source.has_value() != sourceTask) {
        fuzz::Fail("fields opened unlike the file's sections list them");
    }
    return 0;
}

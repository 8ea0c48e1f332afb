#pragma once
// Where a combination of a task's tiles into one image goes, for the
// combiner's window and command line alike. An output typed as a relative
// path is taken in the task's folder, never in whatever folder the program
// was started from; without one, the default name carries the task's name
// and the zoom, so combinations of two tasks or two zooms in one folder do
// not take each other's place. An existing file is replaced only when the
// user says so (see ReplaceOutputQuestion).

#include <optional>
#include <string>
#include <vector>

namespace tessellon {

// `typed` as a whole path: an absolute one or one from the home folder ("~")
// as it stands, a relative one in the folder of `projectPath`. Empty stays
// empty: no output was typed.
std::string CombineOutputPath(const std::string& projectPath, const std::string& typed);

// The output when none is typed, in the task's folder: the task's name, the
// configuration's DefaultOutputName and the zoom, "alps_bigmap_z13.bmp" for
// the task alps.tsln and "bigmap.bmp". `extension` (".png") replaces the
// configured name's when given; without `zoom` (the task cannot be read) the
// name has none.
std::string DefaultCombineOutput(const std::string& projectPath, const std::string& configuredName,
                                 std::optional<int> zoom, const std::string& extension = "");

// Asked before a combination replaces a file that is there.
std::string ReplaceOutputQuestion(const std::string& outputPath);

// The combiner's option that opens its window on a task; a task named alone
// is combined at once, without a window.
inline constexpr const char* kCombinerWindowOption = "--window";

// The combiner's arguments that open its window on `project` (the task at
// hand in the main window), or on nothing when there is none.
std::vector<std::string> CombinerWindowArguments(const std::optional<std::string>& project);

}  // namespace tessellon

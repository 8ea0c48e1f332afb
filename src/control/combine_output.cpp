#include "control/combine_output.h"

#include "platform/paths.h"

namespace tessellon {

std::string CombineOutputPath(const std::string& projectPath, const std::string& typed) {
    if (typed.empty() || typed.front() == kPathSeparator || typed == "~" ||
        typed.starts_with("~/")) {
        return AbsolutePath(typed);
    }
    return AbsolutePath(ExtractFilePath(AbsolutePath(projectPath)) + typed);
}

std::string DefaultCombineOutput(const std::string& projectPath, const std::string& configuredName,
                                 std::optional<int> zoom, const std::string& extension) {
    const std::string project = AbsolutePath(projectPath);
    std::string name = RemoveFileExt(ExtractFileName(project));
    if (const std::string configured = RemoveFileExt(ExtractFileName(configuredName));
        !configured.empty()) {
        name += "_" + configured;
    }
    if (zoom) {
        name += "_z" + std::to_string(*zoom);
    }
    return ExtractFilePath(project) + name +
           (extension.empty() ? ExtractFileExt(configuredName) : extension);
}

std::string ReplaceOutputQuestion(const std::string& outputPath) {
    return outputPath + " already exists. Replace it?";
}

std::vector<std::string> CombinerWindowArguments(const std::optional<std::string>& project) {
    if (!project) {
        return {};
    }
    return {kCombinerWindowOption, *project};
}

}  // namespace tessellon

#pragma once
// What the main window takes from its program folder and the configuration
// file when it is shown: its caption, the save folder it proposes, and the
// files, addresses and programs that its menus open.

#include <string>

namespace tessellon {

inline constexpr const char* kHomePageUrl = "https://www.tessellon.org/";
inline constexpr const char* kMailLink = "mailto:support@tessellon.org";

struct MainWindowFields {
    std::string HomePageUrl;
    std::string ConfigFileName;
    std::string HelpFileName;  // the user manual beside the program
    std::string MailLink;
    std::string DefaultPath;
    std::string DefaultOutputName;
    int DefaultThreadCount = 1;
    std::string Caption;  // "Tessellon " + Version
    // The companion programs, started from the program folder.
    std::string MapViewerProgram;
    std::string MapCombinerProgram;
    // Why the configuration file cannot be read, "" when it can or is
    // missing; the window tells it and goes on with the defaults.
    std::string ConfigProblem;
};

// `programFolder` ends in "/"; `configFileName` is normally
// Configuration::DefaultFileName(). A missing file gives the defaults and
// nothing is written.
MainWindowFields ReadMainWindowFields(const std::string& programFolder,
                                      const std::string& configFileName);

// Told when Help > User manual cannot show the manual: where the file is, for
// a browser opened by hand, or where it should be when it is not there.
std::string ManualNotOpenedText(const std::string& helpFileName, bool present);

}  // namespace tessellon

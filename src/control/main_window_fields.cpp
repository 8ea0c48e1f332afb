#include "control/main_window_fields.h"

#include "control/configuration.h"

namespace tessellon {

MainWindowFields ReadMainWindowFields(const std::string& programFolder,
                                      const std::string& configFileName) {
    MainWindowFields fields;
    fields.HomePageUrl = kHomePageUrl;
    fields.ConfigFileName = configFileName;
    fields.HelpFileName = programFolder + "help/help.html";
    fields.MailLink = kMailLink;
    const MainWindowSettings settings = Configuration(configFileName).ReadMainWindow();
    fields.DefaultPath = settings.DefaultPath;
    fields.DefaultOutputName = settings.DefaultOutputName;
    fields.DefaultThreadCount = settings.DefaultThreadCount;
    fields.Caption = "Tessellon " + settings.Version;
    fields.MapViewerProgram = programFolder + "mapviewer";
    fields.MapCombinerProgram = programFolder + "combiner";
    fields.ConfigProblem = Configuration(configFileName).Problem(false);
    return fields;
}

std::string ManualNotOpenedText(const std::string& helpFileName, bool present) {
    if (!present) {
        return "The user manual is missing: there is no " + helpFileName + ".";
    }
    return "No web browser could be started to show the user manual. Open " + helpFileName +
           " in a web browser.";
}

}  // namespace tessellon

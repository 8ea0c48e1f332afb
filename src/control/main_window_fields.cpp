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

}  // namespace tessellon

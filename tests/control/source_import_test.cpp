// Adding a source from a service's description served on 127.0.0.1.

#include "control/source_import.h"

#include <gtest/gtest.h>

#include "control/source_editing.h"
#include "platform/files.h"
#include "script_server.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

using namespace std::chrono_literals;

std::string Reply(const std::string& body, const std::string& type = "application/xml") {
    return "HTTP/1.1 200 OK\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

std::string Data(const std::string& file) {
    return ReadFileBytes(std::string(TESSELLON_SERVICE_DATA) + file);
}

class SourceImportTest : public ::testing::Test {
protected:
    SourceImportTest() { WriteFileAtomic(dir.File("config.ini"), ""); }

    SourcesVerdict Import(const std::string& address, const std::string& layer = "",
                          const std::string& name = "") {
        out.clear();
        errors.clear();
        SourceImport import{address, layer, name, dir.File("sources.ini"), dir.File("config.ini"),
                            {}};
        import.TimeLimits.Connect = 2s;
        import.TimeLimits.Idle = 2s;
        import.TimeLimits.Request = 5s;
        return ImportSource(
            import, [&](const std::string& line) { out.push_back(line); },
            [&](const std::string& line) { errors.push_back(line); });
    }

    test::TempDir dir;
    std::vector<std::string> out;
    std::vector<std::string> errors;
};

// The layers are listed; the chosen one becomes a source the program reads
// back, beside the sources the file had.
TEST_F(SourceImportTest, AddsTheChosenLayerOfACapabilitiesDocument) {
    WriteFileAtomic(dir.File("sources.ini"), "; mine\n[Own]\nUrl=https://own.example/{q}\n");
    test::TScriptServer server({test::TServerScript().Answer(Reply(Data("wmts_rest.xml")))});
    ASSERT_EQ(Import(server.Url("/wmts/WMTSCapabilities.xml"), "relief"), SourcesVerdict::AllGood)
        << errors.at(0);
    ASSERT_EQ(out.size(), 7U);
    EXPECT_EQ(out[0], "WMTS \"Example maps\", 5 layer(s):");
    EXPECT_EQ(out[3].rfind("  relief: Relief, TMS numbering; formats image/png;", 0), 0U);
    EXPECT_EQ(out[6], "Source 'Relief, TMS numbering' added to " + dir.File("sources.ini") + ".");

    const SourcesFile file = ReadSources(dir.File("sources.ini"), dir.File("config.ini"));
    EXPECT_TRUE(file.Errors.empty());
    ASSERT_EQ(file.Sources.size(), 2U);
    const TileSource& relief = file.Sources[1];
    EXPECT_EQ(relief.TileUrl(3, 1, 2), "https://tiles.example.org/relief/1/3/1.png");
    EXPECT_EQ(relief.ZoomOffset(), -1);
    EXPECT_EQ(relief.Attribution(), "Example Mapping & Survey");
    EXPECT_EQ(ReadFileBytes(dir.File("sources.ini")).rfind("; mine\n[Own]\n", 0), 0U);
}

// A redirect is followed to a TileJSON; the user's name wins; a name taken
// is refused and the file stays.
TEST_F(SourceImportTest, FollowsARedirectAndKeepsTheNamesApart) {
    const std::string moved =
        "HTTP/1.1 301 Moved\r\nLocation: /tiles.json\r\nContent-Length: 0\r\nConnection: "
        "close\r\n\r\n";
    const std::string json = Reply(Data("tilejson22.json"), "application/json");
    test::TScriptServer server({test::TServerScript().Answer(moved),
                                test::TServerScript().Answer(json),
                                test::TServerScript().Answer(json)});
    ASSERT_EQ(Import(server.Url("/old.json"), "", "Shade"), SourcesVerdict::AllGood)
        << errors.at(0);
    const std::string saved = ReadFileBytes(dir.File("sources.ini"));
    EXPECT_NE(saved.find("[Shade]"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Url=https://{s}.tiles.example.org/hillshade/{z}/{x}/{-y}.jpg"),
              std::string::npos);

    EXPECT_EQ(Import(server.Url("/tiles.json"), "", "shade"), SourcesVerdict::Refused);
    EXPECT_EQ(errors, std::vector<std::string>{"Source 'shade' exists already."});
    EXPECT_EQ(ReadFileBytes(dir.File("sources.ini")), saved);
}

// Nothing is added when the layer is not chosen, the reply is no
// description, or its body is larger than a description may be.
TEST_F(SourceImportTest, RefusesAndSaysWhy) {
    std::string huge = "HTTP/1.1 200 OK\r\nContent-Length: 40000000\r\n\r\n";
    test::TScriptServer server(
        {test::TServerScript().Answer(Reply(Data("wmts_rest.xml"))),
         test::TServerScript().Answer(Reply("<html>Not here</html>", "text/html")),
         test::TServerScript().Answer(huge + std::string(1 << 20, '<')),
         test::TServerScript().Answer(
             "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")});
    EXPECT_EQ(Import(server.Url("/caps.xml")), SourcesVerdict::Refused);
    EXPECT_EQ(errors, std::vector<std::string>{
                          "The service has 3 layers; choose one of: topo, ortho, relief."});
    EXPECT_EQ(Import(server.Url("/page")), SourcesVerdict::Refused);
    EXPECT_EQ(errors, std::vector<std::string>{
                          server.Url("/page") +
                          ": The document is no WMTS capabilities document (its root is <html>)."});
    EXPECT_EQ(Import(server.Url("/huge")), SourcesVerdict::Refused);
    ASSERT_EQ(errors.size(), 1U);
    EXPECT_EQ(errors[0].rfind("Cannot fetch " + server.Url("/huge") + ": ", 0), 0U) << errors[0];
    EXPECT_EQ(Import(server.Url("/none")), SourcesVerdict::Refused);
    ASSERT_EQ(errors.size(), 1U);
    EXPECT_NE(errors[0].find("404"), std::string::npos) << errors[0];
    EXPECT_FALSE(FileExists(dir.File("sources.ini")));
}

}  // namespace
}  // namespace tessellon

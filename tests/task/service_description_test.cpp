#include "task/service_description.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/files.h"

namespace tessellon {
namespace {

const std::string kRestAddress = "https://maps.example.net/wmts/1.0.0/WMTSCapabilities.xml";

ServiceDescription ReadData(const std::string& file, const std::string& address) {
    return ReadServiceDescription(ReadFileBytes(std::string(TESSELLON_SERVICE_DATA) + file),
                                  address);
}

const ServiceLayer& Layer(const ServiceDescription& service, std::string_view id) {
    return ChooseServiceLayer(service, id);
}

std::string Refusal(std::string_view text) {
    try {
        ReadServiceDescription(text, "https://example.org/caps.xml");
    } catch (const EServiceDescriptionError& error) {
        return error.what();
    }
    return "accepted";
}

// Every layer of a RESTful document: the grid found by its matrices under
// any set name, the template's names filled, the zoom range and numbering
// of the chosen set, and the reason for each layer that cannot be chosen.
TEST(ServiceDescription, ReadsTheLayersOfARestfulCapabilitiesDocument) {
    const ServiceDescription service = ReadData("wmts_rest.xml", kRestAddress);
    EXPECT_EQ(service.Kind, "WMTS");
    EXPECT_EQ(service.Title, "Example maps");
    ASSERT_EQ(service.Layers.size(), 5U);

    const ServiceLayer& topo = Layer(service, "TOPO");
    EXPECT_EQ(topo.Title, "Topographic map");
    EXPECT_EQ(topo.Formats, (std::vector<std::string>{"image/png", "image/jpeg"}));
    EXPECT_EQ(topo.Styles, (std::vector<std::string>{"default", "grey"}));
    EXPECT_EQ(topo.MatrixSets, (std::vector<std::string>{"UTM32", "GoogleMapsCompatible"}));
    // The tile template of a format the program has, not the TIFF one nor
    // the feature info; the dimension takes its default. "none" is no term.
    EXPECT_EQ(topo.Keys, (SourceKeys{{"Url",
                                      "https://tiles.example.org/wmts/topo/default/2024-05-01/"
                                      "GoogleMapsCompatible/{z}/{y}/{x}.png"},
                                     {"Format", "png"},
                                     {"MinZoom", "1"},
                                     {"MaxZoom", "6"},
                                     {"Attribution", "Example Mapping & Survey"}}));

    // Numbered "EPSG:900913:N", limited to two levels, a relative template.
    const ServiceLayer& ortho = Layer(service, "ortho");
    EXPECT_EQ(ortho.Keys[0].second,
              "https://maps.example.net/geoserver/gwc/rest/wmts/ortho/natural/EPSG:900913/"
              "EPSG:900913:{z}/{y}/{x}?format=image/jpeg");
    EXPECT_EQ(ortho.Keys[1], (std::pair<std::string, std::string>{"Format", "jpg"}));
    EXPECT_EQ(ortho.Keys[2], (std::pair<std::string, std::string>{"MinZoom", "1"}));
    EXPECT_EQ(ortho.Keys[3], (std::pair<std::string, std::string>{"MaxZoom", "2"}));

    // Level 0 of 2x2 tiles is the grid's zoom 1, numbered one lower.
    const ServiceLayer& relief = Layer(service, "relief");
    EXPECT_EQ(relief.Keys[0].second, "https://tiles.example.org/relief/{z}/{x}/{y}.png");
    EXPECT_EQ(relief.Keys[2], (std::pair<std::string, std::string>{"MinZoom", "1"}));
    EXPECT_EQ(relief.Keys[3], (std::pair<std::string, std::string>{"MaxZoom", "3"}));
    EXPECT_EQ(relief.Keys[4], (std::pair<std::string, std::string>{"ZoomOffset", "-1"}));
    const TileSource source = TileSource::Read("Relief", relief.Keys, "1");
    EXPECT_EQ(source.TileUrl(1, 0, 1), "https://tiles.example.org/relief/0/1/0.png");

    EXPECT_EQ(service.Layers[3].Id, "cadastre");
    EXPECT_EQ(service.Layers[3].Unusable,
              "no tile matrix set in the Web Mercator grid (UTM32: it is not in EPSG:3857; HiDPI: "
              "its tiles are 512x512 pixels, not 256x256; Missing: the document does not describe "
              "it).");
    EXPECT_TRUE(service.Layers[3].Keys.empty());
    EXPECT_EQ(service.Layers[4].Unusable,
              "its ResourceURL has {Elevation}, which the layer does not fill.");
    EXPECT_EQ(DescribeServiceLayer(service.Layers[4]),
              "elevation: Elevation; formats image/png; styles default; sets GoogleMapsCompatible; "
              "cannot be chosen: its ResourceURL has {Elevation}, which the layer does not fill.");
}

// A service without ResourceURL is asked by KVP at its GetTile address,
// every value encoded; its terms and provider come along.
TEST(ServiceDescription, MakesTheKvpRequestOfAServiceWithoutTemplates) {
    const ServiceDescription service =
        ReadData("wmts_kvp.xml", "https://kvp.example.org/service?REQUEST=GetCapabilities");
    const ServiceLayer& roads = Layer(service, "");
    EXPECT_EQ(roads.Id, "roads & paths");
    EXPECT_EQ(roads.Keys,
              (SourceKeys{{"Url",
                           "https://kvp.example.org/service?map=roads&SERVICE=WMTS&REQUEST=GetTile&"
                           "VERSION=1.0.0&LAYER=roads%20%26%20paths&STYLE=default&TILEMATRIXSET="
                           "GoogleMapsCompatible&TILEMATRIX={z}&TILEROW={y}&TILECOL={x}&FORMAT="
                           "image%2Fpng%3B%20mode%3D8bit"},
                          {"Format", "png"},
                          {"MinZoom", "1"},
                          {"MaxZoom", "6"},
                          {"Attribution", "Example Roads Agency"},
                          {"Terms", "Free for offline use with attribution."}}));
    EXPECT_TRUE(
        TileSource::Read("Roads", roads.Keys, "1")
            .TileUrl(3, 5, 4)
            .ends_with("&TILEMATRIX=4&TILEROW=5&TILECOL=3&FORMAT=image%2Fpng%3B%20mode%3D8bit"));
}

TEST(ServiceDescription, ReadsTileJsonOfBothVersions) {
    const ServiceDescription hillshade =
        ReadData("tilejson22.json", "https://tiles.example.org/hillshade.json");
    EXPECT_EQ(hillshade.Kind, "TileJSON");
    const ServiceLayer& layer = Layer(hillshade, "");
    EXPECT_EQ(layer.Id, "Hillshade");
    // Three hosts make one template; tms counts rows from the south; the
    // attribution loses its markup.
    EXPECT_EQ(layer.Keys,
              (SourceKeys{{"Url", "https://{s}.tiles.example.org/hillshade/{z}/{x}/{-y}.jpg"},
                          {"MinZoom", "1"},
                          {"MaxZoom", "16"},
                          {"Subdomains", "a,b,c,"},
                          {"Attribution", "\u00A9 Example Relief & contributors"}}));

    const ServiceDescription streets =
        ReadData("tilejson30.json", "https://vector.example.org/data/streets.json?key=1");
    const ServiceLayer& vector = Layer(streets, "streets");
    EXPECT_EQ(vector.Keys,
              (SourceKeys{{"Url", "https://vector.example.org/data/tiles/{z}/{x}/{y}.pbf"},
                          {"MinZoom", "4"},
                          {"MaxZoom", "19"},
                          {"Format", "pbf"}}));
}

TEST(ServiceDescription, ChoosingALayerNamesTheChoices) {
    const ServiceDescription service = ReadData("wmts_rest.xml", kRestAddress);
    const auto refusal = [&](std::string_view id) {
        try {
            ChooseServiceLayer(service, id);
        } catch (const EServiceDescriptionError& error) {
            return std::string(error.what());
        }
        return std::string("chosen");
    };
    EXPECT_EQ(refusal(""), "The service has 3 layers; choose one of: topo, ortho, relief.");
    EXPECT_EQ(refusal("roads"),
              "The service has no layer 'roads'; choose one of: topo, ortho, "
              "relief.");
    EXPECT_EQ(refusal("Cadastre").rfind("Layer 'cadastre' cannot be chosen: no tile matrix", 0),
              0U);
}

// Broken, hostile and foreign documents are refused with a reason, quickly.
TEST(ServiceDescription, RefusesWhatIsNoUsableDescription) {
    EXPECT_EQ(Refusal("<Capabilities><Contents><Layer></Contents>")
                  .rfind("The service description is not well-formed XML (line 1: ", 0),
              0U);
    EXPECT_EQ(Refusal("<?xml version=\"1.0\"?>\n<WMS_Capabilities/>"),
              "The document is no WMTS capabilities document (its root is <WMS_Capabilities>).");
    EXPECT_EQ(
        Refusal("<ows:ExceptionReport xmlns:ows=\"http://www.opengis.net/ows/1.1\">"
                "<ows:Exception exceptionCode=\"InvalidParameterValue\"><ows:ExceptionText>"
                "Unknown layer\nfoo</ows:ExceptionText></ows:Exception></ows:ExceptionReport>"),
        "The service answered with an error: Unknown layer foo");
    EXPECT_EQ(Refusal("{\"tiles\": [\"https://x/{z}/{x}/{y}.png\"]"),
              "The service description is not valid JSON.");
    EXPECT_EQ(Refusal("{\"tilejson\": \"3.0.0\", \"tiles\": []}"), "The TileJSON lists no tiles.");
    EXPECT_EQ(Refusal("{\"tiles\": [7]}"), "The TileJSON's tiles must be addresses.");
    EXPECT_EQ(Refusal("HTTP error page"),
              "The address gives neither a WMTS capabilities document nor a TileJSON.");
    EXPECT_EQ(Refusal(std::string(kMaxServiceDescriptionBytes + 1, ' ')),
              "The service description is larger than 16 MiB.");

    // An entity bomb never reaches the parser; deep nesting stops at the
    // parser's depth limit.
    const auto started = std::chrono::steady_clock::now();
    std::string bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE c [<!ENTITY a \"aaaaaaaaaa\">";
    for (char e = 'b'; e <= 'k'; ++e) {
        bomb += std::string("<!ENTITY ") + e + " \"";
        for (int i = 0; i < 10; ++i) {
            bomb += std::string("&") + static_cast<char>(e - 1) + ";";
        }
        bomb += "\">";
    }
    bomb += "]>\n<Capabilities><ows:Title>&k;</ows:Title></Capabilities>";
    EXPECT_EQ(Refusal(bomb),
              "The service description declares a DTD, which a WMTS capabilities "
              "document never has.");
    std::string deep;
    for (int i = 0; i < 100000; ++i) {
        deep += "<a>";
    }
    EXPECT_EQ(Refusal(deep).rfind("The service description is not well-formed XML", 0), 0U);
    EXPECT_EQ(Refusal("{\"x\": " + std::string(100000, '[') + std::string(100000, ']') + "}"),
              "The TileJSON lists no tiles.");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

// A layer whose template or zooms make no source says why, and the others
// of the document stay usable.
TEST(ServiceDescription, ALayerThatMakesNoSourceSaysWhy) {
    const ServiceDescription outside = ReadServiceDescription(
        R"({"tiles": ["https://x.example/{z}/{x}/{y}.png"], "minzoom": 20, "maxzoom": 22})",
        "https://x.example/t.json");
    EXPECT_EQ(outside.Layers[0].Unusable, "its zooms are outside 1..19.");
    const ServiceDescription bad = ReadServiceDescription(
        R"({"name": "Bad", "tiles": ["https://x.example/{z}/{x}/{y}@{r}.png"]})",
        "https://x.example/t.json");
    EXPECT_EQ(bad.Layers[0].Unusable, "Source 'Bad': unknown placeholder {r} in Url.");
    const ServiceDescription zooms = ReadServiceDescription(
        R"({"tiles": ["https://x.example/{z}/{x}/{y}.png"], "minzoom": -1})", "https://x.example/");
    EXPECT_EQ(zooms.Layers[0].Unusable, "its minzoom or maxzoom is no zoom 0..30.");
}

}  // namespace
}  // namespace tessellon

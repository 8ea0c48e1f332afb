#include "task/tile_source.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "task/source_key_rules.h"

namespace tessellon {
namespace {

using Headers = std::vector<std::pair<std::string, std::string>>;

TileSource ReadTopo(const SourceKeys& keys) {
    return TileSource::Read("Topo", keys, "5.23");
}

TEST(TileSource, ReadsEveryKey) {
    const TileSource source = ReadTopo({
        {"Url", "https://{s}.tile.example.org/{z}/{x}/{y}.png"},
        {"Subdomains", "abc"},
        {"Format", "JPG"},
        {"MinZoom", "3"},
        {"MaxZoom", "17"},
        {"Workers", "8"},
        {"PauseMs", "0"},
        {"UserAgent", "MyAtlas/2.0 (me@example.org)"},
        {"Referer", "https://example.org/"},
        {"Headers", "Authorization: Bearer abc | X-Api-Key:k1||"},
        {"Attribution", "(c) Example contributors"},
        {"Insecure", "1"},
    });
    EXPECT_EQ(source.Name(), "Topo");
    EXPECT_EQ(source.Url().Text(), "https://{s}.tile.example.org/{z}/{x}/{y}.png");
    EXPECT_EQ(source.Subdomains(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(source.Format(), "jpg");
    EXPECT_EQ(source.MinZoom(), 3);
    EXPECT_EQ(source.MaxZoom(), 17);
    EXPECT_EQ(source.Workers(), 8);
    EXPECT_EQ(source.PauseMs(), 0);
    EXPECT_EQ(source.UserAgent(), "MyAtlas/2.0 (me@example.org)");
    EXPECT_EQ(source.Referer(), "https://example.org/");
    EXPECT_EQ(source.Headers(), (Headers{{"Authorization", "Bearer abc"}, {"X-Api-Key", "k1"}}));
    EXPECT_EQ(source.Attribution(), "(c) Example contributors");
    EXPECT_TRUE(source.Insecure());
    EXPECT_EQ(source.TileUrl(3, 5, 3), "https://c.tile.example.org/3/3/5.png");
}

TEST(TileSource, AUrlAloneTakesTheDefaults) {
    const TileSource source =
        ReadTopo({{"url", "http://example.org/{z}/{x}/{y}"}, {"Referer", ""}});
    EXPECT_TRUE(source.Subdomains().empty());
    EXPECT_EQ(source.Format(), "png");
    EXPECT_EQ(source.MinZoom(), 1);
    EXPECT_EQ(source.MaxZoom(), 19);
    EXPECT_EQ(source.Workers(), 2);
    EXPECT_EQ(source.PauseMs(), 1000);
    EXPECT_EQ(source.UserAgent(), "Tessellon/5.23");
    EXPECT_EQ(source.Referer(), "");
    EXPECT_TRUE(source.Headers().empty());
    EXPECT_FALSE(source.Insecure());
}

TEST(TileSource, FormatComesFromTheUrlsExtensionElsePng) {
    const std::pair<const char*, const char*> kCases[] = {
        {"https://example.org/{z}/{x}/{y}.jpg", "jpg"},
        {"https://example.org/{z}/{x}/{y}.JPEG", "jpg"},
        {"https://example.org/{z}/{x}/{y}.webp?key=a.png", "webp"},
        {"https://example.org/{z}/{x}/{y}.pbf#v.jpg", "pbf"},
        {"https://example.org/{z}/{x}/{y}@2x.png", "png"},
        {"https://example.org/{z}/{x}/{y}.gif", "png"},
        {"https://example.org/tiles.jpg/{z}/{x}/{y}", "png"},
        {"https://example.org/wms?FORMAT=image/jpeg&BBOX={bbox}", "png"},
    };
    for (const auto& [url, format] : kCases) {
        SCOPED_TRACE(url);
        EXPECT_EQ(ReadTopo({{"Url", url}}).Format(), format);
    }
}

TEST(TileSource, SubdomainsAreLettersOrNamesBetweenCommas) {
    const auto subdomains = [](const char* text) {
        return ReadTopo({{"Url", "https://{s}.example.org/{q}"}, {"Subdomains", text}})
            .Subdomains();
    };
    using List = std::vector<std::string>;
    EXPECT_EQ(subdomains("1234"), (List{"1", "2", "3", "4"}));
    EXPECT_EQ(subdomains("a, b ,c"), (List{"a", "b", "c"}));
    EXPECT_EQ(subdomains("tile1,,tile2"), (List{"tile1", "tile2"}));
    EXPECT_EQ(subdomains("tiles,"), (List{"tiles"}));
}

// The positions of a tile may come from the quadkey or the bounds alone, and
// TMS rows stand for rows from the north.
TEST(TileSource, AcceptsEachWayOfNamingATile) {
    for (const char* url :
         {"https://example.org/{z}/{x}/{-y}.png", "https://example.org/{q}",
          "HTTPS://example.org/wms?BBOX={bbox}", "http://example.org/{y}{x}{z}"}) {
        SCOPED_TRACE(url);
        EXPECT_EQ(ReadTopo({{"Url", url}}).Url().Text(), url);
    }
}

TEST(TileSource, RefusesABadKeyNamingTheSourceAndTheKey) {
    const std::string kXyz = "https://example.org/{z}/{x}/{y}.png";
    const std::pair<SourceKeys, const char*> kRefused[] = {
        {{}, "Source 'Topo' has no Url."},
        {{{"Url", ""}, {"Workers", "3"}}, "Source 'Topo' has no Url."},
        {{{"Url", "https://example.org/{zoom}/{x}/{y}.png"}},
         "Source 'Topo': unknown placeholder {zoom} in Url."},
        {{{"Url", "https://example.org/{z}/{x}/{y"}},
         "Source 'Topo': a \"{\" without \"}\" in Url."},
        {{{"Url", "https://example.org/{z}/{x}.png"}},
         "Source 'Topo': Url needs {x}, {y} or {-y}, and {z}, or else {q} or {bbox}."},
        {{{"Url", "https://example.org/{x}/{y}.png"}},
         "Source 'Topo': Url needs {x}, {y} or {-y}, and {z}, or else {q} or {bbox}."},
        {{{"Url", "ftp://example.org/{z}/{x}/{y}.png"}},
         "Source 'Topo': Url must begin with http:// or https://."},
        {{{"Url", "example.org/{z}/{x}/{y}.png"}},
         "Source 'Topo': Url must begin with http:// or https://."},
        {{{"Url", "https://{s}.example.org/{z}/{x}/{y}.png"}},
         "Source 'Topo': Url has {s} but there are no Subdomains."},
        {{{"Url", kXyz}, {"Subdomains", "a b"}},
         "Source 'Topo': Subdomains must be letters such as abc or names such as a,b,c."},
        {{{"Url", kXyz}, {"Format", "gif"}},
         "Source 'Topo': Format must be png, jpg, webp or pbf."},
        {{{"Url", kXyz}, {"MinZoom", "0"}}, "Source 'Topo': MinZoom must be 1..19."},
        {{{"Url", kXyz}, {"MaxZoom", "20"}}, "Source 'Topo': MaxZoom must be 1..19."},
        {{{"Url", kXyz}, {"MinZoom", "12"}, {"MaxZoom", "11"}},
         "Source 'Topo': MinZoom must not be above MaxZoom."},
        {{{"Url", kXyz}, {"Workers", "9"}}, "Source 'Topo': Workers must be 1..8."},
        {{{"Url", kXyz}, {"Workers", "0"}}, "Source 'Topo': Workers must be 1..8."},
        {{{"Url", kXyz}, {"Workers", "two"}}, "Source 'Topo': Workers must be 1..8."},
        {{{"Url", kXyz}, {"PauseMs", "-1"}}, "Source 'Topo': PauseMs must be 0..60000."},
        {{{"Url", kXyz}, {"Insecure", "yes"}}, "Source 'Topo': Insecure must be 0 or 1."},
        {{{"Url", kXyz}, {"Headers", "X-Api-Key k1"}},
         "Source 'Topo': Headers must be Name: value pairs separated by |."},
        {{{"Url", kXyz}, {"Headers", "X Key: k1"}},
         "Source 'Topo': Headers must be Name: value pairs separated by |."},
        {{{"Url", kXyz}, {"Headers", ": k1"}},
         "Source 'Topo': Headers must be Name: value pairs separated by |."},
        {{{"Url", kXyz}, {"UserAgent", "a\nX-Injected: 1"}},
         "Source 'Topo': UserAgent holds a control character."},
        {{{"Url", kXyz}, {"MaxZom", "12"}}, "Source 'Topo': unknown key MaxZom."},
        // The name is the section's; a key of that name is a mistake.
        {{{"Url", kXyz}, {"Name", "Relief"}}, "Source 'Topo': unknown key Name."},
    };
    for (const auto& [keys, message] : kRefused) {
        SCOPED_TRACE(message);
        try {
            ReadTopo(keys);
            ADD_FAILURE() << "accepted";
        } catch (const ETileSourceError& error) {
            EXPECT_STREQ(error.what(), message);
        }
    }
}

// What a task keeps of its source brings back the same source, whatever the
// sources file or the program's version say later.
TEST(TileSource, ItsKeysBringItBack) {
    const TileSource source = ReadTopo({
        {"Url", "https://{s}.example.org/{q}.jpeg"},
        {"Subdomains", "tiles"},
        {"MaxZoom", "0x10"},
        {"Headers", "X-Api-Key: k1|Accept:image/*"},
    });
    const SourceKeys keys = source.Keys();
    const SourceKeys expected{
        {"Name", "Topo"},
        {"Url", "https://{s}.example.org/{q}.jpeg"},
        {"Subdomains", "t,i,l,e,s"},
        {"Format", "jpg"},
        {"MinZoom", "1"},
        {"MaxZoom", "16"},
        {"Workers", "2"},
        {"PauseMs", "1000"},
        {"UserAgent", "Tessellon/5.23"},
        {"Referer", ""},
        {"Headers", "X-Api-Key: k1|Accept: image/*"},
        {"Attribution", ""},
        {"Insecure", "0"},
    };
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(TileSource::FromKeys(keys, "9.9").Keys(), keys);

    const TileSource one =
        ReadTopo({{"Url", "https://{s}.example.org/{q}"}, {"Subdomains", "t1,"}});
    const TileSource again = TileSource::FromKeys(one.Keys(), "9.9");
    EXPECT_EQ(again.Subdomains(), std::vector<std::string>{"t1"});
    EXPECT_EQ(again.TileUrl(1, 0, 1), "https://t1.example.org/1");
}

// The table the editing window builds its fields from is the reader's: the
// same keys in the order a task keeps them, with the defaults a missing key
// takes.
TEST(TileSource, ReadsByTheTableOfKeys) {
    const SourceKeys keys = ReadTopo({{"Url", "https://example.org/{z}/{x}/{y}.png"}}).Keys();
    ASSERT_EQ(keys.size(), kSourceKeyRules.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const SourceKeyRule& rule = kSourceKeyRules[i];
        SCOPED_TRACE(rule.Name);
        EXPECT_EQ(keys[i].first, rule.Name);
        if (rule.Kind != SourceKeyKind::Text) {
            EXPECT_EQ(keys[i].second, std::to_string(rule.Default));
        }
        EXPECT_EQ(FindSourceKey(keys[i].first), &rule);
    }
    EXPECT_EQ(FindSourceKey("pausems"), &SourceKey("PauseMs"));
    EXPECT_EQ(FindSourceKey("Pause"), nullptr);
    EXPECT_EQ(SourceKeyHint(SourceKey("Workers")), "2");
    EXPECT_EQ(SourceKeyHint(SourceKey("Subdomains")), "abc or a,b,c");
}

}  // namespace
}  // namespace tessellon

#pragma once
// The keys of a tile source, one row each: the key's name in the sources file
// and in a task's [SOURCE] section, the kind of value it holds with its range
// and the value a missing key takes, and what it means. The reader, the
// editing control and the editing window all go by this table, so a further
// key is one more row here and the code that uses its value. Names and
// defaults are a contract: sources files and projects carry them.

#include <array>
#include <string>
#include <string_view>

namespace tessellon {

enum class SourceKeyKind {
    // Any text on one line; the row's Hint says what an empty one gives.
    Text,
    // A whole number within Min..Max; Default when missing.
    Integer,
    // 0 or 1; Default when missing.
    Switch,
};

struct SourceKeyRule {
    std::string_view Name;
    SourceKeyKind Kind;
    int Min = 0;
    int Max = 0;
    int Default = 0;
    // How a text is written, or what an empty one gives.
    std::string_view Hint;
    // What the key does, in a few words.
    std::string_view Meaning;
    // Listed by Keys() only when set (see below).
    bool Optional = false;
};

// Keys() of a source lists them in this order; "Name" comes first and is the
// section's name in the sources file, a key only in a task's [SOURCE]. The
// keys marked Optional came later: Keys() lists them only when they differ
// from their default, so a task that started before them keeps its keys.
inline constexpr auto kSourceKeyRules = std::to_array<SourceKeyRule>({
    {"Name", SourceKeyKind::Text, 0, 0, 0, "", "the name the source is chosen by"},
    {"Url", SourceKeyKind::Text, 0, 0, 0, "https://{s}.example.org/{z}/{x}/{y}.png",
     "the template of a tile's address"},
    {"Subdomains", SourceKeyKind::Text, 0, 0, 0, "abc or a,b,c", "the values {s} takes in turn"},
    {"Format", SourceKeyKind::Text, 0, 0, 0, "png, jpg, webp or pbf; empty: from the Url",
     "the tiles' format and their files' extension"},
    {"MinZoom", SourceKeyKind::Integer, 1, 19, 1, "", "the lowest zoom the service has"},
    {"MaxZoom", SourceKeyKind::Integer, 1, 19, 19, "", "the highest zoom the service has"},
    // A TMS "global-mercator" profile numbers its zooms one below the grid's.
    {"ZoomOffset", SourceKeyKind::Integer, -2, 2, 0, "",
     "added to {z} in the Url, for a service whose zooms are numbered otherwise", true},
    {"Workers", SourceKeyKind::Integer, 1, 8, 2, "", "how many tiles are fetched at once"},
    // Past a minute a pause is no longer politeness but a stall; a server
    // that wants more says so with Retry-After.
    {"PauseMs", SourceKeyKind::Integer, 0, 60000, 1000, "",
     "each worker's pause after a tile, in milliseconds"},
    {"UserAgent", SourceKeyKind::Text, 0, 0, 0, "Tessellon/<version>",
     "the User-Agent header of every request"},
    {"Referer", SourceKeyKind::Text, 0, 0, 0, "", "the Referer header of every request"},
    {"Headers", SourceKeyKind::Text, 0, 0, 0, "Name: value | Name: value",
     "further headers of every request"},
    {"Attribution", SourceKeyKind::Text, 0, 0, 0, "",
     "the text the service asks to be shown with its tiles"},
    {"Terms", SourceKeyKind::Text, 0, 0, 0, "", "the service's terms of use, shown at each start",
     true},
    {"Insecure", SourceKeyKind::Switch, 0, 1, 0, "", "accept a certificate that does not verify"},
});

// The row of `name` as the table spells it. A name the table lacks does not
// compile.
consteval const SourceKeyRule& SourceKey(std::string_view name) {
    for (const SourceKeyRule& rule : kSourceKeyRules) {
        if (rule.Name == name) {
            return rule;
        }
    }
    throw "no such source key";
}

// The row whose name is `name` by the INI rules (any case); nullptr when none.
const SourceKeyRule* FindSourceKey(std::string_view name);

// What an empty field of the key stands for, as the editing window shows it:
// the Hint, or an Integer's default.
std::string SourceKeyHint(const SourceKeyRule& rule);

}  // namespace tessellon

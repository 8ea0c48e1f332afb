#pragma once
// The configuration file "config.ini" (SettingsFileIn says where it lives):
// one registry of every section and key with its default, and typed reading
// and writing for the main window, the options window and the download start.

#include <optional>
#include <string>
#include <string_view>

#include "net/net_limits.h"
#include "platform/files.h"

namespace tessellon {

struct StringSetting {
    std::string_view Section;
    std::string_view Key;
    std::string_view Default;
};

struct IntegerSetting {
    std::string_view Section;
    std::string_view Key;
    int Default;
};

// A folder whose default lies in the user's home folder.
struct FolderSetting {
    std::string_view Section;
    std::string_view Key;
    std::string_view DefaultInHome;
};

namespace settings {
// The save folder the main window proposes and the options window shows: one
// default for both, so OK in the options window never moves it.
inline constexpr FolderSetting DefaultPath{"IniParas", "DefaultPath", "orvanta"};
inline constexpr StringSetting DefaultOutputName{"IniParas", "DefaultOutputName", "bigmap.bmp"};
inline constexpr IntegerSetting DefaultThreadCount{"IniParas", "DefaultThreadCount", 1};
inline constexpr StringSetting Version{"IniParas", "Version", "5.23"};
// The most bytes one tile body may have (see ReadMaxTileBytes).
inline constexpr IntegerSetting MaxTileBytes{"IniParas", "MaxTileBytes",
                                             static_cast<int>(kDefaultMaxTileBytes)};
// 1 means use the proxy; any other value means do not.
inline constexpr IntegerSetting UseProxy{"Proxy", "UseProxy", 0};
inline constexpr StringSetting ProxyServer{"Proxy", "ProxyServer", ""};
inline constexpr StringSetting ProxyPort{"Proxy", "ProxyPort", ""};
inline constexpr StringSetting ProxyUsername{"Proxy", "ProxyUsername", ""};
inline constexpr StringSetting ProxyPassword{"Proxy", "ProxyPassword", ""};
// Host or host:port of each tile server.
inline constexpr StringSetting MapHost{"TileService", "MapHost", "127.0.0.1:8086"};
inline constexpr StringSetting SatelliteHost{"TileService", "SatelliteHost", "127.0.0.1:8086"};
}  // namespace settings

// What the main window reads when it is shown.
struct MainWindowSettings {
    std::string DefaultPath;
    std::string DefaultOutputName;
    int DefaultThreadCount = 1;
    std::string Version;
};

struct ProxySettings {
    bool UseProxy = false;
    std::string ProxyServer;
    std::string ProxyPort;
    std::string ProxyUsername;
    std::string ProxyPassword;
};

struct TileServiceSettings {
    std::string MapHost;
    std::string SatelliteHost;
};

// What the options window shows and writes.
struct OptionsSettings {
    std::string DefaultPath;
    ProxySettings Proxy;
    // Where the built-in "Map" and "Satellite" services are fetched from.
    TileServiceSettings Hosts;
};

// Why `host` cannot be a built-in service's address, naming `key`; nothing
// when it is a host name or address with an optional port
// ("tiles.example.org", "10.0.0.5:8086"), which goes into the tile URLs as
// it stands.
std::optional<std::string> HostProblem(std::string_view key, std::string_view host);

class Configuration {
public:
    explicit Configuration(std::string fileName) : fileName_(std::move(fileName)) {}

    // "config.ini" of the running program, as SettingsFileIn places it.
    static std::string DefaultFileName();

    // Why the file cannot serve as the settings, "" when it can. One the user
    // named must be there, or a download meant for the proxy would go
    // direct; the default one may be missing (the defaults apply). Either
    // must be a regular file within kInputFileLimit.
    std::string Problem(bool named) const;

    const std::string& FileName() const { return fileName_; }

    std::string Read(const StringSetting& setting) const;
    int Read(const IntegerSetting& setting) const;
    std::string Read(const FolderSetting& setting) const;
    // Raise EIniFileException ("Unable to write to " + path) on failure.
    // `options` apply when the write makes the file.
    void Write(const StringSetting& setting, const std::string& value,
               FileWriteOptions options = {}) const;
    void Write(const IntegerSetting& setting, int value, FileWriteOptions options = {}) const;
    void Write(const FolderSetting& setting, const std::string& value,
               FileWriteOptions options = {}) const;

    MainWindowSettings ReadMainWindow() const;
    ProxySettings ReadProxy() const;
    TileServiceSettings ReadTileService() const;
    OptionsSettings ReadOptions() const;
    // MaxTileBytes; a value that is not a positive number gives the default.
    std::size_t ReadMaxTileBytes() const;
    // Writes the six keys in order: DefaultPath, UseProxy (1 or 0) and the
    // four proxy texts, then each host that is given (not empty) and differs
    // from the one the file gives (so a file that never named them keeps
    // their keys out until the user changes one). A failed write leaves the keys before it
    // written. A file made for a proxy password is readable by its owner
    // alone.
    void WriteOptions(const OptionsSettings& options) const;

private:
    std::string fileName_;
};

}  // namespace tessellon

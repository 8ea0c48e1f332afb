#include "control/configuration.h"

#include <cstdint>
#include <tuple>

#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/numbers.h"
#include "platform/paths.h"

namespace tessellon {

namespace {

std::string Text(std::string_view text) {
    return std::string(text);
}

}  // namespace

std::optional<std::string> HostProblem(std::string_view key, std::string_view host) {
    const std::string problem =
        std::string(key) +
        " must be a host name or address with an optional port, such as tiles.example.org or "
        "10.0.0.5:8086.";
    const std::size_t colon = host.rfind(':');
    const std::string_view name = host.substr(0, colon);
    if (name.empty()) {
        return problem;
    }
    // Letters, digits, dots and hyphens: the text goes into every tile URL
    // as it stands, so nothing may end the host or start a path or query.
    for (const char c : name) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '.' || c == '-';
        if (!allowed) {
            return problem;
        }
    }
    if (colon != std::string_view::npos) {
        const std::string_view port = host.substr(colon + 1);
        const std::optional<std::uint32_t> number = ParseInteger<std::uint32_t>(port);
        if (port.empty() || port.size() > 5 || !number || *number < 1 || *number > 65535) {
            return problem;
        }
    }
    return std::nullopt;
}

std::string Configuration::DefaultFileName() {
    return SettingsFileIn(ProgramFolder(), "config.ini");
}

std::string Configuration::Problem(bool named) const {
    try {
        if (named || FileExists(fileName_)) {
            CheckInputFile(fileName_);
        }
    } catch (const EFileError& e) {
        return e.what();
    }
    return "";
}

std::string Configuration::Read(const StringSetting& setting) const {
    return IniFile(fileName_).ReadString(Text(setting.Section), Text(setting.Key),
                                         Text(setting.Default));
}

int Configuration::Read(const IntegerSetting& setting) const {
    return IniFile(fileName_).ReadInteger(Text(setting.Section), Text(setting.Key),
                                          setting.Default);
}

std::string Configuration::Read(const FolderSetting& setting) const {
    return IniFile(fileName_).ReadString(
        Text(setting.Section), Text(setting.Key),
        IncludeTrailingSeparator(HomeFolder()) + Text(setting.DefaultInHome));
}

void Configuration::Write(const StringSetting& setting, const std::string& value,
                          FileWriteOptions options) const {
    IniFile(fileName_, options).WriteString(Text(setting.Section), Text(setting.Key), value);
}

void Configuration::Write(const FolderSetting& setting, const std::string& value,
                          FileWriteOptions options) const {
    IniFile(fileName_, options).WriteString(Text(setting.Section), Text(setting.Key), value);
}

void Configuration::Write(const IntegerSetting& setting, int value,
                          FileWriteOptions options) const {
    IniFile(fileName_, options).WriteInteger(Text(setting.Section), Text(setting.Key), value);
}

MainWindowSettings Configuration::ReadMainWindow() const {
    return {Read(settings::DefaultPath), Read(settings::DefaultOutputName),
            Read(settings::DefaultThreadCount), Read(settings::Version)};
}

ProxySettings Configuration::ReadProxy() const {
    return {Read(settings::UseProxy) == 1, Read(settings::ProxyServer), Read(settings::ProxyPort),
            Read(settings::ProxyUsername), Read(settings::ProxyPassword)};
}

TileServiceSettings Configuration::ReadTileService() const {
    return {Read(settings::MapHost), Read(settings::SatelliteHost)};
}

OptionsSettings Configuration::ReadOptions() const {
    return {Read(settings::DefaultPath), ReadProxy(), ReadTileService()};
}

std::size_t Configuration::ReadMaxTileBytes() const {
    const int bytes = Read(settings::MaxTileBytes);
    return bytes > 0 ? static_cast<std::size_t>(bytes) : kDefaultMaxTileBytes;
}

void Configuration::WriteOptions(const OptionsSettings& options) const {
    // The first write makes a missing file, so each write carries the mode:
    // the password must never lie in a file that others may read, not even
    // between two writes.
    FileWriteOptions file;
    if (!options.Proxy.ProxyPassword.empty()) {
        file.NewFileMode = kPrivateFileMode;
    }
    Write(settings::DefaultPath, options.DefaultPath, file);
    Write(settings::UseProxy, options.Proxy.UseProxy ? 1 : 0, file);
    Write(settings::ProxyServer, options.Proxy.ProxyServer, file);
    Write(settings::ProxyPort, options.Proxy.ProxyPort, file);
    Write(settings::ProxyUsername, options.Proxy.ProxyUsername, file);
    Write(settings::ProxyPassword, options.Proxy.ProxyPassword, file);
    const TileServiceSettings hosts = ReadTileService();
    for (const auto& [setting, now, wanted] :
         {std::tuple{&settings::MapHost, &hosts.MapHost, &options.Hosts.MapHost},
          std::tuple{&settings::SatelliteHost, &hosts.SatelliteHost,
                     &options.Hosts.SatelliteHost}}) {
        if (!wanted->empty() && *wanted != *now) {
            Write(*setting, *wanted, file);
        }
    }
}

}  // namespace tessellon

#include "control/configuration.h"

#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/paths.h"

namespace tessellon {

namespace {

std::string Text(std::string_view text) {
    return std::string(text);
}

}  // namespace

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
    return {Read(settings::DefaultPath), ReadProxy()};
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
}

}  // namespace tessellon

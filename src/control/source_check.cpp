#include "control/source_check.h"

#include "control/source_editing.h"
#include "download/client_setup.h"
#include "net/http_client.h"
#include "platform/files.h"
#include "platform/shown_text.h"
#include "task/sources_file.h"

namespace tessellon {

namespace {

// The engine's messages come in lines ("Socket Error # 11001\r\nHost not
// found."); a check's report is one line.
std::string OneLine(std::string_view text) {
    std::string line;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            line += (line.empty() ? "" : " ") + std::string(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return line;
}

}  // namespace

std::string DefaultSourcesFileName() {
    return SourcesFileIn(ProgramFolder());
}

FetchedTile FetchOneTile(const std::string& url, const std::optional<TileSource>& source,
                         const ProxySettings& proxy, const TNetTimeLimits& limits,
                         std::size_t maxBodyBytes, bool followRedirects) {
    FetchedTile tile;
    THttpClient http;
    http.TimeLimits = limits;
    http.ReplyLimits.MaxBodySize = maxBodyBytes;
    http.HandleRedirects = followRedirects;
    if (source) {
        UseSource(http, *source);
    }
    if (proxy.UseProxy) {
        if (auto message = UseProxy(http, {proxy.ProxyServer, proxy.ProxyPort, proxy.ProxyUsername,
                                           proxy.ProxyPassword})) {
            tile.Error = std::move(*message);
            return tile;
        }
    }
    TNetBuffer body;
    const auto start = std::chrono::steady_clock::now();
    try {
        http.GetUrl(url, body);
    } catch (const std::exception& e) {
        tile.Error = OneLine(e.what());
    } catch (...) {
        tile.Error = "unknown error";
    }
    tile.Time = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    tile.Status = http.StatusCode();
    tile.Body = std::string(body.View());
    tile.ContentType = http.Reply().ContentType;
    return tile;
}

SourceCheck CheckSource(const TileSource& source, const ProxySettings& proxy,
                        const TNetTimeLimits& limits, std::size_t maxTileBytes) {
    SourceCheck check;
    check.Zoom = source.MinZoom();
    check.Url = source.TileUrl(0, 0, check.Zoom);
    FetchedTile tile = FetchOneTile(check.Url, source, proxy, limits, maxTileBytes);
    check.Error = std::move(tile.Error);
    check.Time = tile.Time;
    check.Status = tile.Status;
    check.Bytes = tile.Body.size();
    check.Kind = DetectImageKind(tile.Body);
    check.Body = std::move(tile.Body);
    check.ContentType = std::move(tile.ContentType);
    const ImageKind expected = ImageKindOfFormat(source.Format());
    check.Passed = check.Error.empty() && (expected == ImageKind::None || check.Kind == expected);
    return check;
}

std::string DescribeSource(const TileSource& source) {
    return ShowControlCharacters(source.Name()) + ": " + source.Url().Text() + ", zooms " +
           std::to_string(source.MinZoom()) + "-" + std::to_string(source.MaxZoom()) +
           ", workers " + std::to_string(source.Workers()) + ", pause " +
           std::to_string(source.PauseMs()) + " ms" +
           (source.Terms().empty() ? "" : "; terms: " + source.Terms());
}

std::string DescribeCheck(const SourceCheck& check, const TileSource& source) {
    std::string text = "  check " + std::to_string(check.Zoom) + "/0/0: ";
    text += check.Passed ? "ok" : "failed";
    text += check.Status > 0 ? ", HTTP " + std::to_string(check.Status) : ", no reply";
    text += ", " + std::to_string(check.Time.count()) + " ms, " + std::to_string(check.Bytes) +
            " bytes, ";
    if (!check.Error.empty()) {
        return text + check.Error;
    }
    const ImageKind expected = ImageKindOfFormat(source.Format());
    if (expected == ImageKind::None) {
        return text + source.Format() + " not checked";
    }
    text += ImageKindName(check.Kind);
    if (!check.Passed) {
        text += " (" + (check.ContentType.empty() ? "no content type" : check.ContentType) +
                "), not " + std::string(ImageKindName(expected));
    }
    return text;
}

SourcesVerdict ListSources(const SourcesListing& listing,
                           const std::function<void(const std::string&)>& out,
                           const std::function<void(const std::string&)>& errors) {
    const Configuration configuration(listing.ConfigFileName);
    const SourcesFile file =
        ReadSources(listing.SourcesFileName, listing.ConfigFileName, listing.CatalogueFileName);
    const ProxySettings proxy = listing.Check ? configuration.ReadProxy() : ProxySettings{};
    for (const std::string& error : file.Errors) {
        errors(error);
    }
    bool checksPassed = true;
    for (const TileSource& source : file.Sources) {
        out(DescribeSource(source));
        if (listing.Check) {
            const SourceCheck check =
                CheckSource(source, proxy, listing.TimeLimits, configuration.ReadMaxTileBytes());
            out(DescribeCheck(check, source));
            checksPassed = checksPassed && check.Passed;
        }
    }
    if (!file.Errors.empty()) {
        return SourcesVerdict::Refused;
    }
    return checksPassed ? SourcesVerdict::AllGood : SourcesVerdict::CheckFailed;
}

}  // namespace tessellon

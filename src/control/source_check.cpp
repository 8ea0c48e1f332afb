#include "control/source_check.h"

#include "control/source_editing.h"
#include "control/start_checks.h"
#include "platform/files.h"
#include "platform/shown_text.h"
#include "task/sources_file.h"

namespace tessellon {

std::string DefaultSourcesFileName() {
    return SourcesFileIn(ProgramFolder());
}

std::optional<ProxyTexts> ProxyOf(const ProxySettings& proxy) {
    if (!proxy.UseProxy) {
        return std::nullopt;
    }
    return ProxyTexts{proxy.ProxyServer, proxy.ProxyPort, proxy.ProxyUsername, proxy.ProxyPassword};
}

Pacing SourcePacing(const TileSource& source, const Pacing& pace) {
    Pacing paced = pace;
    paced.AfterTile = PauseAfterTile(source, pace);
    return paced;
}

FetchedTile FetchOneTile(const std::string& url, const std::optional<TileSource>& source,
                         const ProxySettings& proxy, const TNetTimeLimits& limits,
                         std::size_t maxBodyBytes, bool followRedirects, const Pacing& pace,
                         StopSignal* stop) {
    StopSignal never;
    std::optional<ServerBackoff> backoff;
    if (source) {
        backoff.emplace(SourcePacing(*source, pace));
    }
    TileFetcher fetcher({source, ProxyOf(proxy), limits, maxBodyBytes, followRedirects},
                        backoff ? &*backoff : nullptr, stop != nullptr ? *stop : never);
    return fetcher.Fetch(url);
}

SourceCheck CheckSource(const TileSource& source, const ProxySettings& proxy,
                        const TNetTimeLimits& limits, std::size_t maxTileBytes, const Pacing& pace,
                        StopSignal* stop) {
    SourceCheck check;
    check.Zoom = source.MinZoom();
    check.Url = source.TileUrl(0, 0, check.Zoom);
    FetchedTile tile =
        FetchOneTile(check.Url, source, proxy, limits, maxTileBytes, false, pace, stop);
    check.Error = std::move(tile.Error);
    check.NotATile = std::move(tile.NotATile);
    check.ServerWaits = tile.ServerWaits;
    check.Time = tile.Time;
    check.Status = tile.Status;
    check.Bytes = tile.Body.size();
    check.Kind = DetectImageKind(tile.Body);
    check.Body = std::move(tile.Body);
    check.ContentType = std::move(tile.ContentType);
    const ImageKind expected = ImageKindOfFormat(source.Format());
    check.Passed = check.Error.empty() && check.NotATile.empty() &&
                   (expected == ImageKind::None || check.Kind == expected);
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
    text += ", " + std::to_string(check.Time.count()) + " ms, ";
    if (check.ServerWaits > 0) {
        text += "after " + std::to_string(check.ServerWaits) + " wait" +
                (check.ServerWaits > 1 ? "s" : "") + " the server asked for, ";
    }
    text += std::to_string(check.Bytes) + " bytes, ";
    if (!check.Error.empty()) {
        return text + check.Error;
    }
    const ImageKind expected = ImageKindOfFormat(source.Format());
    if (expected == ImageKind::None) {
        return text + source.Format() + " not checked";
    }
    text += ImageKindName(check.Kind);
    if (check.Passed) {
        return text;
    }
    if (check.Kind == expected) {
        // The image is of the right kind but cut short.
        return text + ", " + check.NotATile;
    }
    return text + " (" + (check.ContentType.empty() ? "no content type" : check.ContentType) +
           "), not " + std::string(ImageKindName(expected));
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
            const SourceCheck check = CheckSource(source, proxy, listing.TimeLimits,
                                                  configuration.ReadMaxTileBytes(), listing.Pace);
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

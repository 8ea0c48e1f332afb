// tessellon-cli: the download engine without a window.

#include <cstdio>
#include <cstdlib>

#include "cli_arguments.h"
#include "cli_front_end.h"
#include "control/configuration.h"
#include "control/degrees_converter.h"
#include "control/download_control.h"
#include "control/map_area.h"
#include "control/project_opening.h"
#include "control/run_loop.h"
#include "control/source_check.h"
#include "control/source_choice.h"
#include "control/source_editing.h"
#include "control/source_import.h"
#include "output/task_reader.h"
#include "output/tile_export.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/queue_synchronizer.h"
#include "platform/signals.h"
#include "platform/terminal.h"
#include "task/md_task.h"
#include "task/sources_file.h"

namespace {

using namespace tessellon;

enum ExitStatus { kDone = 0, kRefused = 1, kFailedTiles = 2, kStopped = 3 };

// A test run against a local server shrinks the pace: TESSELLON_PACE_MS is
// the pause after a tile, and the timer ticks at the same length.
std::chrono::milliseconds PaceScaleFromEnvironment() {
    if (const char* text = std::getenv("TESSELLON_PACE_MS"); text != nullptr && *text != '\0') {
        const long ms = std::strtol(text, nullptr, 10);
        if (ms > 0) {
            return std::chrono::milliseconds(ms);
        }
    }
    return Pacing::kProgramScale;
}

// A refresh is a run whose workers ask the tiles again; none: a download.
struct RefreshRequest {
    std::optional<std::int64_t> OlderThanSeconds;
};

// What the command line chose for a run beside its task.
struct RunChoices {
    cli::StartAnswers Answers{};
    bool Quiet = false;
    ListedTiles Listed = ListedTiles::Leave;
};

RunChoices ChoicesOf(const cli::Arguments& args) {
    return {{args.replace, args.yes},
            args.quiet,
            args.retryFailed ? ListedTiles::RetryFirst : ListedTiles::Leave};
}

int RunDownload(const TaskFields& fields, const std::string& configFile, const RunChoices& choices,
                std::optional<RefreshRequest> refresh = {}) {
    const std::chrono::milliseconds scale = PaceScaleFromEnvironment();
    DownloadSettings settings;
    settings.ConfigFileName = configFile;
    settings.ProgramFolder = ProgramFolder();
    settings.Pace = Pacing(scale);
    settings.StartCancelled = StopRequestedBySignal;
    settings.SaveFolders = SaveFolderMaking::WholePath;
    cli::ConsoleFrontEnd console(choices.Answers, choices.Quiet);
    QueueSynchronizer sync;
    DownloadControl control(settings, console, sync);
    const bool started = refresh ? control.StartRefresh(fields, refresh->OlderThanSeconds)
                                 : control.Start(fields, choices.Listed);
    if (!started) {
        return StopRequestedBySignal() ? kStopped : kRefused;
    }
    // Said where the user looks at every start, not only in the log: the
    // project may have come from someone else.
    if (fields.Source && fields.Source->Insecure()) {
        console.ShowMessage(InsecureSourceLine(*fields.Source));
    }
    // Once the run has ended its closing message stands; no progress line
    // comes after it.
    RunLoop loop(control, sync, scale,
                 {.StopRequested = StopRequestedBySignal,
                  .AbandonRequested = SecondStopRequestedBySignal,
                  .AfterPass = [&] {
                      if (control.Running()) {
                          console.ShowProgress(control.Progress());
                      }
                  }});
    loop.Run();
    console.ClearProgress();
    const std::vector<ZoomWalk> walks = control.ZoomWalks();
    if (walks.size() > 1 && !refresh) {
        for (const ZoomWalk& walk : walks) {
            std::fprintf(stderr, "%s\n", ZoomWalkLine(walk).c_str());
        }
    }
    if (control.WorkersLeftRunning()) {
        // A second Ctrl-C: the run is saved, and the workers that did not
        // stop still hold it, so the program ends without them.
        std::fflush(nullptr);
        std::_Exit(kStopped);
    }
    const DownloadOutcome& outcome = control.Outcome();
    if (outcome.Stopped || outcome.EndedByPolicy) {
        return kStopped;
    }
    if (outcome.Refresh) {
        return outcome.Refresh->Failed > 0 ? kFailedTiles : kDone;
    }
    return outcome.StillBlank > 0 ? kFailedTiles : kDone;
}

// The fields of a saved project, as "Open task ..." fills them; false, with
// the reason on standard error, when it cannot be opened.
bool LoadProject(const std::string& file, TaskFields& fields) {
    const std::string project = AbsolutePath(file);
    if (!FileExists(project)) {
        std::fprintf(stderr, "Cannot open file \"%s\".\n", project.c_str());
        return false;
    }
    try {
        LoadProjectIntoFields(project, fields);
    } catch (const ETileSourceError& e) {
        std::fprintf(stderr, "%s: %s\n", project.c_str(), e.what());
        return false;
    } catch (const ENotAProjectError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return false;
    } catch (const EFileError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return false;
    }
    return true;
}

// Every tile of `cover` as a "Z/X/Y" line, in the order a download takes
// them, handed to `write` about a MiB at a time.
template <typename Write>
void TileLines(const TileCover& cover, Write write) {
    std::string lines;
    for (TileCover::Cursor tile = cover.From(1); tile.Valid(); tile.Advance(1)) {
        const TileId& id = tile.Tile();
        lines += std::to_string(id.Zoom);
        lines += '/';
        lines += std::to_string(id.X);
        lines += '/';
        lines += std::to_string(id.Y);
        lines += '\n';
        if (lines.size() >= (1U << 20)) {
            write(std::string_view(lines));
            lines.clear();
        }
    }
    write(std::string_view(lines));
}

int RunEstimate(const cli::Arguments& args, const TaskFields& fields) {
    TaskParameters params;
    std::optional<std::string> refusal = ReadZooms(fields, params);
    if (!refusal) {
        refusal = ReadArea(fields, params);
    }
    if (refusal) {
        std::fprintf(stderr, "%s\n", refusal->c_str());
        return kRefused;
    }
    const TileCover cover = CoverOfTask(params);
    for (int zoom = cover.MinZoom(); zoom <= cover.MaxZoom(); ++zoom) {
        std::printf("Zoom %d: %lld\n", zoom, static_cast<long long>(cover.CountAt(zoom)));
    }
    std::printf("%s\n", EstimateText(EstimateTask(cover.Count(), WorkersOf(fields.Source),
                                                  PauseAfterTile(fields.Source)))
                            .c_str());
    std::fflush(stdout);
    if (!args.areaCopyFile.empty()) {
        try {
            WriteFileAtomic(AbsolutePath(args.areaCopyFile), params.Shape->CopyText);
        } catch (const EFileError& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return kRefused;
        }
    }
    if (args.tilesFile == "-") {
        TileLines(cover, [](std::string_view bytes) {
            std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        });
        if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
            std::fprintf(stderr, "Unable to write to standard output\n");
            return kRefused;
        }
    } else if (!args.tilesFile.empty()) {
        try {
            AtomicFileWriter writer(AbsolutePath(args.tilesFile));
            TileLines(cover, [&writer](std::string_view bytes) { writer.Append(bytes); });
            writer.Commit();
        } catch (const EFileError& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return kRefused;
        }
    }
    if (cover.Count() > kMaxTileCount) {
        std::fprintf(stderr, "%s\n", ETooManyTilesError().what());
        return kRefused;
    }
    return kDone;
}

int RunExport(const cli::Arguments& args) {
    const bool terminal = StandardErrorIsTerminal();
    TileExportOptions options;
    options.Name = args.mapName;
    options.WithBlanks = args.withBlanks;
    options.BlankFolder = ProgramFolder() + "blankimg/";
    options.BuildLower = args.buildLower;
    std::vector<std::string> projects;
    for (const std::string& project : args.projects) {
        projects.push_back(AbsolutePath(project));
    }
    // Each error names its file.
    const auto refuse = [terminal](const std::exception& e) {
        std::fprintf(stderr, "%s%s\n", terminal ? "\n" : "", e.what());
        return kRefused;
    };
    TileExport results;
    try {
        results = ExportTiles(args.container, projects, AbsolutePath(args.exportFile), options,
                              [terminal](std::int64_t done, std::int64_t total) {
                                  if (terminal) {
                                      std::fprintf(stderr, "\rExporting: %lld of %lld tiles",
                                                   static_cast<long long>(done),
                                                   static_cast<long long>(total));
                                  }
                              });
    } catch (const ETileContainerError& e) {
        return refuse(e);
    } catch (const ETaskReadError& e) {
        return refuse(e);
    } catch (const ENotAProjectError& e) {
        return refuse(e);
    } catch (const EFileError& e) {
        return refuse(e);
    }
    if (terminal) {
        std::fputc('\n', stderr);
    }
    int status = kDone;
    for (const ProjectExport& result : results.Projects) {
        for (const std::string& line : ExportSkipLines(result)) {
            std::printf("%s\n", line.c_str());
        }
        std::printf("%s\n", ExportSummaryLine(result, args.withBlanks).c_str());
        if (result.Failed > 0 || result.Missing > 0) {
            status = kFailedTiles;
        }
    }
    if (!results.Built.empty()) {
        std::printf("%s\n", BuiltZoomsLine(results.Built).c_str());
    }
    return status;
}

// The catalogue beside the program joins the user's own sources file; a file
// named on the command line stands alone.
std::string CatalogueOf(const cli::Arguments& args) {
    return args.sourcesFile ? "" : CatalogueFileIn(ProgramFolder());
}

int RunSources(const cli::Arguments& args, const std::string& configFile) {
    const auto print = [](std::FILE* stream) {
        return [stream](const std::string& line) {
            std::fprintf(stream, "%s\n", line.c_str());
            std::fflush(stream);
        };
    };
    const std::string sourcesFile = args.sourcesFile.value_or(DefaultSourcesFileName());
    SourcesVerdict verdict = SourcesVerdict::Refused;
    if (args.importAddress) {
        verdict = ImportSource(
            {*args.importAddress, args.importLayer, args.importName, sourcesFile, configFile, {}},
            print(stdout), print(stderr));
    } else {
        SourcesListing listing;
        listing.SourcesFileName = sourcesFile;
        listing.CatalogueFileName = CatalogueOf(args);
        listing.ConfigFileName = configFile;
        listing.Check = args.check;
        listing.Pace = Pacing(PaceScaleFromEnvironment());
        verdict = ListSources(listing, print(stdout), print(stderr));
    }
    switch (verdict) {
        case SourcesVerdict::AllGood:
            return kDone;
        case SourcesVerdict::Refused:
            return kRefused;
        case SourcesVerdict::CheckFailed:
            return kFailedTiles;
    }
    return kRefused;
}

// The source the download options name, into `fields`; false, with the
// reason on standard error, when there is none to use.
bool ChooseSource(const cli::Arguments& args, const std::string& configFile, TaskFields& fields) {
    const std::string version = Configuration(configFile).ReadMainWindow().Version;
    if (args.urlTemplate) {
        try {
            fields.Source = TileSource::Read("url", {{"Url", *args.urlTemplate}}, version);
        } catch (const ETileSourceError& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return false;
        }
        return true;
    }
    if (!args.sourceName) {
        return true;
    }
    const std::string fileName = args.sourcesFile.value_or(DefaultSourcesFileName());
    NamedSource named = FindNamedSource(ReadSources(fileName, configFile, CatalogueOf(args)),
                                        *args.sourceName, fileName);
    if (named.Source) {
        fields.Source = std::move(named.Source);
        return true;
    }
    for (const std::string& line : named.Messages) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    return false;
}

// A settings file named on the command line that is missing or cannot be
// read must not give way to the defaults (a download meant for the proxy
// would go direct): false, with the reason on standard error. The default
// settings file may be missing, but not unreadable. (A named sources file is
// read only where a source is chosen, and its readers refuse it the same way.)
bool ConfigFileUsable(const cli::Arguments& args, const std::string& configFile) {
    const std::string problem = Configuration(configFile).Problem(args.configFile.has_value());
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything else: a signal during a start must call it off, not
    // kill the program between two of the task's files.
    CatchStopSignals();
    const cli::ParseResult parsed =
        cli::ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.arguments) {
        std::fprintf(stderr, "tessellon-cli: %s (see tessellon-cli --help)\n",
                     parsed.error.c_str());
        return kRefused;
    }
    const cli::Arguments& args = *parsed.arguments;
    if (args.command == cli::Command::Help) {
        std::fputs(cli::kUsage, stdout);
        return kDone;
    }
    if (args.command == cli::Command::Version) {
        std::printf("tessellon-cli %.*s\n", static_cast<int>(settings::Version.Default.size()),
                    settings::Version.Default.data());
        return kDone;
    }
    const std::string configFile = args.configFile.value_or(Configuration::DefaultFileName());
    if (!ConfigFileUsable(args, configFile)) {
        return kRefused;
    }
    switch (args.command) {
        case cli::Command::Help:
        case cli::Command::Version:
            return kDone;
        case cli::Command::Download: {
            TaskFields fields = args.fields;
            if (!ChooseSource(args, configFile, fields)) {
                return kRefused;
            }
            return RunDownload(fields, configFile, ChoicesOf(args));
        }
        case cli::Command::Estimate: {
            EndAtStopSignals();
            TaskFields fields = args.fields;
            if (!ChooseSource(args, configFile, fields)) {
                return kRefused;
            }
            return RunEstimate(args, fields);
        }
        case cli::Command::Open:
        case cli::Command::Refresh: {
            TaskFields fields;
            if (!LoadProject(args.file, fields)) {
                return kRefused;
            }
            if (args.command == cli::Command::Refresh) {
                return RunDownload(fields, configFile, ChoicesOf(args),
                                   RefreshRequest{args.olderThan});
            }
            return RunDownload(fields, configFile, ChoicesOf(args));
        }
        case cli::Command::Redownload: {
            EndAtStopSignals();
            cli::ConsoleFrontEnd console;
            const RedownloadSummary summary = RunRedownload(args.file, console);
            if (!summary.ListRead) {
                return kRefused;
            }
            return summary.Failed > 0 ? kFailedTiles : kDone;
        }
        case cli::Command::Convert: {
            const auto result =
                ConvertDegreesMinutesSeconds(args.degrees, args.minutes, args.seconds);
            if (!result) {
                std::fprintf(stderr, "%s\n", kConverterInputError);
                return kRefused;
            }
            std::printf("%s\n", result->c_str());
            return kDone;
        }
        case cli::Command::Sources:
            EndAtStopSignals();
            return RunSources(args, configFile);
        case cli::Command::Export:
            // One transaction: a signal leaves the file as it was.
            EndAtStopSignals();
            return RunExport(args);
    }
    return kRefused;
}

// combiner: stitches a task's tiles into one georeferenced image.

#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "combiner_application.h"
#include "control/combine_output.h"
#include "control/configuration.h"
#include "output/map_combiner.h"
#include "platform/files.h"
#include "platform/numbers.h"
#include "platform/terminal.h"

namespace {

using namespace tessellon;

enum ExitStatus { kDone = 0, kFailed = 1, kUsage = 2 };

constexpr std::string_view kUsageText =
    "Usage: combiner PROJECT.tsln [--output FILE] [--crop] [--format png|jpeg|bmp|tiff]\n"
    "                [--zoom Z] [--force] [--compress deflate|zstd|lzw|jpeg|webp]\n"
    "                [--quality Q] [--overviews | --cog]\n"
    "       combiner [--window PROJECT.tsln]\n"
    "Stitches the task's tiles into one image in EPSG:3857. Without --format the output's\n"
    "extension (.png .jpg .bmp .tif) chooses. A relative FILE is taken in the task's\n"
    "folder; the default output is there too, named after the task, the configuration's\n"
    "DefaultOutputName and the zoom (alps_bigmap_z13.bmp). A file that is there already is\n"
    "replaced only with --force. --crop cuts the image to the typed area (a shape's\n"
    "bounding rectangle). --zoom picks one zoom of a task of several; the deepest by\n"
    "default. Places outside a shape are transparent in PNG and TIFF, white otherwise.\n"
    "For a GeoTIFF: --compress picks the compression (JPEG for a task of JPEG tiles,\n"
    "deflate otherwise), --quality (1-100, 75 by default) that of JPEG and WebP;\n"
    "--overviews adds levels of half the size down to one tile; --cog writes a Cloud\n"
    "Optimized GeoTIFF (overviews, tiles of 512, headers first) for reading over HTTP.\n"
    "Without arguments the window opens; --window opens it on the task.\n";

struct Arguments {
    std::string Project;
    std::string Output;
    std::optional<ImageFormat> Format;
    std::optional<int> Zoom;
    std::optional<TiffCompression> Compression;
    std::optional<int> Quality;
    TiffLayout Layout = TiffLayout::Plain;
    bool Crop = false;
    bool Force = false;
};

// A value the option does not take: one line says which it takes.
int WrongValue(const std::string& fault) {
    std::fprintf(stderr, "combiner: %s\n", fault.c_str());
    return kUsage;
}

int Usage(const std::string& fault) {
    std::fprintf(stderr, "combiner: %s\n%.*s", fault.c_str(), static_cast<int>(kUsageText.size()),
                 kUsageText.data());
    return kUsage;
}

class TerminalProgress {
public:
    TerminalProgress() : terminal_(StandardErrorIsTerminal()) {}
    ~TerminalProgress() {
        if (terminal_) {
            std::fputs("\r\033[K", stderr);
        }
    }
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    void Show(std::int64_t done, std::int64_t total) const {
        if (terminal_) {
            std::fprintf(stderr, "\r\033[KRow %lld of %lld (%lld%%)", static_cast<long long>(done),
                         static_cast<long long>(total), static_cast<long long>(done * 100 / total));
        }
    }

private:
    bool terminal_;
};

int Combine(const Arguments& arguments) {
    const TaskReader task(arguments.Project, ProgramFolder() + "blankimg/");
    CombineOptions options;
    options.Zoom = CombinedZoom(task, arguments.Zoom);
    options.OutputPath = CombineOutputPath(arguments.Project, arguments.Output);
    if (options.OutputPath.empty()) {
        const Configuration configuration(Configuration::DefaultFileName());
        options.OutputPath = DefaultCombineOutput(
            arguments.Project, configuration.Read(settings::DefaultOutputName), options.Zoom,
            arguments.Format ? ExtensionOf(*arguments.Format) : "");
    }
    options.Crop = arguments.Crop;
    options.Compression = arguments.Compression;
    options.Quality = arguments.Quality;
    options.Layout = arguments.Layout;
    const std::optional<ImageFormat> format =
        arguments.Format ? arguments.Format : ImageFormatOfPath(options.OutputPath);
    if (!format) {
        return Usage("cannot tell the format of " + options.OutputPath +
                     " from its extension; name it with --format.");
    }
    options.Format = *format;
    if (!arguments.Force &&
        (FileExists(options.OutputPath) || DirectoryExists(options.OutputPath))) {
        std::fprintf(stderr, "combiner: %s already exists; --force replaces it.\n",
                     options.OutputPath.c_str());
        return kFailed;
    }

    CombineResult result;
    {
        const TerminalProgress progress;
        result = CombineTiles(task, options, [&progress](std::int64_t done, std::int64_t total) {
            progress.Show(done, total);
        });
    }
    for (const std::string& note : result.Notes) {
        std::printf("Note: %s\n", note.c_str());
    }
    for (const UndrawnTile& tile : result.Undrawn) {
        std::printf("Left white: tile %d,%d: %s\n", tile.X, tile.Y, tile.Reason.c_str());
    }
    std::printf("Wrote %s: %lld x %lld pixels, zoom %d, %zu of %lld tiles left white.\n",
                options.OutputPath.c_str(), static_cast<long long>(result.Width),
                static_cast<long long>(result.Height), result.Zoom, result.Undrawn.size(),
                static_cast<long long>(task.Cover().CountAt(result.Zoom)));
    if (!result.WorldFile.empty()) {
        std::printf("Georeference: %s and %s\n", result.WorldFile.c_str(), result.PrjFile.c_str());
    }
    return kDone;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return RunCombinerWindow(argc, argv);
    }
    if (argc == 3 && std::string_view(argv[1]) == kCombinerWindowOption) {
        return RunCombinerWindow(argc, argv, argv[2]);
    }
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsageText.data(), stdout);
            return kDone;
        } else if (argument == "--crop") {
            arguments.Crop = true;
        } else if (argument == "--force") {
            arguments.Force = true;
        } else if (argument == "--overviews" || argument == "--cog") {
            const TiffLayout layout = argument == "--cog" ? TiffLayout::Cog : TiffLayout::Overviews;
            if (arguments.Layout != TiffLayout::Plain && arguments.Layout != layout) {
                return Usage("--overviews or --cog, not both: a COG has overviews.");
            }
            arguments.Layout = layout;
        } else if (argument == "--compress" && hasValue) {
            arguments.Compression = TiffCompressionNamed(argv[++i]);
            if (!arguments.Compression) {
                return WrongValue(std::string("unknown compression ") + argv[i] + "; choose " +
                                  TiffCompressionNames() + ".");
            }
        } else if (argument == "--quality" && hasValue) {
            arguments.Quality = ParseInteger<int>(argv[++i]);
            if (!arguments.Quality || *arguments.Quality < 1 || *arguments.Quality > 100) {
                return WrongValue(std::string("the quality ") + argv[i] +
                                  " is not a whole number from 1 to 100.");
            }
        } else if (argument == "--output" && hasValue) {
            arguments.Output = argv[++i];
        } else if (argument == "--zoom" && hasValue) {
            arguments.Zoom = ParseInteger<int>(argv[++i]);
            if (!arguments.Zoom) {
                return Usage(std::string("the zoom ") + argv[i] + " is not a whole number.");
            }
        } else if (argument == "--format" && hasValue) {
            arguments.Format = ImageFormatNamed(argv[++i]);
            if (!arguments.Format) {
                return Usage(std::string("unknown format ") + argv[i] + ".");
            }
        } else if (argument.starts_with("-")) {
            return Usage("unknown option or missing value: " + std::string(argument) + ".");
        } else if (arguments.Project.empty()) {
            arguments.Project = argument;
        } else {
            return Usage("one project file at a time.");
        }
    }
    if (arguments.Project.empty()) {
        return Usage("name a project file.");
    }
    try {
        return Combine(arguments);
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "combiner: %s\n", error.what());
        return kFailed;
    }
}

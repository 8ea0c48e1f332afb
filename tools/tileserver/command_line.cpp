#include "command_line.h"

#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

#include "platform/numbers.h"

namespace tessellon::tileserver {

namespace {

template <typename Number>
bool ParseNumber(std::string_view text, Number& value, Number least, Number most) {
    const std::optional<Number> number = ParseInteger<Number>(text);
    if (!number || *number < least || *number > most) {
        return false;
    }
    value = *number;
    return true;
}

bool ParseRate(std::string_view text, double& value) {
    const std::string copy(text);
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    return !copy.empty() && end == copy.c_str() + copy.size() && value >= 0 && value <= 1;
}

// Applies an option's value; false when the value is refused.
using ApplyOption = std::function<bool(std::string_view, CommandLine&)>;

// An option whose value is a text kept as given; an empty one is refused.
ApplyOption TextOption(std::string TileServerOptions::*field) {
    return [field](std::string_view v, CommandLine& c) {
        c.options.*field = v;
        return !v.empty();
    };
}

struct Option {
    std::string_view name;
    std::string_view value;  // "" for a switch
    std::string_view help;
    ApplyOption apply;
};

const std::vector<Option>& Options() {
    static const std::vector<Option> options = {
        {"--port", "N",
         "listen on port N (default 8086); 0 picks a free port. The bound port is always the first "
         "line on stdout",
         [](std::string_view v, CommandLine& c) {
             return ParseNumber(v, c.options.port, 0, 65535);
         }},
        {"--bind", "ADDR", "listen on this IPv4 address (default 127.0.0.1)",
         TextOption(&TileServerOptions::bindAddress)},
        {"--root", "DIR",
         "serve the files of a task's image folder (yn_X_Y_Z.png, ys_X_Y_Z.jpg; tl_X_Y_Z.EXT for "
         "the template paths) instead of synthetic tiles; 404 for a missing file",
         TextOption(&TileServerOptions::root)},
        {"--body-size", "N",
         "answer every tile request with a fixed body of N bytes and no image work (throughput "
         "runs)",
         [](std::string_view v, CommandLine& c) {
             std::size_t size = 0;
             if (!ParseNumber<std::size_t>(v, size, 0, std::size_t{1} << 30)) {
                 return false;
             }
             c.options.bodySize = size;
             return true;
         }},
        {"--validators", "",
         "send an ETag (a hash of the body) with every tile, and answer 304 Not Modified to a "
         "request whose If-None-Match names it, as a static file server does",
         [](std::string_view, CommandLine& c) {
             c.options.validators = true;
             return true;
         }},
        {"--fast", "",
         "answer every tile request with one fixed image of about 20 KiB in the format asked "
         "(PNG or JPEG, made at start), and with a fixed body of 20 KiB for the formats it "
         "paints none of: throughput runs that a downloader's image check passes",
         [](std::string_view, CommandLine& c) {
             c.options.fast = true;
             return true;
         }},
        {"--fault", "NAME[:ARGS]", "put this fault into every reply (a request's own fault= wins)",
         [](std::string_view v, CommandLine& c) {
             FaultChoice choice;
             if (!ParseFault(v, choice, c.error)) {
                 return false;
             }
             c.options.fault = choice;
             return true;
         }},
        {"--fault-sequence", "NAME[,NAME]...",
         "give the first requests these faults, one each in turn (a request's own fault= wins); "
         "later requests are answered as usual",
         [](std::string_view v, CommandLine& c) {
             while (!v.empty()) {
                 const std::size_t comma = v.find(',');
                 FaultChoice choice;
                 if (!ParseFault(v.substr(0, comma), choice, c.error)) {
                     return false;
                 }
                 if (choice.entry->run == nullptr) {
                     c.error = "fault \"" + std::string(choice.entry->name) +
                               "\" applies to the whole server only (--fault)";
                     return false;
                 }
                 c.options.faultSequence.push_back(choice);
                 v = comma == std::string_view::npos ? std::string_view{} : v.substr(comma + 1);
             }
             return true;
         }},
        {"--fault-rate", "P",
         "give each request without a fault of its own, with chance P (0..1), a random recoverable "
         "fault",
         [](std::string_view v, CommandLine& c) { return ParseRate(v, c.options.faultRate); }},
        {"--seed", "S",
         "seed of that random choice (default 1): the same seed gives the same sequence",
         [](std::string_view v, CommandLine& c) {
             return ParseNumber<std::uint64_t>(v, c.options.seed, 0, UINT64_MAX);
         }},
        {"--pieces", "N", "write every reply in pieces of N bytes (query: pieces=N)",
         [](std::string_view v, CommandLine& c) {
             return ParseNumber<std::size_t>(v, c.options.pieceSize, 0, std::size_t{1} << 30);
         }},
        {"--piece-delay", "MS", "pause MS ms between those pieces (query: piece-delay=MS)",
         [](std::string_view v, CommandLine& c) {
             return ParseNumber(v, c.options.pieceDelayMs, 0, 3600000);
         }},
        {"--idle-timeout", "MS",
         "close a connection that sends no request for MS ms (default 60000; 0: never)",
         [](std::string_view v, CommandLine& c) {
             if (!ParseNumber(v, c.options.idleTimeoutMs, 0, 86400000)) {
                 return false;
             }
             if (c.options.idleTimeoutMs == 0) {
                 c.options.idleTimeoutMs = -1;
             }
             return true;
         }},
        {"--log", "FILE",
         "append one line per request to FILE (\"-\": stderr): connection number, method, target, "
         "then the status or fault=NAME",
         TextOption(&TileServerOptions::log)},
        {"--tls", "",
         "serve HTTPS: TLS 1.2 or newer with a self-signed certificate made at start for "
         "localhost, 127.0.0.1 and the --bind address (a client must accept it as insecure)",
         [](std::string_view, CommandLine& c) {
             c.options.tls = true;
             return true;
         }},
        {"--cert", "FILE",
         "serve HTTPS with this certificate chain (PEM) instead of a generated one; needs --key",
         TextOption(&TileServerOptions::certificateFile)},
        {"--key", "FILE", "the private key (PEM) of --cert",
         TextOption(&TileServerOptions::keyFile)},
        {"--help", "", "show this text",
         [](std::string_view, CommandLine& c) {
             c.help = true;
             return true;
         }},
    };
    return options;
}

// Breaks `text` into lines of at most `width` characters, each indented by `indent`.
std::string Wrap(std::string_view text, std::size_t indent, std::size_t width) {
    std::string out;
    std::size_t column = 0;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
        if (column > 0 && column + 1 + word.size() > width) {
            out += "\n" + std::string(indent, ' ');
            column = 0;
        } else if (column > 0) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
    }
    return out + "\n";
}

// "MS:BYTES" as "[:MS[:BYTES]]": each argument may be left out from the right.
std::string ArgumentsLabel(std::string_view argNames) {
    std::string open;
    std::string close;
    while (!argNames.empty()) {
        const std::size_t colon = argNames.find(':');
        open += "[:" + std::string(argNames.substr(0, colon));
        close += "]";
        argNames =
            colon == std::string_view::npos ? std::string_view() : argNames.substr(colon + 1);
    }
    return open + close;
}

std::string Entry(std::string_view label, std::string_view help) {
    constexpr std::size_t kIndent = 28;
    std::string line = "  " + std::string(label);
    line += line.size() + 1 < kIndent ? std::string(kIndent - line.size(), ' ')
                                      : "\n" + std::string(kIndent, ' ');
    return line + Wrap(help, kIndent, 100 - kIndent);
}

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string_view> args) {
    CommandLine result;
    for (std::size_t i = 0; i < args.size() && result.error.empty(); ++i) {
        const std::string_view arg = args[i];
        const std::size_t equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);
        const Option* option = nullptr;
        for (const Option& candidate : Options()) {
            if (candidate.name == name) {
                option = &candidate;
            }
        }
        if (option == nullptr) {
            result.error = "unknown option \"" + std::string(arg) + "\"";
            break;
        }
        std::string_view value;
        if (equals != std::string_view::npos) {
            value = arg.substr(equals + 1);
        } else if (!option->value.empty()) {
            if (i + 1 == args.size()) {
                result.error =
                    std::string(name) + " needs a value (" + std::string(option->value) + ")";
                break;
            }
            value = args[++i];
        }
        if (option->value.empty() && equals != std::string_view::npos) {
            result.error = std::string(name) + " takes no value";
        } else if (!option->apply(value, result) && result.error.empty()) {
            result.error = "bad value \"" + std::string(value) + "\" for " + std::string(name);
        }
    }
    return result;
}

std::string HelpText() {
    std::string text =
        "Usage: tessellon-tileserver [OPTION]...\n"
        "A local tile service for tests, demos and benchmarks. It serves the map layer at\n"
        "/hx/tl (PNG) and the satellite layer at /ae/ximg (JPEG), with the query keys x (column),\n"
        "y (row counted from the equator northwards) and z (zoom plus one), as the downloader\n"
        "asks for them. Synthetic 256x256 tiles show the tile grid and the tile's x, y and zoom.\n"
        "The same tiles answer the paths of tile source templates, with z the grid's zoom:\n"
        "/{z}/{x}/{y}.png (or .jpg), /tms/{z}/{x}/{-y}.png (rows from the south), /q/{q}.png\n"
        "(quadkey), and /wms?REQUEST=GetMap&BBOX=...&WIDTH=256&HEIGHT=256&FORMAT=image/png\n"
        "with the tile's EPSG:3857 bounds (400 when they are no tile's).\n"
        "Ctrl-C or SIGTERM stops it.\n\nOptions:\n";
    for (const Option& option : Options()) {
        std::string label(option.name);
        if (!option.value.empty()) {
            label.append(" ").append(option.value);
        }
        text += Entry(label, option.help);
    }
    text +=
        "\nFaults. A request chooses one with the query key fault=NAME[:ARG[:ARG]]; --fault NAME\n"
        "gives every request one. Arguments are whole numbers; delays are in milliseconds. Faults\n"
        "that bend the ordinary reply carry the tile (or whatever the request would have got).\n"
        "\"Recoverable\" (marked *) means a client that retries soon gets its tile: these are the\n"
        "ones --fault-rate picks from. Any reply can also be written in small pieces with the\n"
        "query keys pieces=N and piece-delay=MS.\n";
    bool first = true;
    FaultGroup group{};
    for (const FaultEntry& entry : FaultCatalogue()) {
        if (first || entry.group != group) {
            text += "\n " + std::string(FaultGroupName(entry.group)) + ":\n";
            group = entry.group;
            first = false;
        }
        const std::string label = std::string(entry.name) + ArgumentsLabel(entry.argNames) +
                                  (entry.recoverable ? " *" : "");
        text += Entry(label, entry.description);
    }
    return text;
}

}  // namespace tessellon::tileserver

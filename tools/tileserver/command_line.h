#pragma once
// tessellon-tileserver's command line and its --help, which lists every
// option and, from the fault catalogue, every fault.

#include <span>
#include <string>
#include <string_view>

#include "tile_server.h"

namespace tessellon::tileserver {

struct CommandLine {
    TileServerOptions options;
    bool help = false;
    std::string error;  // not empty when the arguments were refused
};

// The arguments after the program name. Options take their value as the
// next argument or after "=" ("--port 0", "--port=0").
CommandLine ParseCommandLine(std::span<const std::string_view> args);

std::string HelpText();

}  // namespace tessellon::tileserver

#pragma once
// The catalogue of faults the server can put into a reply, grouped as HTTP
// test servers usually group them. One table holds every fault's name,
// group, arguments, description and behaviour; the dispatch, the random
// choice and --help all read it, so a fault cannot exist in one and be
// missing from another.

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "http_request.h"
#include "server_connection.h"
#include "tile_source.h"

namespace tessellon::tileserver {

enum class FaultGroup { Connection, StatusLine, Headers, Body, Timing };

std::string_view FaultGroupName(FaultGroup group);

// What becomes of the connection once a fault has written its bytes.
enum class FaultOutcome {
    KeepAlive,  // read the next request
    Close,      // close gracefully (FIN)
    Reset,      // close with an RST
    Hold,       // write nothing more; wait for the client to leave
};

inline constexpr std::size_t kMaxFaultArgs = 2;
using FaultArgs = std::array<long long, kMaxFaultArgs>;

struct FaultContext {
    ServerConnection& connection;
    const HttpRequest& request;
    const Payload& payload;  // what the ordinary reply would carry
    FaultArgs args;          // given ones, the defaults for the rest
    int requestNumber;       // on this connection, from 1
    int& idleTimeoutMs;      // of this connection, for the next request
};

struct FaultEntry {
    std::string_view name;
    FaultGroup group;
    std::string_view argNames;  // "" or "MS" or "MS:BYTES": how many args and what they mean
    FaultArgs defaults;         // -1 for a byte count means "half the body"
    bool recoverable;           // a retry soon after gets the tile (see --help)
    std::string_view description;
    // nullptr for faults of the whole server, which no single request can choose.
    FaultOutcome (*run)(FaultContext&);
};

std::span<const FaultEntry> FaultCatalogue();

struct FaultChoice {
    const FaultEntry* entry = nullptr;
    FaultArgs args{};
};

// "NAME" or "NAME:ARG[:ARG]" with whole non-negative numbers as arguments.
// False with `error` set for an unknown name or bad arguments.
bool ParseFault(std::string_view text, FaultChoice& choice, std::string& error);

// The name and the arguments that differ from the defaults, as ParseFault
// reads them back: "drip:5" for drip with MS 5 and the default BYTES.
std::string FaultText(const FaultChoice& choice);

}  // namespace tessellon::tileserver

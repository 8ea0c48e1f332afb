#pragma once
// What a worker does when a fetch of a tile fails. The error's message text
// is searched for fixed substrings (case-sensitive, in the table's order; the
// first row that matches decides), and the row and the number of attempts
// made so far choose between trying again, giving the tile up with a blank
// image in its place, and ending the worker. The table lives in
// failure_policy.cpp, beside the code that reads it.

#include <optional>
#include <string>

namespace tessellon {

enum class FailureRow {
    ResetOrClosed = 1,  // "10054", "Connection Closed Gracefully"
    AddressInUse,       // "10048"
    Refused,            // "302", "403": the service refuses this client
    SocketError,        // "Socket Error"
    NotFound,           // "404", "400"
    Other,              // any other message
    NoMessage,          // an error without a message text
};

enum class RetryPause {
    None,
    Short,         // 1000 ms
    Socket,        // 2000 ms
    AddressInUse,  // 8000 ms
};

enum class FailureOutcome {
    Retry,
    // Line A, record, the ban message; the worker ends.
    EndWorkerBanned,
    // Line A, record, the network message; the worker ends.
    EndWorkerNetwork,
    // The not-found line, blank tile; no record.
    BlankNotFound,
    // Line A, record, blank tile.
    BlankWithLineA,
    // Line B, record, blank tile.
    BlankWithLineB,
};

struct FailureDecision {
    FailureRow Row;
    FailureOutcome Outcome;
    RetryPause Pause;  // before the next attempt, when Outcome is Retry
};

// The lines that tell the user why tiles were given up.
inline constexpr const char* kBanMessage =
    "Error: may be your IP is banned.\nPlease try again later.";
inline constexpr const char* kNetworkMessage = "Error: Your network has problem, please check it.";
inline constexpr const char* kNotFoundMessage = "Error: the image is not found on server.";

// Attempts after which a tile is given up, and the bound on the rows that
// would otherwise retry forever (a server that resets every connection).
inline constexpr int kAttemptsBeforeGivingUp = 3;
inline constexpr int kMaxAttemptsPerTile = 10;

FailureRow ClassifyFailure(const std::optional<std::string>& message);

// `attempt` counts the attempts made for this tile, the failed one included.
FailureDecision DecideOnFailure(const std::optional<std::string>& message, int attempt);

}  // namespace tessellon

#pragma once
// What a worker does when a fetch of a tile fails, and what the re-download
// of a failed-tile list does. The error's message text is searched for fixed
// substrings (case-sensitive, in the table's order; the first row that
// matches decides), and the row and the number of attempts made so far
// choose the next step: for a worker, trying again, giving the tile up with
// a blank image in its place, or ending the worker; for the re-download,
// trying again at once, or which lines report the record. Both tables live
// in failure_policy.cpp, beside the code that reads them.

#include <optional>
#include <string>

namespace tessellon {

enum class FailureRow {
    // "TLS handshake failed: ", before every other row: a peer that cannot
    // be verified fails the same way every time, so the worker ends at once.
    TlsHandshake = 0,
    // "The proxy refused CONNECT: ", as early: no tunnel opens through that
    // proxy, whatever the tile.
    ProxyRefused,
    ResetOrClosed,  // "10054", "Connection Closed Gracefully"
    AddressInUse,   // "10048"
    Refused,        // "302", "403": the service refuses this client
    SocketError,    // "Socket Error"
    NotFound,       // "404", "400"
    Other,          // any other message
    NoMessage,      // an error without a message text
};

enum class RetryPause {
    None,
    Short,         // 1000 ms
    Socket,        // 2000 ms
    AddressInUse,  // 8000 ms
};

// The error line is "T<n> <message>-><url>"; the tile-failed line,
// "<tile file name>:failed -><url>", is TileFailedLine in task/contract_texts.h.
enum class FailureOutcome {
    Retry,
    // The error line, record, the ban message; the worker ends.
    EndWorkerBanned,
    // The error line, record, the network message; the worker ends.
    EndWorkerNetwork,
    // The not-found line, blank tile; no record.
    BlankNotFound,
    // The error line, record, blank tile.
    BlankWithErrorLine,
    // The tile-failed line, record, blank tile.
    BlankWithTileFailedLine,
};

struct FailureDecision {
    FailureRow Row;
    FailureOutcome Outcome;
    RetryPause Pause;  // before the next attempt, when Outcome is Retry
};

// Attempts after which a tile is given up, and the bound on the rows that
// would otherwise retry forever (a server that resets every connection).
inline constexpr int kAttemptsBeforeGivingUp = 3;
inline constexpr int kMaxAttemptsPerTile = 10;

FailureRow ClassifyFailure(const std::optional<std::string>& message);

// `attempt` counts the attempts made for this tile, the failed one included.
FailureDecision DecideOnFailure(const std::optional<std::string>& message, int attempt);
// The same for a failure whose row is known without a message to search: one
// whose text may hold any number, such as a byte count.
FailureDecision DecideOnFailure(FailureRow row, int attempt);

// The re-download's steps after a failed fetch of a record. The error line
// is "<message>-><url>".
enum class RedownloadOutcome {
    // At once, without a pause.
    Retry,
    // An error without a message: the record counts as failed, no line.
    Unreported,
    // The error line; on to the next record.
    ErrorLine,
    // The error line, then "<url>:" and the not-found message.
    ErrorAndNotFoundLines,
    // The error line, then the ban message; the rest of the list is left.
    ErrorLineAndBanEndsList,
    // The error line, then what to check of the proxy; the rest of the list
    // is left, since every record would meet the same refusal.
    ErrorLineAndProxyAdviceEndsList,
};

// `attempt` counts the attempts made for this record, the failed one included.
RedownloadOutcome DecideOnRedownloadFailure(const std::optional<std::string>& message, int attempt);

}  // namespace tessellon

#pragma once
// Support for the fuzz targets: piece sizes chosen by a byte, and the check
// that a failure carries one of the client's fixed message texts.

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/net_errors.h"

namespace tessellon::fuzz {

// A piece size chosen by a selector byte: small sizes are likely.
std::size_t PieceSize(std::uint8_t selector);

// Aborts unless `error` is one that reading a reply may raise, with the
// fixed text of its class; a conversion error's text may be cut short only
// when the peer sent a NUL.
void CheckFixedMessage(const ENetException& error, bool peerSentNul);

[[noreturn]] void Fail(const std::string& what);

}  // namespace tessellon::fuzz

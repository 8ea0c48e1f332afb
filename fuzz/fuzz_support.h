#pragma once
// Support for the fuzz targets: piece sizes chosen by a byte, the check
// that a failure carries one of the client's fixed message texts, and files
// in memory for readers that only read files.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/net_errors.h"

namespace tessellon::fuzz {

// A piece size chosen by a selector byte: small sizes are likely.
std::size_t PieceSize(std::uint8_t selector);

// Aborts unless `error` is one that reading a reply may raise, with the
// fixed text of its class; a conversion error's text may be cut short only
// when the peer sent a NUL.
void CheckFixedMessage(const ENetException& error, bool peerSentNul);

// A path for `name` in a folder of this process on tmpfs, made on the first
// call (so parallel runs share no file) and removed with its files when the
// process exits.
std::string TmpfsFile(const std::string& name);
// Replaces the file at `path` with `bytes`; aborts when it cannot.
void WriteTmpfsFile(const std::string& path, std::string_view bytes);

[[noreturn]] void Fail(const std::string& what);

}  // namespace tessellon::fuzz

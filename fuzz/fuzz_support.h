#pragma once
// Support for the fuzz targets: a socket pair whose far end plays the server
// (it writes the input in pieces and then closes its sending side), and the
// check that a failure carries one of the client's fixed message texts.

#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "net/http_client.h"
#include "net/net_errors.h"

namespace tessellon::fuzz {

class TScriptedPeer {
public:
    // The far end writes `bytes` in pieces of `piece` bytes, then shuts its
    // sending side and reads (and drops) whatever arrives until the near end
    // closes.
    TScriptedPeer(std::string bytes, std::size_t piece);
    ~TScriptedPeer();
    TScriptedPeer(const TScriptedPeer&) = delete;
    TScriptedPeer& operator=(const TScriptedPeer&) = delete;

    // The near end, non-blocking; whoever takes it closes it.
    int TakeNearEnd();

private:
    int near_ = -1;
    int far_ = -1;
    std::thread writer_;
};

// An HTTP client whose connection is the near end of a TScriptedPeer; any
// further connection is refused.
class TPairClient : public THttpClient {
public:
    explicit TPairClient(int socket) : socket_(socket) {}
    void OpenConnection() override;

private:
    int socket_;
};

// A piece or receive size chosen by a selector byte: small sizes are likely.
std::size_t PieceSize(std::uint8_t selector);

// Aborts unless `error` carries the fixed text of its class. A protocol
// error's text must be the status text of the reply that raised it; a
// conversion error's text may be cut short only when the peer sent a NUL.
void CheckFixedMessage(const ENetException& error, int statusCode, const std::string& statusText,
                       bool peerSentNul);

[[noreturn]] void Fail(const std::string& what);

}  // namespace tessellon::fuzz

#pragma once
// The client end of a TCP connection: where to connect and the opening.

#include <functional>
#include <string>

#include "net/tcp_connection.h"

namespace tessellon {

class TTcpClient : public TTcpConnection {
public:
    std::string Host;
    int Port = 0;
    // Local address to bind to; empty for any.
    std::string BoundIP;
    // Off sets TCP_NODELAY.
    bool UseNagle = true;
    std::function<void(TTcpClient& sender)> OnConnected;

    // Connects to Host and Port. Raises EAlreadyConnected on an open
    // connection (which stays as it was); any other failure leaves the
    // connection closed.
    virtual void OpenConnection();
};

}  // namespace tessellon

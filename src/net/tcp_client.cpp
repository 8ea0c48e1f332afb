#include "net/tcp_client.h"

#include "net/net_errors.h"

namespace tessellon {

void TTcpClient::OpenConnection() {
    PrepareOpen();
    Socket().Allocate();
    try {
        if (!BoundIP.empty() &&
            Stack().RaiseOnSocketError(Socket().Bind(BoundIP), {kWsaAddressInUse})) {
            throw ECouldNotBindSocket();
        }
        if (!TSocketStack::IsDottedQuad(Host)) {
            DoStatus(TNetStatus::Resolving, Host);
        }
        const std::string address = Stack().ResolveHostAddress(Host);
        // Windows refuses port 0 with this error, and a larger number must
        // not wrap around to some other port.
        if (Port <= 0 || Port > 65535) {
            throw ESocketError(kWsaAddressNotAvailable);
        }
        Socket().SetPeer(address, Port);
        if (!UseNagle) {
            Socket().SetNoDelay();
        }
        DoStatus(TNetStatus::Connecting, address);
        Socket().Connect(LimitedWait(TimeLimits.Connect));
    } catch (...) {
        try {
            CloseConnection();
        } catch (...) {
            // The first failure is the one to report.
        }
        throw;
    }
    DoStatus(TNetStatus::Connected);
    if (OnConnected) {
        OnConnected(*this);
    }
}

}  // namespace tessellon

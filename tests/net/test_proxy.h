#pragma once
// A forwarding HTTP proxy on 127.0.0.1 for the proxied-path tests. Each
// client connection may carry many requests; each request (recorded as it
// arrived) is sent on to the origin named by its absolute target, in origin
// form and without its Proxy-Authorization line, and the origin's reply (up
// to the origin's close) is relayed back.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "loopback_server.h"

namespace tessellon::test {

class TTestProxy {
public:
    // `connectRefusal`, when set, is the status that answers every CONNECT
    // ("407 Proxy Authentication Required").
    explicit TTestProxy(std::string connectRefusal = {});

    int Port() const { return server_->Port(); }
    std::vector<std::string> Requests() const;
    int Connections() const { return server_->Connections(); }

private:
    void Serve(int client);
    void Tunnel(int client, const std::string& request);

    std::string connectRefusal_;
    mutable std::mutex lock_;
    std::vector<std::string> requests_;
    // Last, so it stops before the recorded requests go.
    std::unique_ptr<TLoopbackServer> server_;
};

}  // namespace tessellon::test

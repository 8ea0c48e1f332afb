#pragma once
// A forwarding HTTP proxy on 127.0.0.1 for the proxied-path tests. Each
// client connection may carry many requests; each request (recorded as it
// arrived) is sent on to the origin named by its absolute target, in origin
// form and without its Proxy-Authorization line, and the origin's reply (up
// to the origin's close) is relayed back.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessellon::test {

class TTestProxy {
public:
    TTestProxy();
    ~TTestProxy();
    TTestProxy(const TTestProxy&) = delete;
    TTestProxy& operator=(const TTestProxy&) = delete;

    int Port() const { return port_; }
    std::vector<std::string> Requests() const;
    int Connections() const { return accepted_; }

private:
    void AcceptLoop();
    void Serve(int client);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    mutable std::mutex lock_;
    std::vector<std::string> requests_;
    std::vector<int> clients_;
    std::vector<std::thread> threads_;
    std::thread acceptor_;
};

}  // namespace tessellon::test

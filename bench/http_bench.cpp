// Unpaced GETs of 20 KiB tiles from tessellon-tileserver in its fast mode, by
// THttpClient and by the least a client can do: a loop over a plain socket
// that writes the request and reads the body by its Content-Length. Both
// fetch the same URL list in this process, with keep-alive and with a new
// connection per request, the two sides in turns. Reports the median
// requests per second and CPU microseconds per request of each side, and
// the median of THttpClient's per-pair share of the plain loop's rate with
// its spread.
//
// Usage: bench_http BIN_DIR

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "paired_runs.h"
#include "server_process.h"

namespace {

using namespace tessellon;
using Clock = std::chrono::steady_clock;

// Per run of one side; each pair runs both sides once.
constexpr int kRequests = 1500;
constexpr int kPairs = 15;
static_assert(kPairs >= bench::kMinimumPairs);

// Requests per second of one run; its CPU microseconds per request go to
// `cpuMicros`.
double Measure(const std::function<void(int)>& fetch, std::vector<double>& cpuMicros) {
    const double cpu = bench::CpuSeconds();
    const auto start = Clock::now();
    for (int i = 0; i < kRequests; ++i) {
        fetch(i);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    cpuMicros.push_back(1e6 * (bench::CpuSeconds() - cpu) / kRequests);
    return kRequests / seconds;
}

// The plain loop.
class PlainClient {
public:
    PlainClient(int port, bool keepAlive) : port_(port), keepAlive_(keepAlive) {}
    ~PlainClient() { Close(); }

    std::size_t Get(const std::string& path) {
        if (fd_ < 0) {
            Connect();
        }
        const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                                    (keepAlive_ ? "" : "Connection: close\r\n") + "\r\n";
        if (::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(request.size())) {
            throw std::runtime_error("send");
        }
        std::string head;
        std::size_t end;
        while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
            Fill();
        }
        head = buffer_.substr(0, end);
        buffer_.erase(0, end + 4);
        const std::size_t at = head.find("Content-Length: ");
        const std::size_t length = std::strtoul(head.c_str() + at + 16, nullptr, 10);
        while (buffer_.size() < length) {
            Fill();
        }
        buffer_.erase(0, length);
        if (!keepAlive_) {
            Close();
        }
        return length;
    }

private:
    void Connect() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port_));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error("connect");
        }
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        buffer_.clear();
    }

    void Fill() {
        char chunk[65536];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            throw std::runtime_error("recv");
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }

    void Close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    int port_;
    bool keepAlive_;
    int fd_ = -1;
    std::string buffer_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s BIN_DIR\n", argv[0]);
        return 2;
    }
    const bench::ServerProcess server(argv[1], {"--fast"});
    const int port = server.Port();

    std::vector<std::string> paths;
    for (int i = 0; i < kRequests; ++i) {
        paths.push_back("/hx/tl?v=4.3&r=1&x=" + std::to_string(6000 + i) + "&y=991&z=14");
    }
    const std::string base = "http://127.0.0.1:" + std::to_string(port);

    for (const bool keepAlive : {true, false}) {
        THttpClient http;
        // HTTP/1.0 closes the connection after every reply.
        http.ProtocolVersion = keepAlive ? TProtocolVersion::pv1_1 : TProtocolVersion::pv1_0;
        TNetBuffer body;
        PlainClient plain(port, keepAlive);
        std::vector<double> ourCpu;
        std::vector<double> peerCpu;
        const bench::PairedFigures figures = bench::RunPairs(
            kPairs,
            [&] {
                return Measure(
                    [&](int i) {
                        body.Clear();
                        http.GetUrl(base + paths[static_cast<std::size_t>(i)], body);
                    },
                    ourCpu);
            },
            [&] {
                return Measure([&](int i) { plain.Get(paths[static_cast<std::size_t>(i)]); },
                               peerCpu);
            });
        std::printf(
            "%-22s THttpClient %7.0f req/s %6.1f us CPU/req | plain loop %7.0f req/s %6.1f us "
            "CPU/req | ratio %s\n",
            keepAlive ? "keep-alive:" : "new connection each:",
            bench::SpreadOf(figures.Ours).Median, bench::SpreadOf(ourCpu).Median,
            bench::SpreadOf(figures.Peer).Median, bench::SpreadOf(peerCpu).Median,
            bench::RatioText(figures).c_str());
    }
    return 0;
}

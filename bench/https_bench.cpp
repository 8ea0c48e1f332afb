// HTTPS keep-alive GETs of 20 KiB tiles from tessellon-tileserver in its fast
// mode on loopback, by THttpClient and by the curl command-line tool, both
// over one connection per run: curl gets the whole URL list in one process
// (a --config file) and reuses its connection from one URL to the next.
// Each run of either side opens its connection, handshakes in full and
// verifies the server's certificate (made here for IP:127.0.0.1; ours finds
// it through SSL_CERT_FILE, curl through --cacert), so the one cost only
// curl pays is starting its process: about 0.05 s and 20 ms of CPU here,
// which the long runs spread to a few percent. The sides run in turns. Reports each
// side's median requests per second and CPU microseconds per request (ours:
// this process, which runs nothing else; curl's: its own usage as wait4
// reports it), and the median of our per-pair share of curl's rate and of
// curl's share of our CPU per request, each with its spread. The same runs
// over plain HTTP follow, to show what TLS costs each side.
//
// Usage: bench_https BIN_DIR

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "certificate_files.h"
#include "child_process.h"
#include "net/http_client.h"
#include "paired_runs.h"
#include "server_process.h"
#include "temp_dir.h"

namespace {

using namespace tessellon;
using Clock = std::chrono::steady_clock;

constexpr int kRequests = 4000;
constexpr int kPairs = 13;
static_assert(kPairs >= bench::kMinimumPairs);

// One run's rate, with its CPU microseconds per request.
struct RunFigures {
    double Rate = 0;
    double CpuMicros = 0;
};

RunFigures OurRun(const std::vector<std::string>& urls) {
    const double cpu = bench::CpuSeconds();
    const auto start = Clock::now();
    {
        THttpClient http;
        TNetBuffer body;
        for (const std::string& url : urls) {
            body.Clear();
            http.GetUrl(url, body);
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return {static_cast<double>(urls.size()) / seconds,
            1e6 * (bench::CpuSeconds() - cpu) / static_cast<double>(urls.size())};
}

RunFigures CurlRun(const std::string& config, const std::string& certificateFile,
                   std::size_t requests) {
    const bench::ChildRun run = bench::RunCurl({"--no-progress-meter", "--fail", "--http1.1",
                                                "--cacert", certificateFile, "--config", config});
    return {static_cast<double>(requests) / run.Seconds,
            1e6 * run.CpuSeconds / static_cast<double>(requests)};
}

// Runs the pairs against `server` over `scheme` and prints a line of figures
// and the two ratios.
void Compare(const std::string& scheme, const bench::ServerProcess& server,
             const std::string& certificateFile, const std::string& config) {
    std::vector<std::string> urls;
    {
        std::ofstream out(config);
        for (int i = 0; i < kRequests; ++i) {
            urls.push_back(scheme + "://" + server.Host() +
                           "/hx/tl?v=4.3&r=1&x=" + std::to_string(6000 + i) + "&y=991&z=14");
            out << "url = \"" << urls.back() << "\"\noutput = \"/dev/null\"\n";
        }
    }
    // A first run of each side warms the caches.
    OurRun(urls);
    CurlRun(config, certificateFile, urls.size());
    std::vector<double> ourCpu;
    std::vector<double> curlCpu;
    bench::PairedFigures cpuShares;
    const bench::PairedFigures rates = bench::RunPairs(
        kPairs,
        [&] {
            const RunFigures run = OurRun(urls);
            ourCpu.push_back(run.CpuMicros);
            return run.Rate;
        },
        [&] {
            const RunFigures run = CurlRun(config, certificateFile, urls.size());
            curlCpu.push_back(run.CpuMicros);
            // Less CPU is better: curl's CPU over ours reads like a rate ratio.
            cpuShares.Ours.push_back(run.CpuMicros);
            cpuShares.Peer.push_back(ourCpu.back());
            return run.Rate;
        });
    std::printf(
        "%-6s THttpClient %6.0f req/s %5.1f us CPU/req | curl %6.0f req/s %5.1f us CPU/req\n"
        "       req/s ratio      %s\n       curl CPU/our CPU %s\n",
        (scheme + ":").c_str(), bench::SpreadOf(rates.Ours).Median, bench::SpreadOf(ourCpu).Median,
        bench::SpreadOf(rates.Peer).Median, bench::SpreadOf(curlCpu).Median,
        bench::RatioText(rates).c_str(), bench::RatioText(cpuShares).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s BIN_DIR\n", argv[0]);
        return 2;
    }
    try {
        const test::TempDir dir;
        const std::string certificateFile = dir.File("server.pem");
        const std::string keyFile = dir.File("server.key");
        bench::WriteCertificate(certificateFile, keyFile);
        ::setenv("SSL_CERT_FILE", certificateFile.c_str(), 1);
        std::printf("requests=%d per run, %d pairs\n", kRequests, kPairs);
        Compare(
            "https",
            bench::ServerProcess(argv[1], {"--fast", "--cert", certificateFile, "--key", keyFile}),
            certificateFile, dir.File("https_urls.txt"));
        Compare("http", bench::ServerProcess(argv[1], {"--fast"}), certificateFile,
                dir.File("http_urls.txt"));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_https: %s\n", e.what());
        return 1;
    }
    return 0;
}

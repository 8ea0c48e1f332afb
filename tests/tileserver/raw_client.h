#pragma once
// A bare TCP client for talking to the tile server byte by byte, without an
// HTTP library in between: what it receives is exactly what the server sent.

#include <string>
#include <string_view>

namespace tessellon::test {

class RawClient {
public:
    // Connects to 127.0.0.1:port; throws std::runtime_error with the errno
    // text when the connection is refused or fails.
    explicit RawClient(int port);
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    void Send(std::string_view bytes);
    // "GET <target> HTTP/1.1" with a Host line, and "Connection: close" when `close`.
    void SendGet(std::string_view target, bool close = false);

    enum class End { Closed, Reset, Timeout };
    // Appends to `received` until the server closes, resets, or `timeoutMs`
    // passes without a byte.
    End ReadUntilEnd(std::string& received, int timeoutMs = 5000);

    // Appends at least `count` bytes to `received`, unless the connection
    // ends or `timeoutMs` passes without a byte first; returns how it stopped
    // (Timeout also when it got the bytes).
    End ReadAtLeast(std::size_t count, std::string& received, int timeoutMs = 5000);

    struct Reply {
        std::string head;  // through the blank line
        int status = 0;
        std::string body;  // Content-Length bytes
    };
    // One reply framed by Content-Length; throws std::runtime_error when the
    // connection ends first.
    Reply ReadReply(int timeoutMs = 5000);

private:
    // Reads what is there into buffer_; the end when none.
    bool Fill(int timeoutMs, End& end);

    int fd_ = -1;
    std::string buffer_;
};

}  // namespace tessellon::test

// Reply bytes through the whole client: connection, reply reader and
// THttpClient. Byte 0 chooses the write pieces (bits 0-2), the receive size
// (bits 3-5), HEAD instead of GET (bit 6) and following redirects (bit 7).
// Every failure must carry a fixed text, and a 2xx body framed by its
// Content-Length must have exactly that length.

#include <chrono>
#include <cstdint>
#include <string>

#include "fuzz_support.h"

using namespace tessellon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::uint8_t mode = data[0];
    const std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);
    fuzz::TScriptedPeer peer(reply, fuzz::PieceSize(mode));
    fuzz::TPairClient http(peer.TakeNearEnd());
    http.RecvBufferSize = static_cast<int>(fuzz::PieceSize(mode >> 3));
    http.HandleRedirects = (mode & 0x80) != 0;
    const THttpMethod method = (mode & 0x40) != 0 ? THttpMethod::Head : THttpMethod::Get;
    // Small limits, so that short inputs reach them.
    http.ReplyLimits.MaxLineLength = 256;
    http.ReplyLimits.MaxHeaderBlock = 1024;
    http.ReplyLimits.MaxBodySize = 4096;
    http.TimeLimits.Idle = std::chrono::milliseconds(5000);
    TNetBuffer body;
    try {
        http.PerformRequest(method, "http://fuzz.test:8086/hx/tl?x=1&y=2&z=3", &body);
        const THttpHeaderInfo& fields = http.Reply();
        if (method == THttpMethod::Get && http.StatusCode() / 100 == 2 &&
            http.StatusCode() != 204 && fields.ContentLength > 0 &&
            !fields.ExtraHeaders.Has("Transfer-Encoding") &&
            body.Size() != static_cast<std::size_t>(fields.ContentLength)) {
            fuzz::Fail("a body of " + std::to_string(body.Size()) + " bytes for Content-Length " +
                       std::to_string(fields.ContentLength));
        }
    } catch (const ENetException& error) {
        fuzz::CheckFixedMessage(error, http.StatusCode(), http.StatusText(),
                                reply.find('\0') != std::string::npos);
    }
    return 0;
}

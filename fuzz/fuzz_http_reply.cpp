// Reply bytes through the stream reader and the reply reader, as the client
// reads them: head, body plan, header fields, body, and the URL of a
// redirect. Byte 0 chooses the pieces the stream hands out (bits 0-2), the
// size the reader asks for (bits 3-5), HEAD instead of GET (bit 6) and TLS
// (bit 7, when byte 1 has bits 1-3 clear): then the reply comes through the
// client's TLS stream from an in-process server, in records of the piece
// size (or longer, for a long reply), after byte 1, whose bit 0 has the
// server say goodbye before it closes. A TLS input costs a handshake, the
// time of a hundred plain ones, so only about one in sixteen takes it.
// Every failure must carry a fixed text; a body framed by its length or by
// the end of the stream must be the bytes that came, one framed by its
// length exactly that long, and one framed by the end all of the stream.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "memory_stream.h"
#include "net/http_header_info.h"
#include "net/http_reply.h"
#include "net/stream_reader.h"
#include "net/uri.h"
#include "tls_loopback.h"

using namespace tessellon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::uint8_t mode = data[0];
    const bool tls = (mode & 0x80) != 0 && size >= 2 && (data[1] & 0x0E) == 0;
    const std::size_t start = tls ? 2 : 1;
    const std::string reply(reinterpret_cast<const char*>(data + start), size - start);
    test::TMemoryStream memory(reply, fuzz::PieceSize(mode));
    // Made on the first TLS input: its certificate is the slow part.
    static std::unique_ptr<fuzz::TlsLoopback> loopback;
    if (tls) {
        if (!loopback) {
            loopback = std::make_unique<fuzz::TlsLoopback>();
        }
        // At most 64 records: each costs system calls on both ends, and a
        // long reply in one-byte records would slow the run a hundredfold.
        const std::size_t recordSize = std::max(fuzz::PieceSize(mode), reply.size() / 64 + 1);
        loopback->Connect(reply, recordSize, (data[1] & 1) != 0);
    }
    TByteStream& stream = tls ? static_cast<TByteStream&>(*loopback) : memory;
    TStreamReader input(stream);
    input.ReadSize = fuzz::PieceSize(mode >> 3);
    // Small limits, so that short inputs reach them.
    THttpReplyLimits limits;
    limits.MaxLineLength = 256;
    limits.MaxHeaderBlock = 1024;
    limits.MaxBodySize = 4096;
    THttpReplyReader reader(input, limits);
    const THttpMethod method = (mode & 0x40) != 0 ? THttpMethod::Head : THttpMethod::Get;
    THttpHeaderList headers;
    try {
        const THttpStatusLine status = reader.ReadHead(headers);
        if (!status.ValidCode) {
            return 0;
        }
        const TBodyPlan plan = PlanReplyBody(headers, method, status.Code, limits);
        THttpHeaderInfo fields;
        fields.ProcessReplyHeaders(headers);
        TNetBuffer body;
        reader.ReadBody(plan, body);
        if (plan.Framing == TBodyFraming::Length || plan.Framing == TBodyFraming::UntilClose) {
            // What came ends the bytes the stream has handed out so far.
            const std::string tail = std::string(body.View()) + std::string(input.Buffer().View());
            const std::size_t handedOut =
                tls ? loopback->Delivered() : reply.size() - memory.Rest().size();
            if (!reply.substr(0, handedOut).ends_with(tail)) {
                fuzz::Fail("a body that is not the bytes after the head");
            }
            if (plan.Framing == TBodyFraming::UntilClose && handedOut != reply.size()) {
                fuzz::Fail("a body until the close that ended before the stream did");
            }
        }
        if (plan.Framing == TBodyFraming::Length && body.Size() != plan.Length) {
            fuzz::Fail("a body of " + std::to_string(body.Size()) + " bytes for Content-Length " +
                       std::to_string(plan.Length));
        }
        if (body.Size() > limits.MaxBodySize) {
            fuzz::Fail("a body beyond its limit");
        }
        // The client would follow it.
        const TUri location(fields.Location);
    } catch (const ENetException& error) {
        fuzz::CheckFixedMessage(error, reply.find('\0') != std::string::npos);
    }
    return 0;
}

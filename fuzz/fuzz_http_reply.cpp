// Reply bytes through the stream reader and the reply reader, as the client
// reads them: head, body plan, header fields, body, and the URL of a
// redirect. Byte 0 chooses the pieces the stream hands out (bits 0-2), the
// size the reader asks for (bits 3-5) and HEAD instead of GET (bit 6).
// Every failure must carry a fixed text; a body framed by its length or by
// the end of the stream must be the bytes that came, and one framed by its
// length exactly that long.

#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "memory_stream.h"
#include "net/http_header_info.h"
#include "net/http_reply.h"
#include "net/stream_reader.h"
#include "net/uri.h"

using namespace tessellon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::uint8_t mode = data[0];
    const std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);
    test::TMemoryStream stream(reply, fuzz::PieceSize(mode));
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
            const std::string tail = std::string(body.View()) + std::string(input.Buffer().View()) +
                                     std::string(stream.Rest());
            if (!reply.ends_with(tail)) {
                fuzz::Fail("a body that is not the bytes after the head");
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

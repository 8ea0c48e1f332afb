// Bytes through the stream reader. Byte 0 chooses the pieces the stream
// hands out (bits 0-2) and the size the reader asks for (bits 3-5); byte 1 the number of reads
// (0-15); the next bytes each one read: a line (0), a block of byte / 4 bytes (1), everything up to
// the end (2) or a line of at most byte / 4 bytes (3). The rest is the
// stream. Every read must return the stream in order, or fail exactly where
// the stream says it must, whatever the pieces.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "memory_stream.h"
#include "net/stream_reader.h"

using namespace tessellon;

namespace {

// What the next line read must do with `rest` before it: the line, none
// for a cut line, or `tooLong`.
struct TExpectedLine {
    std::optional<std::string_view> line;
    std::size_t consumed = 0;
    bool tooLong = false;
};

TExpectedLine ExpectLine(std::string_view rest, std::size_t maxLength) {
    TExpectedLine expected;
    const std::size_t end = rest.find('\n');
    if ((end == std::string_view::npos ? rest.size() : end) > maxLength) {
        expected.tooLong = true;
    } else if (end != std::string_view::npos) {
        std::string_view line = rest.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        expected.line = line;
        expected.consumed = end + 1;
    }
    return expected;
}

// The reader's bytes not yet handed out, buffered or still in the stream.
std::string Unread(TStreamReader& reader, const test::TMemoryStream& stream) {
    return std::string(reader.Buffer().View()) + std::string(stream.Rest());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size < 2u + data[1] % 16) {
        return 0;
    }
    const std::size_t readCount = data[1] % 16;
    const std::uint8_t* reads = data + 2;
    const std::string_view stream(reinterpret_cast<const char*>(data + 2 + readCount),
                                  size - 2 - readCount);
    test::TMemoryStream source{std::string(stream), fuzz::PieceSize(data[0])};
    TStreamReader reader(source);
    reader.ReadSize = fuzz::PieceSize(data[0] >> 3);
    std::size_t at = 0;
    for (std::size_t i = 0; i < readCount; ++i) {
        const std::string_view rest = stream.substr(at);
        const std::size_t argument = reads[i] >> 2;
        TNetBuffer block;
        switch (reads[i] & 3) {
            case 0:
            case 3: {
                const std::size_t maxLength =
                    (reads[i] & 3) == 0 ? TStreamReader::kNoLimit : argument;
                const TExpectedLine expected = ExpectLine(rest, maxLength);
                std::string line;
                bool complete = false;
                try {
                    complete = reader.TryReadLine(line, maxLength);
                } catch (const EInvalidReply& error) {
                    if (!expected.tooLong || std::string(error.what()) != kReplyLineTooLong) {
                        fuzz::Fail("a line too long that is not");
                    }
                    return 0;
                }
                if (expected.tooLong || complete != expected.line.has_value()) {
                    fuzz::Fail("a line where the stream has none, or none where it has one");
                }
                if (!complete) {
                    // The stream ended inside the line: it waits in the buffer.
                    if (Unread(reader, source) != rest) {
                        fuzz::Fail("a cut line that is not the rest of the stream");
                    }
                    return 0;
                }
                if (line != *expected.line) {
                    fuzz::Fail("a line that is not the stream");
                }
                at += expected.consumed;
                break;
            }
            case 1: {
                bool cut = false;
                try {
                    reader.ReadBlock(block, argument);
                } catch (const EConnClosedGracefully&) {
                    cut = true;
                }
                if (cut != (rest.size() < argument) || block.View() != rest.substr(0, argument)) {
                    fuzz::Fail("a block that is not the stream");
                }
                if (cut) {
                    return 0;
                }
                at += argument;
                break;
            }
            default:
                reader.ReadUntilEnd(block);
                if (block.View() != rest || !Unread(reader, source).empty()) {
                    fuzz::Fail("a read up to the end that is not the rest of the stream");
                }
                return 0;
        }
        if (Unread(reader, source) != stream.substr(at)) {
            fuzz::Fail("bytes lost or made up between reads");
        }
    }
    return 0;
}

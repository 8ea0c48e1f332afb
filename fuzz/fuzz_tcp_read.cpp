// Bytes through the connection's line and block reading. Byte 0 chooses the
// write pieces (bits 0-2) and the receive size (bits 3-5); byte 1 the number
// of reads (0-15); the next bytes each one read: a line (0), a block of
// byte / 4 bytes (1), everything until close (2) or a peek (3). The rest is
// the stream. Whatever the reads return must be the stream, in order.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"

using namespace tessellon;

namespace {

// Advances `at` past `line` and its line end in `stream`.
void ExpectLine(std::string_view stream, std::size_t& at, const std::string& line) {
    if (stream.compare(at, line.size(), line) != 0) {
        fuzz::Fail("a line that is not the stream");
    }
    at += line.size();
    if (stream.compare(at, 2, "\r\n") == 0) {
        at += 2;
    } else if (stream.compare(at, 1, "\n") == 0) {
        at += 1;
    } else {
        fuzz::Fail("a line without its line end");
    }
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
    fuzz::TScriptedPeer peer(std::string(stream), fuzz::PieceSize(data[0]));
    fuzz::TPairClient connection(peer.TakeNearEnd());
    connection.RecvBufferSize = static_cast<int>(fuzz::PieceSize(data[0] >> 3));
    std::size_t at = 0;
    try {
        connection.OpenConnection();
        for (std::size_t i = 0; i < readCount; ++i) {
            TNetBuffer block;
            switch (reads[i] & 3) {
                case 0: {
                    const std::string line = connection.ReadLine();
                    if (connection.ReadLnTimedOut()) {
                        // The peer closed inside a line: it waits in the buffer.
                        if (connection.InputBuffer().View() != stream.substr(at)) {
                            fuzz::Fail("a cut line that is not the rest of the stream");
                        }
                        return 0;
                    }
                    ExpectLine(stream, at, line);
                    break;
                }
                case 1: {
                    const std::size_t count = reads[i] >> 2;
                    connection.ReadToStream(block, count, false);
                    if (block.View() != stream.substr(at, count)) {
                        fuzz::Fail("a block that is not the stream");
                    }
                    at += count;
                    break;
                }
                case 2:
                    connection.ReadToStream(block, 0, true);
                    if (block.View() != stream.substr(at)) {
                        fuzz::Fail("a read until close that is not the rest of the stream");
                    }
                    return 0;
                default:
                    connection.PeekPeerClosed(false);
                    break;
            }
        }
    } catch (const ENetException& error) {
        fuzz::CheckFixedMessage(error, 0, "", false);
    }
    return 0;
}

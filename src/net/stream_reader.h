#pragma once
// The one reader over a byte stream: lines, blocks of a known size and
// everything up to the end, each within its limit. It owns the input buffer,
// so bytes that came past a line wait there for the next read; block reads
// go straight into their destination once the buffer is used up.

#include <cstddef>
#include <string>

#include "net/byte_stream.h"
#include "net/net_buffer.h"

namespace tessellon {

// Told about reads into a destination (blocks and reads up to the end), so
// that a connection can report their progress.
class TReadProgress {
public:
    // `expected` is 0 when the size is not known.
    virtual void ReadBegun(std::size_t expected) = 0;
    // Bytes that one read of the stream stored in the destination.
    virtual void ReadProgressed(std::size_t count) = 0;
    virtual void ReadEnded() = 0;

protected:
    ~TReadProgress() = default;
};

class TStreamReader {
public:
    static constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

    explicit TStreamReader(TByteStream& stream, TReadProgress* progress = nullptr)
        : stream_(stream), progress_(progress) {}
    TStreamReader(const TStreamReader&) = delete;
    TStreamReader& operator=(const TStreamReader&) = delete;

    // Bytes asked of one read of the stream.
    std::size_t ReadSize = 32768;

    TNetBuffer& Buffer() { return buffer_; }

    // One read of the stream, appended to the buffer: the count, 0 at the end.
    std::size_t Fill();
    // The next line into `line`, without its line feed and one carriage
    // return before it; false when the stream ends first, the cut line then
    // staying in the buffer. Raises EInvalidReply (kReplyLineTooLong) when no
    // line feed comes within `maxLength` bytes.
    bool TryReadLine(std::string& line, std::size_t maxLength);
    // TryReadLine, raising EConnClosedGracefully for a cut line.
    std::string ReadLine(std::size_t maxLength);
    // Exactly `count` bytes into `destination` at its position; raises
    // EConnClosedGracefully when the stream ends first, after storing what
    // came. The destination then ends at its position.
    void ReadBlock(TNetBuffer& destination, std::size_t count);
    // Every byte up to the end of the stream, likewise; raises EInvalidReply
    // (kReplyBodyTooLarge) once more than `maxSize` came.
    void ReadUntilEnd(TNetBuffer& destination, std::size_t maxSize = kNoLimit);

private:
    // Moves up to `count` buffered bytes into `destination`; their count.
    std::size_t TakeBuffered(TNetBuffer& destination, std::size_t count);
    // One read of the stream into `destination` at its position.
    std::size_t ReadInto(TNetBuffer& destination, std::size_t size);

    TByteStream& stream_;
    TReadProgress* progress_;
    TNetBuffer buffer_;
};

}  // namespace tessellon

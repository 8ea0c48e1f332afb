#include "net/stream_reader.h"

#include <algorithm>

#include "net/net_errors.h"

namespace tessellon {

namespace {

constexpr std::size_t kPreallocateLimit = 1024 * 1024;

// Brackets a read into a destination, however it ends: the progress is told
// of its end, and room made at the position beyond what came is given back.
class TDestinationScope {
public:
    TDestinationScope(TNetBuffer& destination, TReadProgress* progress, std::size_t expected)
        : destination_(destination), progress_(progress) {
        if (progress_ != nullptr) {
            progress_->ReadBegun(expected);
        }
    }
    ~TDestinationScope() {
        if (progress_ != nullptr) {
            progress_->ReadEnded();
        }
        if (destination_.Size() > destination_.Position()) {
            destination_.SetSize(destination_.Position());
        }
    }
    TDestinationScope(const TDestinationScope&) = delete;
    TDestinationScope& operator=(const TDestinationScope&) = delete;

private:
    TNetBuffer& destination_;
    TReadProgress* progress_;
};

}  // namespace

std::size_t TStreamReader::Fill() {
    const std::size_t size = ReadSize;
    char* room = buffer_.AppendSpace(size);
    std::size_t count = 0;
    try {
        count = stream_.Read(room, size);
    } catch (...) {
        buffer_.CommitAppend(size, 0);
        throw;
    }
    buffer_.CommitAppend(size, count);
    return count;
}

bool TStreamReader::TryReadLine(std::string& line, std::size_t maxLength) {
    std::size_t scanned = 0;
    for (;;) {
        const std::size_t end = buffer_.Find('\n', scanned);
        if (end != std::string_view::npos) {
            if (end > maxLength) {
                break;
            }
            line.assign(buffer_.Data(), end);
            buffer_.Remove(end + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return true;
        }
        scanned = buffer_.Size();
        if (scanned > maxLength) {
            break;
        }
        if (Fill() == 0) {
            return false;
        }
    }
    throw EInvalidReply(kReplyLineTooLong);
}

std::string TStreamReader::ReadLine(std::size_t maxLength) {
    std::string line;
    if (!TryReadLine(line, maxLength)) {
        throw EConnClosedGracefully();
    }
    return line;
}

void TStreamReader::ReadBlock(TNetBuffer& destination, std::size_t count) {
    // Grown once for a tile-sized block; an announced size beyond that is
    // only believed as the bytes arrive.
    destination.WritableAtPosition(std::min(count, kPreallocateLimit));
    const TDestinationScope scope(destination, progress_, count);
    std::size_t wanted = count - TakeBuffered(destination, count);
    while (wanted > 0) {
        const std::size_t got = ReadInto(destination, std::min(wanted, ReadSize));
        if (got == 0) {
            throw EConnClosedGracefully();
        }
        wanted -= got;
    }
}

void TStreamReader::ReadUntilEnd(TNetBuffer& destination, std::size_t maxSize) {
    const TDestinationScope scope(destination, progress_, 0);
    // Room is asked for only as far as the limit reaches; at the limit, a
    // read into the input buffer tells whether more is coming.
    std::size_t received = TakeBuffered(destination, maxSize);
    while (received < maxSize) {
        const std::size_t got = ReadInto(destination, std::min(ReadSize, maxSize - received));
        if (got == 0) {
            return;
        }
        received += got;
    }
    if (!buffer_.Empty() || Fill() > 0) {
        throw EInvalidReply(kReplyBodyTooLarge);
    }
}

std::size_t TStreamReader::TakeBuffered(TNetBuffer& destination, std::size_t count) {
    const std::size_t taken = std::min(count, buffer_.Size());
    destination.Write(buffer_.Data(), taken);
    buffer_.Remove(taken);
    return taken;
}

std::size_t TStreamReader::ReadInto(TNetBuffer& destination, std::size_t size) {
    const std::size_t got = stream_.Read(destination.WritableAtPosition(size), size);
    destination.Advance(got);
    if (progress_ != nullptr) {
        progress_->ReadProgressed(got);
    }
    return got;
}

}  // namespace tessellon

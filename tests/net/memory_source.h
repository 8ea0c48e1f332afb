#pragma once
// Reply bytes from memory, ending like a peer that closes after them.

#include <string>

#include "net/net_errors.h"
#include "net/reply_source.h"

namespace tessellon::test {

class TMemoryReplySource : public TReplySource {
public:
    explicit TMemoryReplySource(std::string bytes) : bytes_(std::move(bytes)) {}

    std::string ReadReplyLine(std::size_t maxLength) override {
        const std::size_t end = bytes_.find('\n', at_);
        const std::size_t length = (end == std::string::npos ? bytes_.size() : end) - at_;
        if (length > maxLength) {
            throw EInvalidReply(kReplyLineTooLong);
        }
        if (end == std::string::npos) {
            throw EConnClosedGracefully();
        }
        std::string line = bytes_.substr(at_, length);
        at_ = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return line;
    }

    void ReadReplyBlock(TNetBuffer& stream, std::size_t count) override {
        const std::size_t available = std::min(count, bytes_.size() - at_);
        stream.Write(bytes_.data() + at_, available);
        at_ += available;
        if (available < count) {
            throw EConnClosedGracefully();
        }
    }

    void ReadReplyUntilClose(TNetBuffer& stream, std::size_t maxSize) override {
        if (bytes_.size() - at_ > maxSize) {
            throw EInvalidReply(kReplyBodyTooLarge);
        }
        stream.Write(bytes_.data() + at_, bytes_.size() - at_);
        at_ = bytes_.size();
    }

    std::string Rest() const { return bytes_.substr(at_); }

private:
    std::string bytes_;
    std::size_t at_ = 0;
};

}  // namespace tessellon::test

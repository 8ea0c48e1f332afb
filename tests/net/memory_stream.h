#pragma once
// Bytes from memory as a byte stream, handed out in pieces of at most a
// given size and ending like a peer that closes after them.

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "net/byte_stream.h"

namespace tessellon::test {

class TMemoryStream : public TByteStream {
public:
    explicit TMemoryStream(std::string bytes, std::size_t piece = std::string::npos)
        : bytes_(std::move(bytes)), piece_(piece) {}

    std::size_t Read(char* into, std::size_t size) override {
        const std::size_t count = std::min({size, piece_, bytes_.size() - at_});
        std::memcpy(into, bytes_.data() + at_, count);
        at_ += count;
        return count;
    }

    // The bytes no read has taken yet.
    std::string_view Rest() const { return std::string_view(bytes_).substr(at_); }

private:
    std::string bytes_;
    std::size_t piece_;
    std::size_t at_ = 0;
};

}  // namespace tessellon::test

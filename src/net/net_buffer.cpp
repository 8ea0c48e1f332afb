#include "net/net_buffer.h"

#include <algorithm>
#include <cstring>

namespace tessellon {

namespace {

// Consumed bytes are only moved out of the way once they are both many and
// the larger part, so consuming line after line stays linear.
constexpr std::size_t kCompactThreshold = 64 * 1024;

}  // namespace

void TNetBuffer::SetSize(std::size_t size) {
    data_.resize(head_ + size);
    position_ = std::min(position_, size);
}

void TNetBuffer::Write(const char* bytes, std::size_t count) {
    if (count == 0) {
        return;
    }
    std::memcpy(WritableAtPosition(count), bytes, count);
    position_ += count;
}

char* TNetBuffer::WritableAtPosition(std::size_t count) {
    if (position_ + count > Size()) {
        data_.resize(head_ + position_ + count);
    }
    return data_.data() + head_ + position_;
}

void TNetBuffer::Clear() {
    data_.clear();
    head_ = 0;
    position_ = 0;
}

char* TNetBuffer::AppendSpace(std::size_t count) {
    const std::size_t end = data_.size();
    data_.resize(end + count);
    return data_.data() + end;
}

void TNetBuffer::CommitAppend(std::size_t reserved, std::size_t used) {
    data_.resize(data_.size() - (reserved - used));
}

void TNetBuffer::Remove(std::size_t count) {
    head_ += std::min(count, Size());
    position_ -= std::min(position_, count);
    if (head_ == data_.size()) {
        data_.clear();
        head_ = 0;
    } else if (head_ >= kCompactThreshold && head_ > data_.size() / 2) {
        data_.erase(0, head_);
        head_ = 0;
    }
}

std::size_t TNetBuffer::Find(char c, std::size_t from) const {
    if (from >= Size()) {
        return std::string_view::npos;
    }
    const void* hit = std::memchr(Data() + from, c, Size() - from);
    return hit == nullptr ? std::string_view::npos
                          : static_cast<std::size_t>(static_cast<const char*>(hit) - Data());
}

}  // namespace tessellon

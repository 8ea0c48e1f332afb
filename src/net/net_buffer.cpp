#include "net/net_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "net/net_errors.h"

namespace tessellon {

namespace {

// Consumed bytes are only moved out of the way once they are both many and
// the larger part, so consuming line after line stays linear.
constexpr std::size_t kCompactThreshold = 64 * 1024;

}  // namespace

void TNetBuffer::Resize(std::size_t size) {
    if (size > capacity_) {
        if (size > limit_) {
            throw EInvalidReply(kReplyBodyTooLarge);
        }
        // Doubling keeps appends linear; up to the limit only, or a body just
        // past half of it would take twice the memory the limit allows.
        const std::size_t capacity =
            std::min(std::max({size, 2 * capacity_, std::size_t{256}}), limit_);
        // realloc moves a large block by remapping its pages: eight workers
        // growing bodies at once never hold an old and a new copy each.
        char* grown = static_cast<char*>(std::realloc(data_.get(), capacity));
        if (grown == nullptr) {
            throw std::bad_alloc();
        }
        static_cast<void>(data_.release());
        data_.reset(grown);
        capacity_ = capacity;
    }
    size_ = size;
}

void TNetBuffer::SetSize(std::size_t size) {
    const std::size_t old = Size();
    Resize(head_ + size);
    if (size > old) {
        std::memset(data_.get() + head_ + old, 0, size - old);
    }
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
        Resize(head_ + position_ + count);
    }
    return data_.get() + head_ + position_;
}

void TNetBuffer::Clear() {
    size_ = 0;
    head_ = 0;
    position_ = 0;
}

char* TNetBuffer::AppendSpace(std::size_t count) {
    const std::size_t end = size_;
    Resize(end + count);
    return data_.get() + end;
}

void TNetBuffer::CommitAppend(std::size_t reserved, std::size_t used) {
    size_ -= reserved - used;
}

void TNetBuffer::Remove(std::size_t count) {
    head_ += std::min(count, Size());
    position_ -= std::min(position_, count);
    if (head_ == size_) {
        size_ = 0;
        head_ = 0;
    } else if (head_ >= kCompactThreshold && head_ > size_ / 2) {
        std::memmove(data_.get(), data_.get() + head_, size_ - head_);
        size_ -= head_;
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

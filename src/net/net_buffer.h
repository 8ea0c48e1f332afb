#pragma once
// A growable in-memory byte stream with a position. It serves as a
// connection's input buffer (bytes appended at the end and consumed from the
// front) and as the destination of a reply body (written at the position).

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace tessellon {

class TNetBuffer {
public:
    TNetBuffer() = default;

    std::size_t Size() const { return size_ - head_; }
    bool Empty() const { return Size() == 0; }
    const char* Data() const { return data_.get() + head_; }
    std::string_view View() const { return {Data(), Size()}; }

    // Stream use: Write() stores at the position, growing the buffer when
    // needed, and moves the position past the bytes.
    std::size_t Position() const { return position_; }
    void SetPosition(std::size_t position) { position_ = position; }
    void SetSize(std::size_t size);
    void Write(const char* bytes, std::size_t count);
    // Room for `count` bytes at the position, for a receive call to fill;
    // the size grows to cover it. Advance() then moves the position past
    // what was actually stored.
    char* WritableAtPosition(std::size_t count);
    void Advance(std::size_t count) { position_ += count; }
    void Clear();

    // The most bytes the buffer may hold, consumed ones included: growth
    // stops there, and asking for room beyond it raises EInvalidReply
    // (kReplyBodyTooLarge). Unlimited until set.
    void SetSizeLimit(std::size_t limit) { limit_ = limit; }
    std::size_t Capacity() const { return capacity_; }

    // Input-buffer use.
    // Room for `count` more bytes at the end; Commit() keeps the first `used`.
    char* AppendSpace(std::size_t count);
    void CommitAppend(std::size_t reserved, std::size_t used);
    // Drops `count` bytes from the front (at most Size()).
    void Remove(std::size_t count);
    // Offset of the first `c` at or after `from`, or npos.
    std::size_t Find(char c, std::size_t from) const;

private:
    // Makes the stored bytes (consumed ones included) `size` long. New bytes
    // are left as they are: a receive call or a copy fills them at once, and
    // zeroing a tile's worth of room for every read would cost more than the
    // read itself.
    void Resize(std::size_t size);

    struct FreeBytes {
        void operator()(char* bytes) const { std::free(bytes); }
    };
    // From malloc, so that growing can use realloc (see Resize).
    std::unique_ptr<char[], FreeBytes> data_;
    std::size_t size_ = 0;      // bytes stored, consumed ones included
    std::size_t capacity_ = 0;  // room in data_
    std::size_t head_ = 0;      // bytes before this were consumed
    std::size_t position_ = 0;
    std::size_t limit_ = static_cast<std::size_t>(-1);
};

}  // namespace tessellon

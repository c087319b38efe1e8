// A growable ring buffer of bytes. Not thread-safe: the owner locks around it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace serilon {

class ByteQueue {
public:
    // limit: the most bytes the queue will ever hold; storage grows on demand up to it.
    explicit ByteQueue(std::size_t limit) : limit_(limit) {}

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::size_t limit() const { return limit_; }
    // Lowering the limit below size() keeps the bytes; push takes nothing until they drain.
    void setLimit(std::size_t limit) { limit_ = limit; }
    std::size_t room() const { return size_ < limit_ ? limit_ - size_ : 0; }

    // Appends as many of the len bytes as fit; returns how many.
    std::size_t push(const std::uint8_t* data, std::size_t len);
    // Copies up to len bytes from the front without removing them.
    std::size_t peek(std::uint8_t* out, std::size_t len) const;
    // Removes up to len bytes from the front; returns how many.
    std::size_t drop(std::size_t len);
    // Copies and removes up to len bytes from the front.
    std::size_t pop(std::uint8_t* out, std::size_t len);
    // Empties the queue and gives back its storage.
    void clear();

private:
    void grow(std::size_t needed);

    std::unique_ptr<std::uint8_t[]> ring_;
    std::size_t capacity_ = 0;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
    std::size_t limit_;
};

} // namespace serilon

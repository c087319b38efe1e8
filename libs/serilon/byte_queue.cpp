#include "libs/serilon/byte_queue.h"

#include <algorithm>
#include <cstring>

namespace serilon {

void ByteQueue::grow(std::size_t needed) {
    std::size_t capacity = std::max<std::size_t>(capacity_, 256);
    while (capacity < needed) {
        capacity *= 2;
    }
    if (capacity == capacity_) {
        return;
    }
    // Not zeroed: only the bytes pushed are ever read.
    auto bigger = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    peek(bigger.get(), size_);
    ring_ = std::move(bigger);
    capacity_ = capacity;
    head_ = 0;
}

std::size_t ByteQueue::push(const std::uint8_t* data, std::size_t len) {
    len = std::min(len, room());
    if (len == 0) {
        return 0;
    }
    if (size_ + len > capacity_) {
        grow(size_ + len);
    }
    const std::size_t tail = (head_ + size_) % capacity_;
    const std::size_t first = std::min(len, capacity_ - tail);
    std::memcpy(ring_.get() + tail, data, first);
    std::memcpy(ring_.get(), data + first, len - first);
    size_ += len;
    return len;
}

std::size_t ByteQueue::peek(std::uint8_t* out, std::size_t len) const {
    len = std::min(len, size_);
    if (len == 0) {
        return 0;
    }
    const std::size_t first = std::min(len, capacity_ - head_);
    std::memcpy(out, ring_.get() + head_, first);
    std::memcpy(out + first, ring_.get(), len - first);
    return len;
}

std::size_t ByteQueue::drop(std::size_t len) {
    len = std::min(len, size_);
    size_ -= len;
    head_ = size_ == 0 ? 0 : (head_ + len) % capacity_;
    return len;
}

std::size_t ByteQueue::pop(std::uint8_t* out, std::size_t len) {
    return drop(peek(out, len));
}

void ByteQueue::clear() {
    ring_.reset();
    capacity_ = 0;
    head_ = 0;
    size_ = 0;
}

} // namespace serilon

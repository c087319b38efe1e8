#include "libs/serilon/byte_queue.h"

#include <algorithm>
#include <cstring>

namespace serilon {

void ByteQueue::grow(std::size_t needed) {
    std::size_t capacity = std::max<std::size_t>(ring_.size(), 256);
    while (capacity < needed) {
        capacity *= 2;
    }
    if (capacity == ring_.size()) {
        return;
    }
    std::vector<std::uint8_t> bigger(capacity);
    peek(bigger.data(), size_);
    ring_.swap(bigger);
    head_ = 0;
}

std::size_t ByteQueue::push(const std::uint8_t* data, std::size_t len) {
    len = std::min(len, room());
    if (len == 0) {
        return 0;
    }
    if (size_ + len > ring_.size()) {
        grow(size_ + len);
    }
    const std::size_t tail = (head_ + size_) % ring_.size();
    const std::size_t first = std::min(len, ring_.size() - tail);
    std::memcpy(ring_.data() + tail, data, first);
    std::memcpy(ring_.data(), data + first, len - first);
    size_ += len;
    return len;
}

std::size_t ByteQueue::peek(std::uint8_t* out, std::size_t len) const {
    len = std::min(len, size_);
    if (len == 0) {
        return 0;
    }
    const std::size_t first = std::min(len, ring_.size() - head_);
    std::memcpy(out, ring_.data() + head_, first);
    std::memcpy(out + first, ring_.data(), len - first);
    return len;
}

std::size_t ByteQueue::drop(std::size_t len) {
    len = std::min(len, size_);
    size_ -= len;
    head_ = size_ == 0 ? 0 : (head_ + len) % ring_.size();
    return len;
}

std::size_t ByteQueue::pop(std::uint8_t* out, std::size_t len) {
    return drop(peek(out, len));
}

void ByteQueue::clear() {
    std::vector<std::uint8_t>().swap(ring_);
    head_ = 0;
    size_ = 0;
}

} // namespace serilon

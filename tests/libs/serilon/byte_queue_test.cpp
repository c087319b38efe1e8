#include "libs/serilon/byte_queue.h"

#include <gtest/gtest.h>

#include <vector>

using serilon::ByteQueue;

TEST(SerilonByteQueue, WrapsAndGrowsWithoutReordering) {
    ByteQueue q(100000);
    std::vector<std::uint8_t> out;
    std::size_t written = 0;
    // Push more than pop on every round, so the ring wraps and grows while holding data.
    for (int round = 0; round < 50; ++round) {
        std::vector<std::uint8_t> in(std::size_t(300 + round));
        for (std::size_t i = 0; i < in.size(); ++i) {
            in[i] = std::uint8_t(written + i);
        }
        ASSERT_EQ(q.push(in.data(), in.size()), in.size());
        written += in.size();
        std::vector<std::uint8_t> chunk(170);
        const std::size_t got = q.pop(chunk.data(), chunk.size());
        out.insert(out.end(), chunk.begin(), chunk.begin() + long(got));
    }
    std::vector<std::uint8_t> rest(q.size());
    q.pop(rest.data(), rest.size());
    out.insert(out.end(), rest.begin(), rest.end());
    ASSERT_EQ(out.size(), written);
    for (std::size_t i = 0; i < out.size(); ++i) {
        ASSERT_EQ(out[i], std::uint8_t(i)) << "at " << i;
    }
    EXPECT_TRUE(q.empty());
}

TEST(SerilonByteQueue, LimitCutsPushesAndLoweringKeepsBytes) {
    ByteQueue q(10);
    const std::uint8_t data[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(q.push(data, 16), 10u);
    EXPECT_EQ(q.room(), 0u);
    q.setLimit(4);
    EXPECT_EQ(q.size(), 10u);
    EXPECT_EQ(q.push(data, 1), 0u);
    std::uint8_t out[16];
    EXPECT_EQ(q.peek(out, 3), 3u);
    EXPECT_EQ(q.size(), 10u);
    EXPECT_EQ(q.drop(7), 7u);
    EXPECT_EQ(q.pop(out, 16), 3u);
    EXPECT_EQ(out[0], 8);
    EXPECT_EQ(q.push(data, 16), 4u);
    q.clear();
    EXPECT_TRUE(q.empty());
    EXPECT_EQ(q.pop(out, 16), 0u);
}

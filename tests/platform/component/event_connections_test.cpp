#include <functional>
#include <gtest/gtest.h>

#include "platform/component/event_connections.h"

using namespace vort::component;

namespace {

struct Recorder : EventSink {
    std::vector<std::pair<int32_t, std::vector<Variant>>> heard;
    std::function<void()> onHear;
    void onEvent(int32_t dispid, std::span<const Variant> args) override {
        heard.emplace_back(dispid, std::vector<Variant>(args.begin(), args.end()));
        if (onHear)
            onHear();
    }
};

TEST(EventConnections, EachSinkHearsEachEventInAdviseOrderUntilUnadvised) {
    EventConnections ec;
    Recorder a, b;
    uint32_t ca = 0, cb = 0;
    ASSERT_EQ(ec.advise(&a, &ca), kOk);
    ASSERT_EQ(ec.advise(&b, &cb), kOk);
    EXPECT_NE(ca, 0u);
    EXPECT_NE(ca, cb);
    std::vector<int> order;
    a.onHear = [&] { order.push_back(1); };
    b.onHear = [&] { order.push_back(2); };

    Variant args[] = {Variant::i2(3), Variant::i4(70000)};
    EXPECT_EQ(ec.fire(3, args), 2u);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    ASSERT_EQ(a.heard.size(), 1u);
    EXPECT_EQ(a.heard[0].first, 3);
    EXPECT_EQ(a.heard[0].second, (std::vector<Variant>{Variant::i2(3), Variant::i4(70000)}));

    EXPECT_EQ(ec.unadvise(ca), kOk);
    EXPECT_EQ(ec.unadvise(ca), kInvalidArg) << "a cookie ends once";
    EXPECT_EQ(ec.unadvise(0), kInvalidArg);
    EXPECT_EQ(ec.fire(1, {}), 1u);
    EXPECT_EQ(a.heard.size(), 1u);
    EXPECT_EQ(b.heard.size(), 2u);
    EXPECT_EQ(ec.advise(nullptr, &ca), kPointer);
    EXPECT_EQ(ec.advise(&a, nullptr), kPointer);
}

TEST(EventConnections, HandlersMayChangeTheConnectionsWhileFiring) {
    EventConnections ec;
    Recorder a, b, late;
    uint32_t ca = 0, cb = 0, cl = 0;
    ec.advise(&a, &ca);
    ec.advise(&b, &cb);
    // The first sink drops the second and connects a new one in its handler.
    a.onHear = [&] {
        ec.unadvise(cb);
        if (!cl)
            ec.advise(&late, &cl);
    };
    EXPECT_EQ(ec.fire(1, {}), 1u);
    EXPECT_TRUE(b.heard.empty()) << "a sink unadvised during fire is not called";
    EXPECT_TRUE(late.heard.empty()) << "a sink advised during fire waits for the next event";
    ec.fire(2, {});
    EXPECT_EQ(late.heard.size(), 1u);
    // A sink that unadvises itself.
    late.onHear = [&] { ec.unadvise(cl); };
    ec.fire(3, {});
    ec.fire(4, {});
    EXPECT_EQ(late.heard.size(), 2u);
}

TEST(EventConnections, FrozenEventsAreDroppedNotQueued) {
    EventConnections ec;
    Recorder a;
    uint32_t c = 0;
    ec.advise(&a, &c);
    ec.freeze(true);
    ec.freeze(true);
    EXPECT_EQ(ec.fire(1, {}), 0u);
    ec.freeze(false);
    EXPECT_EQ(ec.fire(2, {}), 0u) << "frozen until every freeze is undone";
    ec.freeze(false);
    ec.freeze(false); // one too many: must not leave a debt
    EXPECT_EQ(ec.fire(3, {}), 1u);
    ASSERT_EQ(a.heard.size(), 1u);
    EXPECT_EQ(a.heard[0].first, 3);
    ec.freeze(true);
    EXPECT_TRUE(ec.frozen());
}

} // namespace

// A 1 GiB file sent and received by ZMODEM over a pseudo-terminal pair without the
// process growing: both engines stream through fixed buffers.
#include "engine_pair.h"
#include "pty_peer.h"
#include "test_files.h"

#include "libs/transvex/fd_channel.h"
#include "libs/transvex/file_record.h"
#include "libs/transvex/session_runner.h"
#include "libs/transvex/zmodem_receiver.h"
#include "libs/transvex/zmodem_sender.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <thread>

namespace transvex::test {
namespace {

long peakRssKib() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

TEST(LargeFile, OneGibibyteMovesWithFlatMemory) {
    constexpr uint64_t kSize = 1ull << 30;
    ScratchDir dir;
    std::filesystem::create_directory(dir.path() / "in");
    writeRandomFile(dir / "big.bin", kSize, 42);
    const std::string in = dir / "in";

    const long before = peakRssKib();
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    FdChannel a(pty.slave()), b(pty.master());
    int32_t rxStatus = 1;
    std::thread rxThread([&] {
        EngineIo io = channelIo(b, [&in](int32_t action, int32_t, XferFileInfo* r) {
            if (action == XFER_ACTION_RX_HEADER) {
                setRecordName(*r, in + "/" + recordName(*r));
            }
            return int32_t{XFER_RESULT_GO_ON};
        });
        ZmodemReceiver rx(ZmodemReceiverConfig{}, std::move(io));
        rxStatus = runSession(rx, b);
    });
    ZmodemSenderConfig c;
    c.path = dir / "big.bin";
    ZmodemSender tx(c, channelIo(a, {}));
    const int32_t txStatus = runSession(tx, a);
    rxThread.join();
    const long growthKib = peakRssKib() - before;

    EXPECT_EQ(txStatus, XFER_STATUS_OK);
    EXPECT_EQ(rxStatus, XFER_STATUS_OK);
    EXPECT_EQ(std::filesystem::file_size(in + "/big.bin"), kSize);
    EXPECT_TRUE(sameFiles(dir / "big.bin", in + "/big.bin"));
    EXPECT_LT(growthKib, 32 * 1024) << "peak memory grew by " << growthKib << " KiB";
    RecordProperty("peak_growth_kib", std::to_string(growthKib));
}

} // namespace
} // namespace transvex::test

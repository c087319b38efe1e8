// The control channel's commands, fault words and command-line options.
#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>

#include "tools/scanner-sim/control_commands.h"
#include "tools/scanner-sim/fault_plan.h"
#include "tools/scanner-sim/sim_options.h"

namespace scanner_sim {
namespace {

class ControlTest : public ::testing::Test {
protected:
    ControlTest() {
        EngineHooks hooks;
        hooks.send = [this](std::string_view b, const LineSettings&) { sent += b; };
        engine = std::make_unique<ScannerEngine>(std::move(hooks));
    }
    std::string run(const std::string& line) {
        ControlContext ctx{*engine, frames, image, 9600, false};
        std::string answer = runControlCommand(line, ctx);
        quit = ctx.quit;
        return answer;
    }
    std::unique_ptr<ScannerEngine> engine;
    std::deque<std::string> frames;
    std::optional<ImageRecord> image;
    std::string sent;
    bool quit = false;
};

TEST_F(ControlTest, GetAndSetSetupAndIdentity) {
    EXPECT_EQ(run("get RSBAUD"), "ok 9600");
    EXPECT_EQ(run("get rsbaud"), "ok 9600"); // control names in any case
    EXPECT_EQ(run("get PREFIX"), "ok ");
    EXPECT_EQ(run("set PREFIX A B\\x5c"), "ok");
    EXPECT_EQ(engine->setup().get("PREFIX"), "A B\\");
    EXPECT_EQ(run("get PREFIX"), "ok A\\x20B\\\\");
    EXPECT_EQ(run("set RSBAUD 300").substr(0, 4), "err ");
    EXPECT_EQ(run("set RSBAUD 57600"), "ok");
    EXPECT_EQ(engine->line().baud, 57600u); // at once, no ACK involved
    EXPECT_EQ(run("set APP1RV 3.30"), "ok");
    EXPECT_EQ(engine->identity().app1Revision, "3.30");
    EXPECT_EQ(run("set SERIAL SN\\x0d").substr(0, 4), "err "); // would break the answer
    EXPECT_EQ(run("set SERIAL " + std::string(65, 'x')).substr(0, 4), "err ");
    EXPECT_EQ(run("get NOSUCH").substr(0, 4), "err ");
    EXPECT_EQ(run("get").substr(0, 4), "err ");
    EXPECT_EQ(run("set PREFIX \\x4").substr(0, 4), "err ");
    EXPECT_TRUE(sent.empty()); // nothing goes on the line
}

TEST_F(ControlTest, LineStatusLogImageFaultQuit) {
    EXPECT_EQ(run("line"), "ok 9600,N,8,1");
    EXPECT_EQ(run("line 19200,E,7,2"), "ok 19200,E,7,2");
    EXPECT_EQ(engine->setup().get("RSBITS"), "7");
    EXPECT_EQ(run("line 300,N,8,1").substr(0, 4), "err ");
    EXPECT_EQ(run("pc"), "ok 9600");
    EXPECT_EQ(run("status").rfind("ok state=Ready line=19200,E,7,2 pc=9600", 0), 0u);

    frames = {"\x01<TXPING:>\x04", "\x01<PREFIX=a b>\x04"};
    EXPECT_EQ(run("log"), "ok \\x01<TXPING:>\\x04 \\x01<PREFIX=a\\x20b>\\x04");
    EXPECT_EQ(run("log clear"), "ok");
    EXPECT_EQ(run("log"), "ok");
    EXPECT_EQ(run("log all").substr(0, 4), "err ");

    EXPECT_EQ(run("image"), "ok none count=0");
    image = ImageRecord{true, "A1CODE", "/tmp/a b.bin", 200, "ab12", "3.30", "3.22", ""};
    EXPECT_EQ(run("image"), "ok path=/tmp/a\\x20b.bin size=200 sha256=ab12 target=A1CODE "
                            "version=3.30 previous=3.22 count=0");
    image = ImageRecord{};
    image->target = "A2CODE";
    image->error = "rz ended with status 1";
    EXPECT_EQ(run("image"),
              "ok failed target=A2CODE reason=rz\\x20ended\\x20with\\x20status\\x201 count=0");

    EXPECT_EQ(run("fault"), "ok none");
    EXPECT_EQ(run("fault nak 2"), "ok nak=2");
    EXPECT_EQ(run("fault bogus").substr(0, 4), "err ");
    EXPECT_EQ(engine->faults().nakFrames, 2);
    EXPECT_EQ(run("fault clear"), "ok none");

    EXPECT_EQ(run("nonsense").substr(0, 4), "err ");
    EXPECT_EQ(run("").substr(0, 4), "err ");
    EXPECT_FALSE(quit);
    EXPECT_EQ(run("quit\r\n"), "ok");
    EXPECT_TRUE(quit);
}

TEST(FaultPlan, WordsCountsAndErrors) {
    FaultPlan f;
    EXPECT_EQ(f.apply("nak"), "");
    EXPECT_EQ(f.nakFrames, 1);
    EXPECT_EQ(f.apply("  ignore   3 "), "");
    EXPECT_EQ(f.ignoreFrames, 3);
    EXPECT_EQ(f.apply("stray \\x01\\x04zz"), "");
    EXPECT_EQ(f.strayBytes, "\x01\x04zz");
    EXPECT_EQ(f.strayFrames, 1);
    EXPECT_EQ(f.apply("delay 250"), "");
    EXPECT_EQ(f.apply("ackdelay 1500"), "");
    EXPECT_EQ(f.apply("slow on"), "");
    EXPECT_EQ(f.describe(), "nak=1 ignore=3 stray=\\x01\\x04zzx1 ackdelay=1500 delay=250 slow=on");
    const FaultPlan before = f;
    for (const char* bad : {"", "nak x", "nak -1", "nak 1 2", "stray", "stray \\q", "delay",
                            "delay 600001", "slow maybe", "clear now", "explode"}) {
        EXPECT_NE(f.apply(bad), "") << bad;
    }
    EXPECT_EQ(f.describe(), before.describe()); // a bad command changes nothing
    EXPECT_EQ(f.apply("clear"), "");
    EXPECT_EQ(f.describe(), "none");
}

TEST(SimOptions, ParsesWhatTheHarnessAndScriptsPass) {
    std::string error;
    auto o = parseSimOptions({"--com", "3", "--link=/tmp/x", "--baud", "19200", "--parity", "E",
                              "--fault", "nak 2", "--slow", "--rz", "--set", "APP1RV=3.21",
                              "--mismatch", "garbage", "--load-timeout", "5"},
                             error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->comPort, 3);
    EXPECT_EQ(o->link, "/tmp/x");
    EXPECT_EQ(o->line.toString(), "19200,E,8,1");
    EXPECT_EQ(o->faults, (std::vector<std::string>{"nak 2", "slow on"}));
    EXPECT_EQ(o->receiver, ReceiverKind::Rz);
    ASSERT_EQ(o->values.size(), 1u);
    EXPECT_EQ(o->values[0].second, "3.21");
    EXPECT_EQ(o->mismatch, MismatchMode::Garbage);
    EXPECT_EQ(o->loadTimeoutSeconds, 5u);
    auto line = parseSimOptions({"--line", "2400,O,7,2", "--baud", "4800"}, error);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->line.toString(), "4800,O,7,2"); // --baud wins over --line's rate
}

TEST(SimOptions, BadOptionsAreRefusedWithAReason) {
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--com", "0"},
                                               {"--com", "256"},
                                               {"--com"},
                                               {"--baud", "300"},
                                               {"--parity", "M"},
                                               {"--line", "9600,N,8"},
                                               {"--fault", "nak x"},
                                               {"--set", "=1"},
                                               {"--mismatch", "loud"},
                                               {"--load-timeout", "0"},
                                               {"--rz=yes"},
                                               {"--frobnicate"},
                                               {"--device", "/dev/x", "--link", "/dev/x"}}) {
        std::string error;
        EXPECT_FALSE(parseSimOptions(bad, error)) << bad.front();
        EXPECT_FALSE(error.empty());
    }
    std::string error;
    EXPECT_TRUE(parseSimOptions({"--help"}, error)->help);
    EXPECT_NE(simUsage().find("--control"), std::string::npos);
}

} // namespace
} // namespace scanner_sim

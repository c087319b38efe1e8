// The scanner's side of the line protocol, driven in-process with a made-up clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/scanner-sim/scanner_engine.h"

namespace scanner_sim {
namespace {

using namespace std::chrono_literals;

constexpr char kAckByte = 0x06;
constexpr char kNakByte = 0x15;

std::string frame(const std::string& token) {
    return "\x01" + token + "\x04";
}
std::string ack(const std::string& answer = "") {
    return std::string(1, kAckByte) + answer;
}
const std::string kNakText(1, kNakByte);

// The setup command as the configuration program builds it from the window.
std::string setupCommand(const std::string& baud, const std::string& parity,
                         const std::string& bits, const std::string& stop,
                         const std::string& prefix = "") {
    return "<RSBAUD=" + baud + "><RSPRTY=" + parity + "><RSBITS=" + bits + "><RSSTOP=" + stop +
           "><RSDELY=005><RSCTSE=0><SPVOLU=HIGH><PREFIX=" + prefix +
           "><PRECID=0><SUFFIX=><SUFFCR=1><CD39EN=0><CD39SS=0><CD128E=0><PDF417=1>"
           "<MAG1EN=1><MAG2EN=1><MAG3EN=1><MAGLRC=0><MAGRAW=0><NOREAD=0><POWSET=0>"
           "<SPPOWB=1><SPPARA=1><SERIEN=0><REGIEN=0>";
}

class EngineTest : public ::testing::Test {
protected:
    EngineTest() { makeEngine(); }

    void makeEngine() {
        EngineHooks hooks;
        hooks.send = [this](std::string_view b, const LineSettings& line) {
            sent += b;
            sentAt.push_back({std::string(b), line});
        };
        hooks.frameReceived = [this](std::string_view f) { frames.emplace_back(f); };
        hooks.note = [this](std::string_view n) { notes.emplace_back(n); };
        hooks.loadCheck = [this](LoadTarget) { return loadRefusal; };
        hooks.loadStart = [this](LoadTarget t) {
            loadsStarted.push_back(t);
            sentBeforeLoad = sent;
        };
        hooks.lineChanged = [this](const LineSettings& l) { lineChanges.push_back(l); };
        engine = std::make_unique<ScannerEngine>(std::move(hooks), 1024);
    }

    // Sends at the PC rate given (default: the scanner's own) and returns what came back.
    std::string exchange(const std::string& bytes, uint32_t pcBaud = 0) {
        sent.clear();
        engine->receive(bytes, pcBaud ? pcBaud : engine->line().baud, now);
        return sent;
    }

    std::unique_ptr<ScannerEngine> engine;
    TimePoint now = TimePoint{} + 1h;
    std::string sent;
    std::string sentBeforeLoad;
    std::vector<std::pair<std::string, LineSettings>> sentAt;
    std::vector<std::string> frames;
    std::vector<std::string> notes;
    std::vector<LineSettings> lineChanges;
    std::vector<LoadTarget> loadsStarted;
    std::string loadRefusal;
};

TEST_F(EngineTest, PingSetupQueryAndSingleKeyQuery) {
    EXPECT_EQ(exchange(frame("<TXPING:>")), ack()); // the ping gets its ACK and nothing more
    const std::string answer = exchange(frame("<SETPAR:>"));
    ASSERT_EQ(answer.substr(0, 1), ack());
    EXPECT_EQ(answer.substr(1), engine->setup().recordList() + "\r\n");
    EXPECT_EQ(answer.find("\r\n"), answer.size() - 2); // one line: CR LF only at its end
    EXPECT_EQ(exchange(frame("<SPVOLU:>")), ack(frame("<SPVOLU=MEDIUM>") + "\r\n"));
    EXPECT_EQ(frames.back(), frame("<SPVOLU:>"));
}

TEST_F(EngineTest, IdentityQueriesAndTheirGate) {
    EXPECT_EQ(exchange(frame("<APP1RV:>")), ack("3.22   \r\n"));
    EXPECT_EQ(exchange(frame("<FINGER:>")), ack(engine->identity().model + "\r\n"));
    EXPECT_EQ(exchange(frame("<SERIAL:>")), ack(engine->identity().serialNumber + "\r\n"));
    engine->identity().app1Revision = "3.21";
    EXPECT_EQ(exchange(frame("<SERIAL:>")), kNakText);
    EXPECT_EQ(exchange(frame("<REGKEY:>")), kNakText);
    EXPECT_EQ(exchange(frame("<REGKEY=ABC>")), kNakText);
    EXPECT_EQ(exchange(frame("<APP2RV:>")).substr(0, 1), ack());
}

TEST_F(EngineTest, RegistrationKeyWriteIsStoredAndReadBack) {
    EXPECT_EQ(exchange(frame("<REGKEY=AB>CD>")), ack());
    EXPECT_EQ(exchange(frame("<REGKEY:>")), ack("AB>CD\r\n"));
    EXPECT_EQ(exchange(frame("<REGKEY=" + std::string(31, 'K') + ">")), kNakText);
    EXPECT_EQ(engine->identity().registrationKey, "AB>CD");
}

TEST_F(EngineTest, UnknownMalformedAndMixedFramesAreNaked) {
    for (const std::string& bad :
         {frame(""), frame("<NOSUCH:>"), frame("<NOSUCH=1>"), frame("<setpar:>"),
          frame("<SETPAR:><TXPING:>"), frame("<RSBAUD=9600><SETPAR:>"), frame("<SERIAL=123>"),
          frame("<FACDEF=0>"), frame("garbage"), frame("<A1CODE=Z><RSBAUD=9600>"),
          frame("<A1CODE=Y>")}) {
        EXPECT_EQ(exchange(bad), kNakText) << bad;
    }
    EXPECT_TRUE(loadsStarted.empty());
    EXPECT_EQ(exchange("no frame here\x06"), ""); // stray bytes are not answered
}

TEST_F(EngineTest, TheWholeSetupCommandIsAppliedAndTheLineChangesAfterTheAck) {
    const std::string command = setupCommand("38400", "EVEN", "7", "2", "[STX]");
    EXPECT_EQ(exchange(frame(command)), ack());
    // The ACK went out at the old settings; the new ones hold from then on.
    ASSERT_FALSE(sentAt.empty());
    EXPECT_EQ(sentAt.back().second.toString(), "9600,N,8,1");
    EXPECT_EQ(engine->line().toString(), "38400,E,7,2");
    ASSERT_EQ(lineChanges.size(), 1u);
    EXPECT_EQ(engine->setup().get("RSDELY"), "005");
    EXPECT_EQ(engine->setup().get("PREFIX"), "[STX]");
    EXPECT_EQ(engine->setup().get("SUFFCR"), "1");
    EXPECT_EQ(frames.back(), frame(command));

    // The old rate gets nothing now; the new one is answered.
    EXPECT_EQ(exchange(frame("<TXPING:>"), 9600), "");
    EXPECT_EQ(exchange(frame("<TXPING:>"), 38400), ack());
}

TEST_F(EngineTest, ARefusedValueRefusesTheWholeFrameAndChangesNothing) {
    const SetupModel before = engine->setup();
    std::string command = setupCommand("19200", "ODD", "8", "1");
    command.replace(command.find("<MAGRAW=0>"), 10, "<MAGRAW=5>");
    EXPECT_EQ(exchange(frame(command)), kNakText);
    EXPECT_EQ(engine->setup().recordList(), before.recordList());
    EXPECT_EQ(engine->line().toString(), "9600,N,8,1");
    EXPECT_TRUE(lineChanges.empty());
    EXPECT_FALSE(notes.empty());
}

TEST_F(EngineTest, FactoryDefaultRestoresTheSetupAndTheRateAfterTheAck) {
    ASSERT_EQ(exchange(frame(setupCommand("57600", "NONE", "8", "1", "P"))), ack());
    engine->identity().registrationKey = "KEEP";
    EXPECT_EQ(exchange(frame("<FACDEF=1>"), 57600), ack());
    EXPECT_EQ(sentAt.back().second.baud, 57600u);
    EXPECT_EQ(engine->line().toString(), "9600,N,8,1");
    EXPECT_EQ(engine->setup().get("PREFIX"), "");
    EXPECT_EQ(engine->setup().get("SPVOLU"), "MEDIUM");
    EXPECT_EQ(engine->identity().registrationKey, "KEEP");
}

TEST_F(EngineTest, WrongRateGivesSilenceOrNoiseButNeverAProtocolByte) {
    EXPECT_EQ(exchange(frame("<TXPING:>"), 19200), "");
    EXPECT_EQ(frames.size(), 0u);
    // Half a frame at the wrong rate does not join the next good one.
    EXPECT_EQ(exchange("\x01<TXPI", 19200), "");
    EXPECT_EQ(exchange("NG:>\x04", 9600), "");
    EXPECT_EQ(exchange(frame("<TXPING:>"), 9600), ack());

    engine->setMismatchMode(MismatchMode::Garbage);
    const std::string noise = exchange(frame("<SETPAR:>"), 115200);
    EXPECT_FALSE(noise.empty());
    for (char c : noise)
        EXPECT_GE(static_cast<unsigned char>(c), 0x80);
    // Rate 0 means the rate cannot be seen: everything counts as right.
    sent.clear();
    engine->receive(frame("<TXPING:>"), 0, now);
    EXPECT_EQ(sent, ack());
}

TEST_F(EngineTest, OversizeFrameIsNakedAndTheNextFrameWorks) {
    EXPECT_EQ(exchange(frame("<PREFIX=" + std::string(5000, 'A') + ">")), kNakText);
    EXPECT_EQ(exchange(frame("<TXPING:>")), ack());
}

TEST_F(EngineTest, CountedFaultsWearOff) {
    auto& f = engine->faults();
    ASSERT_EQ(f.apply("nak 2"), "");
    EXPECT_EQ(exchange(frame("<TXPING:>")), kNakText);
    EXPECT_EQ(exchange(frame("<RSBAUD=19200>")), kNakText); // not applied
    EXPECT_EQ(engine->line().baud, 9600u);
    EXPECT_EQ(exchange(frame("<TXPING:>")), ack());

    ASSERT_EQ(f.apply("ignore 1"), "");
    EXPECT_EQ(exchange(frame("<SPVOLU=LOW>")), "");
    EXPECT_EQ(engine->setup().get("SPVOLU"), "MEDIUM");
    EXPECT_EQ(exchange(frame("<TXPING:>")), ack());

    ASSERT_EQ(f.apply("noanswer 1"), "");
    EXPECT_EQ(exchange(frame("<APP1RV:>")), ack());
    EXPECT_EQ(exchange(frame("<APP1RV:>")), ack("3.22   \r\n"));

    ASSERT_EQ(f.apply("stray AB\\x15 1"), "");
    EXPECT_EQ(exchange(frame("<TXPING:>")), "AB\x15" + ack());
    EXPECT_EQ(exchange(frame("<TXPING:>")), ack());

    ASSERT_EQ(f.apply("garble 1"), "");
    const std::string garbled = exchange(frame("<SETPAR:>"));
    const std::string clean = ack(engine->setup().recordList() + "\r\n");
    EXPECT_NE(garbled, clean);
    EXPECT_EQ(garbled.size(), clean.size());
    EXPECT_EQ(garbled.substr(garbled.size() - 2), "\r\n");
    EXPECT_EQ(garbled.find("\r\n"), garbled.size() - 2);
    EXPECT_EQ(exchange(frame("<SETPAR:>")), clean);
    EXPECT_EQ(f.describe(), "none");
}

TEST_F(EngineTest, DelaysHoldOutputUntilItsTimeAndKeepItsOrder) {
    auto& f = engine->faults();
    ASSERT_EQ(f.apply("ackdelay 1200"), "");
    ASSERT_EQ(f.apply("delay 300"), "");
    EXPECT_EQ(exchange(frame("<APP1RV:>")), "");
    ASSERT_TRUE(engine->nextDeadline());
    EXPECT_EQ(*engine->nextDeadline(), now + 1200ms);
    sent.clear();
    engine->tick(now + 1199ms);
    EXPECT_EQ(sent, "");
    engine->tick(now + 1200ms);
    EXPECT_EQ(sent, ack());
    engine->tick(now + 1499ms);
    EXPECT_EQ(sent, ack());
    engine->tick(now + 1500ms);
    EXPECT_EQ(sent, ack("3.22   \r\n"));
    EXPECT_FALSE(engine->nextDeadline());

    // A rate change waits for its delayed ACK: until then the old rate still counts.
    ASSERT_EQ(f.apply("delay 0"), "");
    exchange(frame("<RSBAUD=19200>"));
    EXPECT_EQ(engine->line().baud, 9600u);
    sent.clear();
    engine->tick(now + 1200ms);
    EXPECT_EQ(sent, ack());
    EXPECT_EQ(engine->line().baud, 19200u);
}

TEST_F(EngineTest, LoadTokenIsAckedThenTheLineBelongsToTheTransfer) {
    loadRefusal = "no receiver";
    EXPECT_EQ(exchange(frame("<A1CODE=Z>")), kNakText);
    EXPECT_TRUE(loadsStarted.empty());

    loadRefusal.clear();
    EXPECT_EQ(exchange(frame("<A1CODE=Z>")), ack());
    ASSERT_EQ(loadsStarted.size(), 1u);
    EXPECT_EQ(loadsStarted[0], LoadTarget::App1);
    EXPECT_EQ(sentBeforeLoad, ack()); // the ACK is out before the transfer starts
    EXPECT_EQ(engine->state(), EngineState::Loading);
    EXPECT_EQ(exchange(frame("<TXPING:>")), ""); // the transfer owns the line

    engine->finishLoad(std::string("3.30"));
    EXPECT_EQ(engine->state(), EngineState::Ready);
    EXPECT_EQ(exchange(frame("<APP1RV:>")), ack("3.30   \r\n"));

    // A failed load, or an image without a version, keeps the revision.
    EXPECT_EQ(exchange(frame("<A2CODE=Z>")), ack());
    engine->finishLoad(std::nullopt);
    EXPECT_EQ(engine->identity().app2Revision, "1.00");
    EXPECT_EQ(exchange(frame("<BTCODE=Z>")), ack());
    engine->finishLoad(std::string("2.00"));
    EXPECT_EQ(engine->identity().bootRevision, "2.00");
    EXPECT_EQ(engine->identity().app1Revision, "3.30");
}

TEST_F(EngineTest, DirectSettingsChangeTheLineAtOnce) {
    std::string error;
    EXPECT_TRUE(engine->setSetupValue("RSBAUD", "115200", error));
    EXPECT_EQ(engine->line().baud, 115200u);
    EXPECT_FALSE(engine->setSetupValue("RSBAUD", "110", error));
    LineSettings l;
    l.baud = 2400;
    l.parity = 'O';
    engine->setLine(l);
    EXPECT_EQ(engine->setup().get("RSPRTY"), "ODD");
    EXPECT_EQ(lineChanges.back().toString(), "2400,O,8,1");
}

TEST(GarbleAnswer, KeepsLengthAndLineEnd) {
    EXPECT_EQ(garbleAnswer("ABCDEF\r\n"), "A#CD#F\r\n");
    EXPECT_EQ(garbleAnswer("##"), "#*");
    EXPECT_EQ(garbleAnswer(""), "");
}

} // namespace
} // namespace scanner_sim

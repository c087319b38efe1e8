// The simulated Hayes modem: command mode, result codes, dialling outcomes, ringing and
// answering, data once online, and the "+++" escape with its guard times.
#include <gtest/gtest.h>

#include "tools/modem-sim/hayes_modem.h"

using modemsim::DialOutcome;
using modemsim::HayesModem;

namespace {

class Modem : public ::testing::Test {
protected:
    Modem() : modem_(HayesModem::Options{}, [this](std::string_view b) { out_.append(b); }) {}
    // Sends a line at now_ and returns what came back.
    std::string send(const std::string& text) {
        out_.clear();
        modem_.input(text, now_);
        return out_;
    }
    std::string after(int64_t ms) {
        out_.clear();
        now_ += ms;
        modem_.tick(now_);
        return out_;
    }
    std::string out_;
    int64_t now_ = 1000;
    HayesModem modem_;
};

} // namespace

TEST_F(Modem, CommandModeEchoVerboseAndRegisters) {
    EXPECT_EQ(send("AT\r"), "AT\r\r\nOK\r\n");     // echo on by default
    EXPECT_EQ(send("ATE0\r"), "ATE0\r\r\nOK\r\n"); // echoed before it takes effect
    EXPECT_EQ(send("ATS7=45S12=25\r"), "\r\nOK\r\n");
    EXPECT_EQ(modem_.sRegister(7), 45);
    EXPECT_EQ(send("ATS7?\r"), "\r\n045\r\n\r\nOK\r\n");
    EXPECT_EQ(send("ATS7=-8\r"), "\r\nERROR\r\n"); // a negative value is refused
    EXPECT_EQ(send("ATS7=300\r"), "\r\nERROR\r\n");
    EXPECT_EQ(send("ATE0L1M0Q0V1&C1&D2&S1S7=50\r"), "\r\nOK\r\n");
    EXPECT_EQ(send("ATY\r"), "\r\nERROR\r\n");
    EXPECT_EQ(send("ATV0\r"), "0\r");                  // numeric results
    EXPECT_EQ(send("ATQ1\r"), "");                     // quiet
    EXPECT_EQ(send("ATZ\r"), "\r\nOK\r\n");            // typed without echo; then defaults again
    EXPECT_EQ(send("hello\r"), "hello\r");             // no AT: nothing to do
    EXPECT_EQ(send("+++ATH\r"), "+++ATH\r\r\nOK\r\n"); // what comes before AT is ignored
}

TEST_F(Modem, DialOutcomes) {
    send("ATE0\r");
    EXPECT_EQ(send("ATDT5551234\r"), "");
    EXPECT_EQ(modem_.state(), HayesModem::State::Dialing);
    EXPECT_EQ(modem_.lastNumber(), "5551234");
    EXPECT_EQ(after(100), "");
    EXPECT_EQ(after(300), "\r\nCONNECT 9600\r\n");
    EXPECT_EQ(modem_.state(), HayesModem::State::Online);
    modem_.remoteHangUp();
    EXPECT_EQ(modem_.state(), HayesModem::State::Command);

    for (auto [outcome, text] : {std::pair{DialOutcome::Busy, "BUSY"},
                                 {DialOutcome::NoCarrier, "NO CARRIER"},
                                 {DialOutcome::NoDialtone, "NO DIALTONE"},
                                 {DialOutcome::NoAnswer, "NO ANSWER"},
                                 {DialOutcome::Error, "ERROR"}}) {
        modem_.options().dialOutcome = outcome;
        send("ATD1\r");
        EXPECT_EQ(after(400), std::string("\r\n") + text + "\r\n");
        EXPECT_EQ(modem_.state(), HayesModem::State::Command);
    }
    // Told to say nothing: the dial goes on until a key ends it.
    modem_.options().dialOutcome = DialOutcome::Nothing;
    send("ATD2\r");
    EXPECT_EQ(after(100000), "");
    EXPECT_EQ(modem_.nextDueMs(now_), -1);
    EXPECT_EQ(send("\r"), "\r\nNO CARRIER\r\n");
    EXPECT_EQ(modem_.dials(), 7);
    // Plain CONNECT.
    modem_.options().dialOutcome = DialOutcome::Connect;
    modem_.options().connectText = "CONNECT";
    send("ATD3\r");
    EXPECT_EQ(after(400), "\r\nCONNECT\r\n");
}

TEST_F(Modem, RingsUntilAnswered) {
    send("ATE0\r");
    modem_.ring(now_, 3);
    EXPECT_EQ(after(0), "\r\nRING\r\n");
    EXPECT_EQ(after(1000), "");
    EXPECT_EQ(after(1000), "\r\nRING\r\n");
    EXPECT_EQ(send("ATA\r"), "");
    EXPECT_EQ(modem_.state(), HayesModem::State::Answering);
    EXPECT_EQ(after(2500), "\r\nCONNECT 9600\r\n"); // no more rings while answering
    EXPECT_EQ(modem_.state(), HayesModem::State::Online);
    // ATA without a caller waits S7 seconds for carrier.
    modem_.remoteHangUp();
    send("ATS7=2A\r");
    EXPECT_EQ(after(1500), "");
    EXPECT_EQ(after(600), "\r\nNO CARRIER\r\n");
    // S0 answers by itself.
    send("ATS0=2\r");
    modem_.ring(now_, 5);
    EXPECT_EQ(after(0), "\r\nRING\r\n");
    EXPECT_EQ(after(2000), "\r\nRING\r\n");
    EXPECT_EQ(after(400), "\r\nCONNECT 9600\r\n");
}

TEST_F(Modem, OnlineDataAndTheEscapeWithGuardTimes) {
    send("ATE0\r");
    send("ATD1\r");
    after(400);
    EXPECT_EQ(send("data"), "data"); // the far end echoes
    EXPECT_EQ(modem_.remoteReceived(), "data");
    // "+++" without the leading silence is data.
    now_ += 100;
    EXPECT_EQ(send("+++"), "+++");
    EXPECT_EQ(after(2000), "");
    EXPECT_EQ(modem_.state(), HayesModem::State::Online);
    // With a second of silence before and after, it is the escape.
    now_ += 1100;
    EXPECT_EQ(send("+++"), "+++");
    EXPECT_EQ(after(500), "");
    EXPECT_EQ(after(600), "\r\nOK\r\n");
    EXPECT_EQ(modem_.state(), HayesModem::State::OnlineCommand);
    EXPECT_EQ(send("ATD5\r"), "\r\nERROR\r\n"); // still connected
    EXPECT_EQ(send("ATO\r"), "\r\nCONNECT 9600\r\n");
    EXPECT_EQ(modem_.state(), HayesModem::State::Online);
    modem_.remoteSend("from afar");
    now_ += 1100;
    send("+++");
    after(1100);
    EXPECT_EQ(send("ATH\r"), "\r\nOK\r\n");
    EXPECT_EQ(modem_.state(), HayesModem::State::Command);
    // DTR dropped with &D2 hangs up.
    send("ATD1\r");
    after(400);
    modem_.dtrDropped();
    EXPECT_EQ(modem_.state(), HayesModem::State::Command);
}

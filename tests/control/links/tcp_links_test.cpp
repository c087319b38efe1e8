// Controls over TCP loopback: a client and a single-connection server, two clients
// handed by a server to two further controls, data both ways, and ZMODEM across a
// TCP connection with every control character escaped.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

#include "control/object/vort_ctrl.h"
#include "links_fixture.h"
#include "serilon/serilon.h"
#include "support/free_port.h"

namespace fs = std::filesystem;
using namespace vort;
using component::Variant;
using links_test::exchange;
using links_test::narrow;
using links_test::QueueWindow;
using links_test::randomBytes;
using vort::test::freePort;
using vort::test::waitFor;

namespace {

std::u16string u16(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

// A loopback client that sends message and closes at once.
void sendAndClose(uint16_t port, const std::string& message) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::send(fd, message.data(), message.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(message.size()));
    ::close(fd);
}

class LinkedControl {
public:
    explicit LinkedControl(int port) {
        ctl.setNotificationWindow(&window);
        ctl.setCommPort(static_cast<int16_t>(port));
        ctl.setInputMode(1);
        ctl.setInputLen(0);
    }
    ~LinkedControl() {
        ctl.setPortOpen(false);
        ctl.setNotificationWindow(nullptr);
    }
    QueueWindow window;
    CVortCtrl ctl;
};

// A multi-connection server on comm port `port`; announced() waits for the n-th code 6
// and gives the comm id its ModemResult names (-1 when none came).
struct MultiServer : LinkedControl {
    MultiServer(int commPort, uint16_t tcpPort) : LinkedControl(commPort) {
        ctl.setComType(kComTypeTcpServer);
        ctl.setSettings(u16("PORT=" + std::to_string(tcpPort) + ";MaxServerConnections=2"));
        ctl.setPortOpen(true);
    }
    int announced(int n) {
        if (!waitFor([&] { return window.count(kNotifyComm, 6) >= n; }, 5000))
            return -1;
        window.deliver(ctl);
        const std::string result = narrow(ctl.modemResult());
        const size_t at = result.find("CommId=");
        return at == std::string::npos ? -1 : std::stoi(result.substr(at + 7));
    }
};

// At the end of a test, the comm ids holding connections a server handed on that
// nobody took over are closed, so that later tests find them free.
struct HandedOnCleanup {
    ~HandedOnCleanup() {
        for (int32_t id = 0; id < SERIAL_COMM_IDS; ++id) {
            if (SerialGetUserData(id, 4) != 0) {
                SerialClosePort(id);
                SerialSetUserData(id, 4, 0);
            }
        }
    }
};

} // namespace

TEST(TcpLinks, ClientAndSingleConnectionServer) {
    const uint16_t port = freePort();
    LinkedControl server(50);
    server.ctl.setComType(kComTypeTcpServer);
    server.ctl.setSettings(u16("PORT=" + std::to_string(port) + ";MaxServerConnections=1"));
    EXPECT_EQ(narrow(server.ctl.settings()),
              "IP=;PORT=" + std::to_string(port) + ";MaxServerConnections=1;");
    server.ctl.setPortOpen(true);
    EXPECT_FALSE(server.ctl.modemConnect()); // nobody connected yet

    LinkedControl client(51);
    client.ctl.setComType(kComTypeTcpClient);
    client.ctl.setSettings(u16("IP=127.0.0.1;PORT=" + std::to_string(port)));
    client.ctl.setPortOpen(true);
    EXPECT_TRUE(client.ctl.modemConnect());
    EXPECT_TRUE(client.ctl.cdHolding());

    // The connection is signalled on the server's own comm id, with its text.
    ASSERT_TRUE(waitFor([&] { return server.window.count(kNotifyComm, 6) == 1; }, 3000));
    server.window.deliver(server.ctl);
    const std::string result = narrow(server.ctl.modemResult());
    EXPECT_EQ(result.rfind("Connected IP=127.0.0.1, Port=", 0), 0u) << result;
    EXPECT_NE(result.find(", CommId=49"), std::string::npos) << result;
    EXPECT_TRUE(server.ctl.modemConnect());

    std::string got;
    const std::string up = randomBytes(150000, 3);
    ASSERT_TRUE(exchange(client.ctl, server.ctl, up, got));
    EXPECT_TRUE(got == up);
    got.clear();
    const std::string down = randomBytes(90000, 4);
    ASSERT_TRUE(exchange(server.ctl, client.ctl, down, got));
    EXPECT_TRUE(got == down);

    // The client hangs up with ModemConnect = false: the server loses carrier.
    client.ctl.setModemConnect(false);
    EXPECT_TRUE(waitFor([&] { return !server.ctl.cdHolding(); }, 3000));
    EXPECT_TRUE(waitFor([&] { return server.window.count(kNotifyComm, 5) >= 1; }, 3000));
}

TEST(TcpLinks, TwoClientsHandedToTwoControls) {
    const uint16_t port = freePort();
    LinkedControl server(60);
    server.ctl.setComType(kComTypeTcpServer);
    server.ctl.setSettings(u16("PORT=" + std::to_string(port) + ";MaxServerConnections=5"));
    server.ctl.setPortOpen(true);

    std::vector<std::unique_ptr<LinkedControl>> clients;
    std::vector<std::unique_ptr<LinkedControl>> taken;
    for (int i = 0; i < 2; ++i) {
        clients.push_back(std::make_unique<LinkedControl>(61 + i));
        clients[i]->ctl.setComType(kComTypeTcpClient);
        clients[i]->ctl.setSettings(u16("IP=localhost;PORT=" + std::to_string(port)));
        clients[i]->ctl.setPortOpen(true);
        ASSERT_TRUE(waitFor([&] { return server.window.count(kNotifyComm, 6) == i + 1; }, 3000));
        server.window.deliver(server.ctl);
        const std::string result = narrow(server.ctl.modemResult());
        const size_t at = result.find("CommId=");
        ASSERT_NE(at, std::string::npos) << result;
        const int commId = std::stoi(result.substr(at + 7));
        EXPECT_NE(commId, 59); // a comm id of its own
        EXPECT_TRUE(SerialInUse(commId));
        // A second control takes the connection over as a client on that comm id.
        // Bytes sent before anyone takes the connection over wait for the new owner.
        clients[i]->ctl.setOutput(Variant::bstr(u"early"));
        ASSERT_TRUE(waitFor([&] { return SerialQueueCount(commId, SERIAL_DIR_INPUT) == 5; }, 3000));
        taken.push_back(std::make_unique<LinkedControl>(commId + 1));
        taken[i]->ctl.setComType(kComTypeTcpClient);
        taken[i]->ctl.setPortOpen(true); // no error 55: the comm id holds a connection
        EXPECT_TRUE(taken[i]->ctl.portOpen());
        EXPECT_TRUE(taken[i]->ctl.modemConnect());
        // ... and the new owner hears of them without more arriving.
        EXPECT_TRUE(waitFor([&] { return taken[i]->window.count(kNotifyComm, 2) >= 1; }, 3000));
        const Variant early = taken[i]->ctl.input();
        ASSERT_TRUE(early.isBytes());
        EXPECT_EQ(std::string(early.byteArray().begin(), early.byteArray().end()), "early");
        EXPECT_EQ(SerialGetUserData(commId, 4), 0);
    }
    for (int i = 0; i < 2; ++i) {
        std::string got;
        const std::string data = randomBytes(40000, 10 + i);
        ASSERT_TRUE(exchange(clients[i]->ctl, taken[i]->ctl, data, got));
        EXPECT_TRUE(got == data);
        got.clear();
        ASSERT_TRUE(exchange(taken[i]->ctl, clients[i]->ctl, data.substr(0, 5000), got));
        EXPECT_TRUE(got == data.substr(0, 5000));
    }
    // A comm id in use that holds no handed-over connection still gives 55.
    LinkedControl intruder(61);
    intruder.ctl.setComType(kComTypeTcpClient);
    int number = 0;
    try {
        intruder.ctl.setPortOpen(true);
    } catch (const component::ComponentError& e) {
        number = e.number();
    }
    EXPECT_EQ(number, 55);
}

TEST(TcpLinks, ZmodemOverTcpWithControlCharactersEscaped) {
    const fs::path dir = fs::temp_directory_path() / ("vort-links-" + std::to_string(::getpid()));
    fs::create_directories(dir / "in");
    const std::string content = randomBytes(200000, 7);
    std::ofstream(dir / "image.bin", std::ios::binary)
        .write(content.data(), std::streamsize(content.size()));

    const uint16_t port = freePort();
    LinkedControl sender(70);
    sender.ctl.setComType(kComTypeTcpServer);
    sender.ctl.setSettings(u16("PORT=" + std::to_string(port)));
    sender.ctl.setPortOpen(true);
    LinkedControl receiver(71);
    receiver.ctl.setComType(kComTypeTcpClient);
    receiver.ctl.setSettings(u16("IP=::1;PORT=" + std::to_string(port)));
    try {
        receiver.ctl.setPortOpen(true);
    } catch (const component::ComponentError&) {
        receiver.ctl.setSettings(u16("IP=127.0.0.1"));
        receiver.ctl.setPortOpen(true);
    }
    ASSERT_TRUE(waitFor([&] { return sender.ctl.cdHolding(); }, 3000));

    receiver.ctl.setProtocol(kProtocolZmodem);
    receiver.ctl.setFileDownLoadDir(u16((dir / "in").string()));
    receiver.ctl.setFileName(u16((dir / "in" / "x").string()));
    receiver.ctl.setFileReceive(true);
    sender.ctl.setProtocol(kProtocolZmodem);
    sender.ctl.setFileName(u16((dir / "image.bin").string() + ",E"));
    sender.ctl.setFileTransmit(true);
    ASSERT_TRUE(sender.ctl.jobProcessing());
    EXPECT_TRUE(waitFor(
        [&] { return !sender.ctl.jobProcessing() && !receiver.ctl.jobProcessing(); }, 60000));
    std::ifstream in(dir / "in" / "image.bin", std::ios::binary);
    const std::string arrived((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    EXPECT_EQ(arrived.size(), content.size());
    EXPECT_TRUE(arrived == content);
    fs::remove_all(dir);
}

TEST(TcpLinks, ModemConnectOnATcpClientSendsNoModemCommands) {
    const uint16_t port = freePort();
    LinkedControl server(75);
    server.ctl.setComType(kComTypeTcpServer);
    server.ctl.setSettings(u16("PORT=" + std::to_string(port)));
    server.ctl.setPortOpen(true);
    LinkedControl client(76);
    client.ctl.setComType(kComTypeTcpClient);
    client.ctl.setSettings(u16("IP=127.0.0.1;PORT=" + std::to_string(port)));
    client.ctl.setPortOpen(true);
    ASSERT_TRUE(waitFor([&] { return server.ctl.cdHolding(); }, 3000));
    client.ctl.setModemConnect(true);
    ASSERT_TRUE(waitFor([&] { return !client.ctl.jobProcessing(); }, 5000));
    EXPECT_EQ(narrow(client.ctl.modemResult()), "CONNECTED");
    EXPECT_TRUE(client.ctl.modemConnect());
    // Not one byte of an AT command reached the other end: a byte sent now arrives
    // behind anything the connect wrote, so once it is there the rest would be too.
    EXPECT_EQ(server.ctl.inBufferCount(), 0);
    client.ctl.setOutput(Variant::bstr(u"!"));
    ASSERT_TRUE(waitFor([&] { return server.ctl.inBufferCount() >= 1; }, 3000));
    EXPECT_EQ(server.ctl.inBufferCount(), 1);
    const Variant v = server.ctl.input();
    ASSERT_TRUE(v.isBytes());
    EXPECT_EQ(std::string(v.byteArray().begin(), v.byteArray().end()), "!");
}

TEST(TcpLinks, ConnectionsThatEndAtOnceAreAnnouncedAndTakenOverWithTheirBytes) {
    const uint16_t port = freePort();
    MultiServer server(80, port);
    HandedOnCleanup cleanup;
    // More than the limit of 2: ended connections no longer count against it.
    std::vector<int> ids;
    for (int i = 0; i < 3; ++i) {
        sendAndClose(port, "bye from " + std::to_string(i));
        ids.push_back(server.announced(i + 1));
        ASSERT_GE(ids.back(), 0) << "client " << i << " was not announced";
    }
    for (int i = 0; i < 3; ++i) {
        LinkedControl taker(ids[i] + 1);
        taker.ctl.setComType(kComTypeTcpClient);
        taker.ctl.setPortOpen(true); // the peer has gone, the connection is still handed on
        EXPECT_TRUE(taker.ctl.portOpen());
        EXPECT_FALSE(taker.ctl.modemConnect());
        // The bytes first, then the loss of carrier.
        ASSERT_TRUE(waitFor([&] { return taker.window.count(kNotifyComm, 5) == 1; }, 3000));
        const std::vector<links_test::Posted> posted = taker.window.all();
        const auto code = [&](int16_t c) {
            return std::find_if(posted.begin(), posted.end(),
                                [&](const links_test::Posted& p) { return p.code == c; });
        };
        EXPECT_LT(code(2) - posted.begin(), code(5) - posted.begin());
        const Variant v = taker.ctl.input();
        ASSERT_TRUE(v.isBytes());
        EXPECT_EQ(std::string(v.byteArray().begin(), v.byteArray().end()),
                  "bye from " + std::to_string(i));
    }
}

TEST(TcpLinks, EndedConnectionsGiveTheirCommIdsBackWhenAllAreTaken) {
    const uint16_t port = freePort();
    MultiServer server(81, port);
    HandedOnCleanup cleanup;
    int free = 0;
    for (int32_t id = 0; id < SERIAL_COMM_IDS; ++id)
        free += SerialInUse(id) ? 0 : 1;
    // Every free comm id ends up holding an ended connection nobody took over.
    std::vector<int> ids;
    for (int i = 0; i < free; ++i) {
        sendAndClose(port, "early " + std::to_string(i));
        ids.push_back(server.announced(i + 1));
        ASSERT_GE(ids.back(), 0) << "client " << i << " was not announced";
    }
    for (int32_t id = 0; id < SERIAL_COMM_IDS; ++id)
        ASSERT_TRUE(SerialInUse(id)) << id;

    // One more: the ended ones give their comm ids back and it is served.
    sendAndClose(port, "late");
    const int last = server.announced(free + 1);
    ASSERT_GE(last, 0) << "the connection after every comm id was taken was not announced";
    LinkedControl taker(last + 1);
    taker.ctl.setComType(kComTypeTcpClient);
    taker.ctl.setPortOpen(true);
    ASSERT_TRUE(waitFor([&] { return taker.ctl.inBufferCount() == 4; }, 3000));
    const Variant v = taker.ctl.input();
    ASSERT_TRUE(v.isBytes());
    EXPECT_EQ(std::string(v.byteArray().begin(), v.byteArray().end()), "late");

    // A late takeover of another of them learns that its connection was closed.
    const int other = ids[0] == last ? ids[1] : ids[0];
    EXPECT_FALSE(SerialInUse(other));
    LinkedControl late(other + 1);
    late.ctl.setComType(kComTypeTcpClient);
    int number = 0;
    std::string text;
    try {
        late.ctl.setPortOpen(true);
    } catch (const component::ComponentError& e) {
        number = e.number();
        text = e.what();
    }
    EXPECT_EQ(number, 68);
    EXPECT_NE(text.find("ended and was closed"), std::string::npos) << text;
    EXPECT_FALSE(late.ctl.portOpen());
    EXPECT_EQ(SerialGetUserData(other, 4), 0);

    // The server goes on taking connections.
    sendAndClose(port, "after");
    EXPECT_GE(server.announced(free + 2), 0);
}

// vort-container's script mode as a process, hosting the real control created by
// ProgID through a registry that vortreg writes in a scratch XDG_DATA_HOME, with COM7
// mapped to a pseudo-terminal: properties by name, bytes out and in, OnComm, methods
// with by-reference results, failures with their numbers, design mode, save and load,
// time-outs, exit statuses and a clear error for every malformed line.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "support/non_regular_files.h"
#include "support/pty_pair.h"
#include "tests/tools/container/container_process.h"
#include "tests/tools/container/registered_control.h"

namespace fs = std::filesystem;
using vort::test::ContainerProcess;

namespace {

[[maybe_unused]] auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new vort::test::RegisteredControl);

class ScratchDir {
public:
    ScratchDir()
        : path_(fs::temp_directory_path() / ("vort-container-files-" + std::to_string(getpid()))) {
        fs::create_directories(path_);
    }
    ~ScratchDir() { fs::remove_all(path_); }
    std::string file(const char* name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a script file and returns the exit status; *out gets standard output.
int runScriptFile(const std::string& path, std::vector<std::string>* out = nullptr) {
    ContainerProcess p({QStringLiteral("--script"), QString::fromStdString(path)});
    std::vector<std::string> lines;
    for (std::string line = p.next(20000); line != "<ended>" && line != "<timeout>";
         line = p.next(20000))
        lines.push_back(line);
    if (out)
        *out = lines;
    return p.finish();
}

} // namespace

TEST(ContainerOverPty, DrivesTheControlByPropertyName) {
    vort::test::PtyPair pty;
    vort::test::ScopedPortMap ports;
    ports.map(7, pty.slavePath());
    ScratchDir files;
    ContainerProcess c;

    c.send("create VORT.VortCtrl.1");
    EXPECT_EQ(c.ask("get commport"), "CommPort = 2");
    c.send("set SThreshold 0"); // no send events: the first OnComm is the receive
    c.send("set CommPort 7");
    c.send("set Settings \"9600,n,8,1\"");
    c.send("set PortOpen true");
    EXPECT_EQ(c.ask("get PortOpen"), "PortOpen = true");
    EXPECT_EQ(c.ask("get Settings"), "Settings = \"9600,N,8,1\"");

    // Bytes out: a text and a byte array reach the master.
    c.send("set Output \"AB\"");
    EXPECT_EQ(pty.read(2), "AB");
    c.send("set Output bytes:00FF0D");
    EXPECT_EQ(pty.read(3), std::string("\0\xFF\r", 3));

    // Bytes in: OnComm with the receive code, then Input.
    ASSERT_TRUE(pty.writeAll(std::string("xyz\x01", 4)));
    EXPECT_EQ(c.ask("wait OnComm 5000", 7000), "OnComm CommEvent=2");
    EXPECT_EQ(c.ask("until InBufferCount 4 3000", 5000), "InBufferCount = 4");
    c.send("set InputLen 0");
    EXPECT_EQ(c.ask("get Input"), "Input = \"xyz\\x01\"");
    EXPECT_EQ(c.ask("get InBufferCount"), "InBufferCount = 0");

    // A method handing data back through a by-reference argument.
    ASSERT_TRUE(pty.writeAll("pq"));
    EXPECT_EQ(c.ask("until InBufferCount 2 3000", 5000), "InBufferCount = 2");
    EXPECT_EQ(c.ask("call ComInput 0 empty 5"), "ComInput = 2 lpData=bytes:7071");
    EXPECT_EQ(c.ask("call PortPresent 7"), "PortPresent = 2") << "busy: we hold it";

    // Failures print the error's number and its description.
    const auto startsWith = [](const std::string& line, const std::string& start) {
        return line.rfind(start, 0) == 0 ? testing::AssertionSuccess()
                                         : testing::AssertionFailure() << line;
    };
    EXPECT_TRUE(startsWith(c.ask("set PortOpen true"), "PortOpen ! 55 Port already open"));
    EXPECT_TRUE(
        startsWith(c.ask("set Settings \"9600,X,8,1\""), "Settings ! 380 Invalid property value"));
    EXPECT_TRUE(startsWith(c.ask("get Output"), "Output ! 394 Property is write-only"));
    EXPECT_TRUE(startsWith(c.ask("set ZRelease \"x\""), "ZRelease ! 383 Property is read-only"));
    EXPECT_TRUE(startsWith(c.ask("get NoSuchThing"), "NoSuchThing ! 438 Object doesn't support"));
    EXPECT_TRUE(
        startsWith(c.ask("call PortPresent"), "PortPresent ! 450 Wrong number of arguments"));
    EXPECT_TRUE(startsWith(c.ask("set CommPort \"seven\""), "CommPort ! 13 Type mismatch"));

    // Save, change, load: the bag brings the design back.
    c.send("set PortOpen false");
    c.send("save " + files.file("design.bag"));
    c.send("set CommPort 9");
    c.send("set Settings \"19200,E,7,1\"");
    c.send("load " + files.file("design.bag"));
    EXPECT_EQ(c.ask("get CommPort"), "CommPort = 7");
    EXPECT_EQ(c.ask("get Settings"), "Settings = \"9600,N,8,1\"");
    const std::string bag = readFile(files.file("design.bag"));
    EXPECT_NE(bag.find("CommPort = 7"), std::string::npos) << bag;
    EXPECT_NE(bag.find("Settings = \"9600,N,8,1\""), std::string::npos) << bag;

    // Design mode: run-time-only members raise 422, others work.
    c.send("mode design");
    EXPECT_EQ(c.ask("set PortOpen true"), "PortOpen ! 422");
    EXPECT_EQ(c.ask("get PortOpen"), "PortOpen ! 422");
    EXPECT_EQ(c.ask("get Settings"), "Settings = \"9600,N,8,1\"");
    c.send("mode run");
    EXPECT_EQ(c.ask("get PortOpen"), "PortOpen = false");

    EXPECT_EQ(c.finish(), 1) << "failed commands make the status 1";
    EXPECT_EQ(c.standardError().find("vort-container:"), std::string::npos);
}

TEST(ContainerOverPty, EventsAsTheyComeAndTimeOuts) {
    vort::test::PtyPair pty;
    vort::test::ScopedPortMap ports;
    ports.map(7, pty.slavePath());
    ContainerProcess c;
    c.send("create VORT.VortCtrl.1");
    c.send("set CommPort 7");
    c.send("set PortOpen true");
    EXPECT_EQ(c.ask("get PortOpen"), "PortOpen = true");

    // Waits run in real time and give up cleanly.
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(c.ask("wait OnComm 300"), "timeout OnComm");
    EXPECT_GE(clock.elapsed(), 300);
    EXPECT_LT(clock.elapsed(), 3000);
    clock.restart();
    EXPECT_EQ(c.ask("until InBufferCount 1 200"), "timeout InBufferCount");
    EXPECT_GE(clock.elapsed(), 200);
    clock.restart();
    c.send("sleep 250");
    EXPECT_EQ(c.ask("get PortOpen"), "PortOpen = true");
    EXPECT_GE(clock.elapsed(), 250);

    // events on: each event printed as it comes, while the container sleeps.
    c.send("events on");
    ASSERT_TRUE(pty.writeAll("k"));
    c.send("sleep 1500");
    EXPECT_EQ(c.next(1200), "OnComm CommEvent=2"); // before the sleep ends
    c.send("events off");
    EXPECT_EQ(c.ask("wait OnComm 1000"), "OnComm CommEvent=2") << "events stay queued for a wait";
    EXPECT_EQ(c.finish(), 1) << "the time-outs count as failures";
}

TEST(ContainerOverPty, MessageBoxesArePrintedAndAnsweredWithoutWaiting) {
    vort::test::PtyPair pty;
    vort::test::ScopedPortMap ports;
    ports.map(7, pty.slavePath());
    setenv("VORT_LINK3964", "/nonexistent/liblink3964.so", 1);
    ContainerProcess c;
    unsetenv("VORT_LINK3964");
    c.send("create VORT.VortCtrl.1");
    c.send("set CommPort 7");
    c.send("set PortOpen true");
    EXPECT_EQ(c.ask("get Protocol"), "Protocol = 6");
    // The missing 3964 library is reported in a box with only OK.
    const std::string box = "Text=\"3964 Protocol could not be loaded ! Check for  LINK3964.DLL\" "
                            "Buttons=Ok Answer=Ok";
    EXPECT_EQ(c.ask("set Protocol 7", 20000), "MessageBox Title=\"vort-container\" " + box);
    EXPECT_EQ(c.ask("get Protocol"), "Protocol = 6");
    // A queued answer the box has no button for gets the default and fails the line
    // that showed the box; one that fits is taken quietly.
    c.send("answer Yes");
    EXPECT_TRUE(c.ask("set Protocol 7", 20000).ends_with(box));
    EXPECT_EQ(c.next(),
              "error: line 8: answer Yes does not fit the box (its buttons: Ok); it got Ok");
    c.send("answer ok");
    EXPECT_TRUE(c.ask("set Protocol 7", 20000).ends_with(box));
    EXPECT_EQ(c.ask("get PortOpen"), "PortOpen = true");
    EXPECT_EQ(c.finish(), 1) << "the answer that did not fit";
}

TEST(ContainerScript, ExitStatusAndCommandLine) {
    vort::test::ScopedPortMap ports; // no map: port n is /dev/ttyS<n-1>
    ScratchDir files;
    const std::string good = files.file("good.txt");
    std::ofstream(good)
        << "# fresh control\ncreate VORT.VortCtrl.1\r\n\nget ZRelease\nset RThreshold 5\n"
           "until RThreshold 5 100\ncall PortPresent 200\n";
    std::vector<std::string> out;
    EXPECT_EQ(runScriptFile(good, &out), 0);
    // Port 200 is mapped to no device here (/dev/ttyS199 does not exist).
    EXPECT_EQ(out, (std::vector<std::string>{"ZRelease = \"Rel069, Jan 12 2002, 19:15:36\"",
                                             "RThreshold = 5", "PortPresent = 0"}));

    const std::string bad = files.file("bad.txt");
    std::ofstream(bad) << "create VORT.VortCtrl.1\nget Input\n";
    EXPECT_EQ(runScriptFile(bad, &out), 0) << "a closed port's Input is empty, no failure";
    std::ofstream(bad) << "create VORT.VortCtrl.1\nget Inputs\n";
    EXPECT_EQ(runScriptFile(bad), 1);

    const auto status = [](const QStringList& args) {
        ContainerProcess p(args);
        return p.finish();
    };
    EXPECT_EQ(status({QStringLiteral("--script")}), 2);
    EXPECT_EQ(status({QStringLiteral("--script"), QString::fromStdString(files.file("none.txt"))}),
              2);
    ContainerProcess directory({QStringLiteral("--script"),
                                QString::fromStdString(fs::path(good).parent_path().string())});
    EXPECT_EQ(directory.finish(), 2);
    EXPECT_NE(directory.standardError().find("is a directory"), std::string::npos)
        << directory.standardError();
    EXPECT_EQ(status({QStringLiteral("--bogus")}), 2);
    EXPECT_EQ(status({QStringLiteral("--script"), QStringLiteral("-"),
                      QStringLiteral("VORT.VortCtrl.1")}),
              2);
    EXPECT_EQ(status({QStringLiteral("--help")}), 0);
}

TEST(ContainerScript, EveryMalformedLineGivesOneClearErrorAndNothingStops) {
    ScratchDir files;
    std::ofstream(files.file("damaged.bag")) << "CommPort = \"unterminated\n";
    const std::vector<std::string> badLines = {
        "get CommPort", // no control yet
        "create Nobody.Nothing.1",
        "create {00000000-0000-0000-0000-000000000001}",
        "create VORT.VortCtrl.1 extra",
        "frobnicate",
        "set",
        "set CommPort",
        "set CommPort 1 2",
        "set CommPort 99999999999",
        "set Output \"open",
        "set Output \"\\q\"",
        "set Output bytes:ABC",
        "set 3D true",
        "get",
        "until CommPort 2",
        "until CommPort 2 later",
        "call",
        "wait OnComm",
        "wait OnNothing 10",
        "events sometimes",
        "mode fast",
        "sleep -5",
        "sleep 100000000",
        "save",
        "save /no/such/dir/x.bag",
        "load " + files.file("missing.bag"),
        "load " + files.file("damaged.bag"),
        "load " + files.file(""),
        std::string("set \x01\x7F\xFF 1"),
        std::string(5000, 'x'),
    };
    std::string script = "create VORT.VortCtrl.1\n";
    // The first bad line comes before the create.
    script = badLines[0] + "\n" + script;
    for (size_t i = 1; i < badLines.size(); ++i)
        script += badLines[i] + "\nget CommPort\n";
    const std::string path = files.file("bad.txt");
    std::ofstream(path) << script;

    std::vector<std::string> out;
    EXPECT_EQ(runScriptFile(path, &out), 1);
    size_t errors = 0, answers = 0;
    for (const std::string& line : out) {
        if (line.rfind("error: line ", 0) == 0)
            ++errors;
        else if (line == "CommPort = 2")
            ++answers;
        else
            ADD_FAILURE() << "unexpected line: " << line;
        EXPECT_LT(line.size(), 400u);
    }
    EXPECT_EQ(errors, badLines.size()) << "one error line per bad line";
    // After a damaged load the control holds its defaults, so CommPort stays 2.
    EXPECT_EQ(answers, badLines.size() - 1) << "every good line still ran";
    // The lines name themselves and say what is wrong.
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out[0], "error: line 1: get: no control yet: create one first");
    const auto has = [&](const char* text) {
        for (const std::string& line : out)
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(has("vortreg")) << "an unregistered class says how to register";
    EXPECT_TRUE(has("its events are OnComm, OnModem, OnFileInfo"));
    EXPECT_TRUE(has("is damaged"));
    EXPECT_TRUE(has("save: cannot write /no/such/dir/x.bag"));
}

TEST(ContainerScript, SaveKeepsALinkedPrivateBagFollowsNoPlantedNameAndRefusesAFifo) {
    ScratchDir files;
    const std::string kept = files.file("kept.bag");
    const std::string link = files.file("design.bag");
    vort::test::writeFileText(kept, "old");
    ASSERT_EQ(::chmod(kept.c_str(), 0600), 0);
    ASSERT_EQ(::symlink(kept.c_str(), link.c_str()), 0);
    // A link planted where a fixed temporary name would be must lead nowhere.
    const std::string victim = files.file("victim");
    vort::test::writeFileText(victim, "untouched");
    ASSERT_EQ(::symlink(victim.c_str(), (link + ".tmp").c_str()), 0);
    ASSERT_EQ(::symlink(victim.c_str(), (kept + ".tmp").c_str()), 0);
    const std::string fifo = files.file("fifo.bag");
    vort::test::makeFifo(fifo);

    ContainerProcess c;
    c.send("create VORT.VortCtrl.1");
    c.send("set CommPort 7");
    c.send("save " + link);
    EXPECT_EQ(c.ask("get CommPort"), "CommPort = 7") << "the save said nothing";
    EXPECT_TRUE(vort::test::isSymlink(link));
    EXPECT_NE(vort::test::fileText(kept).find("CommPort = 7"), std::string::npos);
    EXPECT_EQ(vort::test::permissionsOf(kept), 0600);
    EXPECT_EQ(vort::test::fileText(victim), "untouched");
    EXPECT_TRUE(vort::test::isSymlink(link + ".tmp"));

    EXPECT_EQ(c.ask("save " + fifo), "error: line 5: save: cannot write " + fifo +
                                         ": a FIFO (named pipe), not a regular file");
    EXPECT_TRUE(vort::test::isFifo(fifo));
    c.finish();
}

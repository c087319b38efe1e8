// The control as a registered component: created by CLSID through the registry that
// vortreg writes, driven only through its dispatch interface, its events delivered in
// the owner's thread, its properties saved and loaded in both storage forms.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <tuple>

#include "platform/component/component_host.h"
#include "platform/component/error.h"
#include "platform/component/hosted_control.h"
#include "support/pty_pair.h"
#include "support/test_site.h"
#include "support/wait.h"
#include "vort/dispids.h"
#include "vort/guids.h"

namespace fs = std::filesystem;
using namespace vort;
using component::ComponentError;
using component::Variant;

namespace {

std::string outDir() {
    const char* out = std::getenv("VORT_BUILD_OUT");
    return out ? out : "";
}

// A registry of our own for the whole test program, with libvort.so registered in it
// by the real vortreg.
class RegisteredControl : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vort-component-test-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        setenv("XDG_DATA_HOME", dir_.c_str(), 1);
        // vortreg is checked on its own; here it only prepares the registry, so a
        // sanitizer build's leak report about the toolkit it loads must not stop us.
        const std::string cmd = "ASAN_OPTIONS=detect_leaks=0 " + outDir() + "/vortreg " + outDir() +
                                "/libvort.so > /dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }
    void TearDown() override { fs::remove_all(dir_); }

private:
    fs::path dir_;
};

[[maybe_unused]] auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new RegisteredControl);

int raised(const std::function<void()>& f) {
    try {
        f();
    } catch (const ComponentError& e) {
        return e.number();
    }
    return 0;
}

class VortComponent : public ::testing::Test {
protected:
    void SetUp() override {
        ctl_ = host_.createControl(kClsidVortCtrl, &site_);
        ctl_.initNew();
    }
    const component::DispatchProxy& p() { return ctl_.proxy(); }

    test::TestSite site_;
    component::ComponentHost host_;
    component::HostedControl ctl_;
};

} // namespace

TEST_F(VortComponent, FreshControlHasItsDefaults) {
    EXPECT_EQ(p().getI2(kDispCommPort), 2);
    EXPECT_EQ(p().getText(kDispSettings), u"57600,N,8,1");
    EXPECT_EQ(p().getI2(kDispProtocol), 6);
    EXPECT_EQ(p().getI2(kDispInBufferSize), 2048);
    EXPECT_EQ(p().getI2(kDispOutBufferSize), 1536);
    EXPECT_EQ(p().getI2(kDispRThreshold), 1);
    EXPECT_EQ(p().getI2(kDispSThreshold), 1);
    EXPECT_EQ(p().getI4(kDispModemTimeout), 60);
    EXPECT_EQ(p().getText(kDispFileDownLoadDir), u"\\");
    EXPECT_EQ(p().getI2(kDispInputLen), 1);
    EXPECT_EQ(p().getText(kDispModemInitString), u"ATE0L1M0Q0V1&C1&D2&S1");
    EXPECT_EQ(p().getText(kDispModemAnswerString), u"ATA");
    EXPECT_EQ(p().getText(kDispZRelease), u"Rel069, Jan 12 2002, 19:15:36");
    EXPECT_EQ(p().getText(kDispXONChar), std::u16string(1, u'\x11'));
    EXPECT_FALSE(p().getBool(kDispPortOpen));
    // Also by name, as a late-bound host finds them.
    EXPECT_EQ(p().dispidOf("commport"), kDispCommPort);
    EXPECT_EQ(p().dispidOf("AboutBox"), kDispAboutBox);
}

TEST_F(VortComponent, AccessErrors) {
    EXPECT_EQ(raised([&] { p().get(kDispOutput); }), 394);
    EXPECT_EQ(raised([&] { p().put(kDispCDHolding, Variant::boolean(true)); }), 383);
    EXPECT_EQ(raised([&] { p().put(kDispZRelease, Variant::bstr(u"x")); }), 383);
    EXPECT_EQ(raised([&] { p().put(kDispSettings, Variant::bstr(u"9600,X,8,1")); }), 380);

    site_.runMode = false; // design mode
    for (int32_t dispid : {kDispPortOpen, kDispInput, kDispInterval, kDispCommEvent, kDispS3964TQ,
                           kDispS3964Master, kDispInBufferCount, kDispBreak, kDispFileSize})
        EXPECT_EQ(raised([&] { p().get(dispid); }), 422) << dispid;
    EXPECT_EQ(raised([&] { p().put(kDispInterval, Variant::i4(5)); }), 422);
    EXPECT_EQ(raised([&] { p().get(kDispSettings); }), 0);
    EXPECT_EQ(raised([&] { p().put(kDispCommPort, Variant::i2(4)); }), 0);
}

TEST_F(VortComponent, ValuesOutOfRangeAreClampedOrIgnored) {
    p().put(kDispInBufferSize, Variant::i4(40000));
    EXPECT_EQ(p().getI2(kDispInBufferSize), 32000);
    p().put(kDispInBufferSize, Variant::i2(100));
    EXPECT_EQ(p().getI2(kDispInBufferSize), 2048);
    p().put(kDispProtocol, Variant::i2(8));
    p().put(kDispProtocol, Variant::i2(-1));
    EXPECT_EQ(p().getI2(kDispProtocol), 6);
    p().put(kDispPriority, Variant::i2(9));
    EXPECT_EQ(p().getI2(kDispPriority), 2);
    p().put(kDispModemTimeout, Variant::i4(0));
    EXPECT_EQ(p().getI4(kDispModemTimeout), 2);
    p().put(kDispComType, Variant::i2(5));
    EXPECT_EQ(p().getI2(kDispComType), 0);
    p().put(kDispFileName, Variant::bstr(u"C:\\out\\*.bin,X"));
    EXPECT_EQ(p().getText(kDispFileName), u"C:\\out\\*.bin");
}

TEST_F(VortComponent, WritesMarkModifiedAndNotify) {
    site_.changed.clear();
    const int before = site_.modifiedCount;
    p().put(kDispRThreshold, Variant::i2(5));
    EXPECT_GT(site_.modifiedCount, before);
    ASSERT_FALSE(site_.changed.empty());
    EXPECT_EQ(site_.changed.back(), kDispRThreshold);
}

TEST_F(VortComponent, ComTypeChangesTheTexts) {
    p().put(kDispComType, Variant::i2(21));
    EXPECT_EQ(p().getI2(kDispComType), 21);
    EXPECT_EQ(p().getText(kDispModemAnswerString), u"");
    p().put(kDispComType, Variant::i2(0));
    EXPECT_EQ(p().getText(kDispSettings), u"57600,N,8,1");
    EXPECT_EQ(p().getText(kDispModemAnswerString), u"ATA");
}

TEST_F(VortComponent, PersistenceRoundTripsEveryProperty) {
    struct Change {
        int32_t dispid;
        Variant value;
    };
    const std::vector<Change> changes = {
        {kDispCommPort, Variant::i2(9)},
        {kDispInBufferSize, Variant::i2(4096)},
        {kDispOutBufferSize, Variant::i2(1024)},
        {kDispRThreshold, Variant::i2(7)},
        {kDispSThreshold, Variant::i2(0)},
        {kDispDTREnable, Variant::boolean(false)},
        {kDispRTSEnable, Variant::boolean(false)},
        {kDispNullDiscard, Variant::boolean(true)},
        {kDispYieldState, Variant::boolean(false)},
        {kDispParityReplace, Variant::bstr(u"?")},
        {kDispCDTimeout, Variant::i4(11)},
        {kDispCTSTimeout, Variant::i4(12)},
        {kDispDSRTimeout, Variant::i4(13)},
        {kDispInterval, Variant::i4(14)},
        {kDispHandshaking, Variant::i2(3)},
        {kDispInputMode, Variant::i2(1)},
        {kDispProtocol, Variant::i2(2)},
        {kDispSettings, Variant::bstr(u"19200,e,7,2")},
        {kDispModemInitString, Variant::bstr(u"ATZ")},
        {kDispModemAnswerString, Variant::bstr(u"ATS0=1")},
        {kDispModemPhoneNumber, Variant::bstr(u"0123 \"456\"")},
        {kDispFileName, Variant::bstr(u"/tmp/\u00e9 f")},
        {kDispFileDownLoadDir, Variant::bstr(u"/tmp/in")},
        {kDispModemTimeout, Variant::i4(90)},
        {kDispPriority, Variant::i2(4)},
    };
    for (const auto& c : changes)
        p().put(c.dispid, c.value);
    const std::string bag = ctl_.saveText();
    const std::vector<uint8_t> stream = ctl_.saveStream();

    for (int form = 0; form < 2; ++form) {
        test::TestSite site;
        component::HostedControl fresh = host_.createControl(kClsidVortCtrl, &site);
        const auto result = form == 0 ? fresh.loadText(bag) : fresh.loadStream(stream);
        ASSERT_TRUE(result.ok()) << result.error;
        for (const auto& c : changes) {
            Variant expected = c.value;
            if (c.dispid == kDispSettings)
                expected = Variant::bstr(u"19200,E,7,2");
            Variant got = fresh.proxy().get(c.dispid);
            int32_t a = 0, b = 0;
            std::u16string ta, tb;
            if (expected.toText(ta) && got.toText(tb) && !expected.isText()) {
                expected.toI4(a);
                got.toI4(b);
                EXPECT_EQ(a, b) << "dispid " << c.dispid << " form " << form;
            } else {
                EXPECT_EQ(got.text(), expected.text()) << "dispid " << c.dispid << " form " << form;
            }
        }
    }
}

TEST_F(VortComponent, NetworkTypeStoresNoModemStrings) {
    p().put(kDispComType, Variant::i2(21));
    const std::string bag = ctl_.saveText();
    EXPECT_EQ(bag.find("ModemInitString"), std::string::npos) << bag;
    EXPECT_EQ(bag.find("ModemAnswerString"), std::string::npos) << bag;
    test::TestSite site;
    component::HostedControl fresh = host_.createControl(kClsidVortCtrl, &site);
    ASSERT_TRUE(fresh.loadText(bag).ok());
    EXPECT_EQ(fresh.proxy().getI2(kDispComType), 21);
    EXPECT_EQ(fresh.proxy().getText(kDispModemInitString), u"");
    EXPECT_EQ(fresh.proxy().getText(kDispModemAnswerString), u"");
}

TEST_F(VortComponent, DamagedStorageGivesDefaultsAndAnError) {
    test::TestSite site;
    component::HostedControl fresh = host_.createControl(kClsidVortCtrl, &site);
    const auto result = fresh.loadText("this is not a property bag\n\x01\x02\"");
    EXPECT_FALSE(result.ok());
    EXPECT_FALSE(result.error.empty());
    EXPECT_EQ(fresh.proxy().getI2(kDispCommPort), 2);
    EXPECT_EQ(fresh.proxy().getText(kDispSettings), u"57600,N,8,1");
    const std::vector<uint8_t> junk = {0x56, 0x50, 0x58, 0x53, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3};
    EXPECT_FALSE(fresh.loadStream(junk).ok());
    EXPECT_EQ(fresh.proxy().getI2(kDispProtocol), 6);
}

// A host that loads a stored design while the port is open (tcu1 loads its design
// after start-up): the open port stays the one PortOpen closes.
TEST_F(VortComponent, LoadingADesignWhileOpenLeavesNothingLocked) {
    test::PtyPair pty;
    test::ScopedPortMap map;
    map.map(12, pty.slavePath());
    p().put(kDispCommPort, Variant::i2(12));
    p().put(kDispPortOpen, Variant::boolean(true));
    const auto loaded = ctl_.loadText("CommPort = 3\nSettings = \"9600,N,8,1\"\n");
    ASSERT_TRUE(loaded.ok()) << loaded.error;
    EXPECT_EQ(p().getI2(kDispCommPort), 3);
    EXPECT_TRUE(p().getBool(kDispPortOpen));
    p().put(kDispOutput, Variant::bstr(u"ok"));
    EXPECT_EQ(pty.read(2, 3000), "ok");
    p().put(kDispPortOpen, Variant::boolean(false));

    test::TestSite site;
    component::HostedControl other = host_.createControl(kClsidVortCtrl, &site);
    other.initNew();
    other.proxy().put(kDispCommPort, Variant::i2(12));
    EXPECT_EQ(raised([&] { other.proxy().put(kDispPortOpen, Variant::boolean(true)); }), 0);
    EXPECT_TRUE(other.proxy().getBool(kDispPortOpen));
    other.proxy().put(kDispPortOpen, Variant::boolean(false));
}

TEST_F(VortComponent, PropertyBrowserLists) {
    component::Control& c = ctl_.control();
    for (int32_t dispid :
         {kDispHandshaking, kDispProtocol, kDispInputMode, kDispPriority, kDispComType})
        EXPECT_NE(c.browserList(dispid), nullptr) << dispid;
    EXPECT_EQ(c.browserList(kDispProtocol)->entries.size(), 8u);
    std::u16string text;
    p().put(kDispComType, Variant::i2(22));
    c.displayString(kDispComType, &text);
    EXPECT_EQ(text, u"22 - TCP/IP Client");
    EXPECT_EQ(c.browserList(kDispComType)->displayString(5), u"0 - RS-232/422");
    p().put(kDispHandshaking, Variant::i2(2));
    c.displayString(kDispHandshaking, &text);
    EXPECT_EQ(text, u"2 - RTS/CTS Handshaking");
}

TEST_F(VortComponent, TypeLibraryDescribesTheInterface) {
    const component::TypeLibrary* lib = ctl_.control().typeLibrary();
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(lib->name, "VORTLib");
    EXPECT_EQ(lib->versionMajor, 2);
    EXPECT_EQ(lib->versionMinor, 7);
    const component::InterfaceInfo* dvort = lib->findInterface("_DVort");
    ASSERT_NE(dvort, nullptr);
    // XONChar and XOFFChar are callable but not in the type library.
    EXPECT_EQ(dvort->find(kDispXONChar), nullptr);
    ASSERT_NE(dvort->find(kDispBreak), nullptr);
    EXPECT_EQ(dvort->find(kDispBreak)->type, component::VT_BOOL);
    EXPECT_EQ(dvort->find(kDispRThreshold)->help,
              "Defines how many characters should arrive bevor the Vort sends the OnComm event");
    ASSERT_NE(lib->findEnum("VORTOCX_ERRORS"), nullptr);
    EXPECT_EQ(lib->findEnum("VORTOCX_ERRORS")->find("COMM_ER_TXFAILED")->value, 2000);
    EXPECT_EQ(lib->findEnum("COMM_EVENTS")->find("comEvReceive")->value, 2);
    EXPECT_EQ(lib->enums.size(), 15u);
    ASSERT_NE(ctl_.eventInfo(), nullptr);
    EXPECT_EQ(ctl_.eventInfo()->find("OnFileInfo")->dispid, kEventOnFileInfo);
}

// The older hosts' enumerations repeat the newer ones under other names: the same values
// in the same order (COMM_ERRORS has no TXFAILED), so a value picked wrongly for one name
// shows.
TEST_F(VortComponent, TwinEnumerationsCarryTheSameValues) {
    const component::TypeLibrary* lib = ctl_.control().typeLibrary();
    ASSERT_NE(lib, nullptr);
    for (const auto& [newer, older, extra] :
         {std::tuple{"VORTOCX_EVENTS", "COMM_EVENTS", 0u},
          std::tuple{"VORTOCX_ERRORS", "COMM_ERRORS", 1u},
          std::tuple{"VORTOCX_HANDSHAKING", "COMM_HANDSHAKING", 0u}}) {
        SCOPED_TRACE(newer);
        const component::EnumInfo* a = lib->findEnum(newer);
        const component::EnumInfo* b = lib->findEnum(older);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        ASSERT_EQ(a->members.size(), b->members.size() + extra);
        for (size_t i = 0; i < b->members.size(); ++i)
            EXPECT_EQ(a->members[i].value, b->members[i].value)
                << a->members[i].name << " / " << b->members[i].name;
    }
    EXPECT_EQ(lib->findEnum("VORTOCX_ERRORS")->members.back().name, "COMM_ER_TXFAILED");
}

namespace {

// Records each event with the thread it ran in, and what CommEvent read inside it.
class RecordingSink : public component::EventSink {
public:
    explicit RecordingSink(const component::DispatchProxy& p) : p_(p) {}
    void onEvent(int32_t dispid, std::span<const Variant>) override {
        if (dispid != kEventOnComm)
            return;
        threads.push_back(std::this_thread::get_id());
        firstRead.push_back(p_.getI2(kDispCommEvent));
        secondRead.push_back(p_.getI2(kDispCommEvent));
    }
    std::vector<std::thread::id> threads;
    std::vector<int16_t> firstRead, secondRead;

private:
    const component::DispatchProxy& p_;
};

} // namespace

TEST_F(VortComponent, EventsRunInTheOwnersThread) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    test::PtyPair pty;
    test::ScopedPortMap map;
    map.map(12, pty.slavePath());
    // The control's window was made when the site was set, before the application
    // existed; a fresh control made now gets one that receives.
    component::HostedControl ctl = host_.createControl(kClsidVortCtrl, &site_);
    ctl.initNew();
    RecordingSink sink(ctl.proxy());
    ctl.advise(sink);
    ctl.proxy().put(kDispCommPort, Variant::i2(12));
    ctl.proxy().put(kDispPortOpen, Variant::boolean(true));
    ASSERT_TRUE(pty.writeAll("x"));
    vort::test::waitFor([&] { return !sink.threads.empty(); }, 3000,
                        [] { QCoreApplication::processEvents(); });
    ASSERT_FALSE(sink.threads.empty());
    EXPECT_EQ(sink.threads[0], std::this_thread::get_id());
    EXPECT_EQ(sink.firstRead[0], 2);  // comEvReceive
    EXPECT_EQ(sink.secondRead[0], 0); // read-and-reset
    ctl.proxy().put(kDispPortOpen, Variant::boolean(false));
}

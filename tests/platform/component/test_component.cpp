// A small component library built only for the tests: a control (TestCtrl) with
// properties of every kind, methods, events and persistence, and a plain dispatch
// object (Helper). Hosts reach it only through the registry and dlopen.
//
// Built a second time with VORT_TEST_BAD_CLASS defined: the second class then carries
// a ProgID that registration must refuse, to test a failure after earlier steps.
#include <stdexcept>

#include "platform/component/control_base.h"
#include "platform/component/dispatch_table.h"
#include "platform/component/inproc_server.h"
#include "platform/component/property_exchange.h"
#include "platform/component/test_component_ids.h"
#include "platform/component/text.h"
#include "platform/component/type_info.h"

using namespace vort::component;
using namespace vort_test;

namespace {

const TypeLibrary& testTypeLibrary();
const ControlDescription& testDescription();

class TestCtrl final : public ControlBase {
public:
    TestCtrl() : ControlBase(testDescription()) {}

    static const DispatchTable<TestCtrl>& table() {
        static const DispatchTable<TestCtrl> t =
            DispatchTable<TestCtrl>()
                .property(kCount, "Count", &TestCtrl::count, &TestCtrl::setCount,
                          {.help = "Counts things", .enumName = "TEST_COUNTS"})
                .property(kLimit, "Limit", &TestCtrl::limit, &TestCtrl::setLimit)
                .property(kEnabled, "Enabled", &TestCtrl::enabled, &TestCtrl::setEnabled)
                .property(kCaption, "Caption", &TestCtrl::caption, &TestCtrl::setCaption,
                          {.help = "The caption"})
                .property(kRunning, "Running", &TestCtrl::running, &TestCtrl::setRunning,
                          {.runTimeOnly = true})
                .readOnly(kStatus, "Status", &TestCtrl::status, {.runTimeOnly = true})
                .writeOnly(kOutput, "Output", &TestCtrl::setOutput, {.runTimeOnly = true})
                .readOnly(kLastOutput, "LastOutput", &TestCtrl::lastOutput)
                .property(kSecret, "Secret", &TestCtrl::secret, &TestCtrl::setSecret,
                          {.hidden = true})
                .method(kAdd, "Add", &TestCtrl::add, {"a", "b"})
                .method(kFetch, "Fetch", &TestCtrl::fetch, {"count", "data"})
                .method(kFire, "Fire", &TestCtrl::fire, {"code"})
                .method(kRaise, "Raise", &TestCtrl::raise, {"number"})
                .property(kMode, "Mode", &TestCtrl::mode, &TestCtrl::setMode)
                .property(kNote, "Note", &TestCtrl::note, &TestCtrl::setNote);
        return t;
    }

protected:
    void exchangeProperties(PropertyExchange& px) override {
        px.exchange("Count", count_, 5);
        px.exchange("Limit", limit_, 100000);
        px.exchange("Enabled", enabled_, true);
        px.exchange("Caption", caption_, u"Hello");
        px.exchange("Mode", mode_, 0);
        // A property stored only in some modes, as a control may do.
        if (mode_ == 0)
            px.exchange("Note", note_, u"note");
        else if (px.isLoading())
            note_.clear();
    }

private:
    int16_t count() const { return count_; }
    void setCount(int16_t v) {
        count_ = v;
        propertyWritten(kCount);
    }
    int32_t limit() const { return limit_; }
    void setLimit(int32_t v) {
        if (v < 0)
            throw ComponentError(kErrInvalidPropertyValue,
                                 standardErrorText(kErrInvalidPropertyValue));
        limit_ = v;
        propertyWritten(kLimit);
    }
    bool enabled() const { return enabled_; }
    void setEnabled(bool v) {
        enabled_ = v;
        propertyWritten(kEnabled);
    }
    std::u16string caption() const { return caption_; }
    void setCaption(const std::u16string& v) {
        caption_ = v;
        propertyWritten(kCaption);
    }
    bool running() const { return running_; }
    void setRunning(bool v) { running_ = v; }
    int16_t status() const { return 42; }
    void setOutput(const Variant& v) { lastOutput_ = v; }
    Variant lastOutput() const { return lastOutput_; }
    std::u16string secret() const { return secret_; }
    void setSecret(std::u16string v) { secret_ = std::move(v); }
    int32_t add(int16_t a, int16_t b) { return int32_t{a} + b; }
    int16_t fetch(int16_t count, Variant& data) {
        Variant::Bytes bytes;
        for (int16_t i = 0; i < count; ++i)
            bytes.push_back(static_cast<uint8_t>(i));
        data = Variant::bytes(std::move(bytes));
        return count;
    }
    void fire(int16_t code) {
        fireEvent(kEventChanged, {Variant::i2(code)});
        fireEvent(kEventPing);
    }
    void raise(int16_t number) {
        if (number == 0)
            throw std::runtime_error("plain failure");
        throw ComponentError(number, "raised " + std::to_string(number));
    }
    int16_t mode() const { return mode_; }
    void setMode(int16_t v) {
        mode_ = v;
        propertyWritten(kMode);
    }
    std::u16string note() const { return note_; }
    void setNote(const std::u16string& v) {
        note_ = v;
        propertyWritten(kNote);
    }

    int16_t count_ = 5;
    int32_t limit_ = 100000;
    bool enabled_ = true;
    std::u16string caption_ = u"Hello";
    bool running_ = false;
    Variant lastOutput_;
    std::u16string secret_ = u"s";
    int16_t mode_ = 0;
    std::u16string note_ = u"note";
};

class Helper final : public DispatchObject {
public:
    Helper() : DispatchObject(table(), testTypeLibrary().findInterface(kIidHelperDispatch)) {}

    static const DispatchTable<Helper>& table() {
        static const DispatchTable<Helper> t =
            DispatchTable<Helper>()
                .property(kHelperValue, "Value", &Helper::value, &Helper::setValue)
                .method(kHelperTwice, "Twice", &Helper::twice, {"v"});
        return t;
    }

private:
    int32_t value() const { return value_; }
    void setValue(int32_t v) { value_ = v; }
    int32_t twice(int32_t v) { return 2 * v; }
    int32_t value_ = 7;
};

const TypeLibrary& testTypeLibrary() {
    static const TypeLibrary lib = [] {
        TypeLibrary l;
        l.libid = kLibidTest;
        l.name = "VortTestLib";
        l.versionMajor = 3;
        l.versionMinor = 1;
        l.help = "Vort test component";
        l.helpFile = "vorttest.hlp";
        l.interfaces.push_back(TestCtrl::table().describe(
            kIidTestDispatch, "_DTest", "Dispatch interface of the test control"));
        l.interfaces.push_back(
            InterfaceInfo{kIidTestEvents,
                          "_DTestEvents",
                          "Event interface of the test control",
                          {
                              {.dispid = kEventChanged,
                               .name = "Changed",
                               .kind = MemberKind::Method,
                               .params = {{"Code", VT_I2}}},
                              {.dispid = kEventPing, .name = "Ping", .kind = MemberKind::Method},
                          }});
        l.interfaces.push_back(
            Helper::table().describe(kIidHelperDispatch, "_DHelper", "Helper object"));
        l.enums.push_back(
            {"TEST_COUNTS", "", {{"COUNT_ZERO", 0}, {"COUNT_ONE", 1}, {"COUNT_TWO", 2}}});
        l.coclasses.push_back(
            {kClsidTestCtrl, "TestCtrl", "The test control", kIidTestDispatch, kIidTestEvents});
        return l;
    }();
    return lib;
}

const ControlDescription& testDescription() {
    static const ControlDescription d{
        .members = &TestCtrl::table(),
        .typeLibrary = &testTypeLibrary(),
        .dispatchIid = kIidTestDispatch,
        .eventIid = kIidTestEvents,
        .browserLists = {{kCount, {{u"0 - Zero", 0}, {u"1 - One", 1}, {u"2 - Two", 2}}, 0}},
        .propertyPages = {kClsidHelper},
        .versionMajor = 3,
        .versionMinor = 1,
    };
    return d;
}

InprocServer& server() {
    static InprocServer s(
        &testTypeLibrary(),
        {
            {.clsid = kClsidTestCtrl,
             .progId = kProgIdTestCtrl,
             .typeName = "Vort Test Control",
             .miscStatus = 0x20591,
             .insertable = true,
             .toolboxBitmap = 1,
             .create = []() -> Unknown* { return static_cast<Dispatch*>(new TestCtrl); }},
            {.clsid = kClsidHelper,
#ifdef VORT_TEST_BAD_CLASS
             .progId = "1 not a ProgID",
#else
             .progId = kProgIdHelper,
#endif
             .typeName = "Vort Test Helper",
             .withTypeLibrary = false,
             .create = []() -> Unknown* { return static_cast<Dispatch*>(new Helper); }},
        });
    return s;
}

} // namespace

VORT_EXPORT_INPROC_SERVER(server)

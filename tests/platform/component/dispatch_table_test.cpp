// The dispatch table's rules, on a control built into the test itself: conversions,
// the order of the checks, errors thrown by members, by-reference arguments, names
// and the type information it describes.
#include <gtest/gtest.h>
#include <new>
#include <stdexcept>

#include "platform/component/control_base.h"
#include "platform/component/dispatch_table.h"

using namespace vort::component;

namespace {

class Probe;
const ControlDescription& probeDescription();

class Probe final : public ControlBase {
public:
    explicit Probe(bool* destroyed = nullptr)
        : ControlBase(probeDescription()), destroyed_(destroyed) {}
    ~Probe() override {
        // A control may still report something while it goes (a port closing).
        if (fireOnDestroy_)
            fireEvent(1, {Variant::i2(0)});
        if (destroyed_)
            *destroyed_ = true;
    }

    static const DispatchTable<Probe>& table() {
        static const DispatchTable<Probe> t =
            DispatchTable<Probe>()
                .property(1, "Small", &Probe::small, &Probe::setSmall,
                          {.declaredType = VT_BOOL, .help = "a flag carried as I2"})
                .property(2, "Big", &Probe::big, &Probe::setBig)
                .property(3, "Text", &Probe::text, &Probe::setText)
                .readOnly(4, "Fixed", &Probe::big, {.runTimeOnly = true})
                .writeOnly(5, "Sink", &Probe::setSink, {.runTimeOnly = true})
                .property(6, "Live", &Probe::flag, &Probe::setFlag, {.runTimeOnly = true})
                .method(7, "Combine", &Probe::combine, {"a", "b", "out"})
                .method(8, "Fail", &Probe::failWith, {"how"})
                .property(9, "Hidden", &Probe::big, &Probe::setBig, {.hidden = true})
                .method(10, "Nothing", &Probe::nothing);
        return t;
    }

    int16_t small_ = 0;
    int32_t big_ = 0;
    std::u16string text_;
    Variant sink_;
    bool flag_ = false;
    int calls_ = 0;
    bool fireOnDestroy_ = false;

private:
    int16_t small() const { return small_; }
    void setSmall(int16_t v) { small_ = v; }
    int32_t big() const { return big_; }
    void setBig(int32_t v) {
        big_ = v;
        propertyWritten(2);
    }
    std::u16string text() const { return text_; }
    void setText(const std::u16string& v) { text_ = v; }
    void setSink(Variant v) { sink_ = std::move(v); }
    bool flag() const { return flag_; }
    void setFlag(bool v) { flag_ = v; }
    int32_t combine(int16_t a, const std::u16string& b, Variant& out) {
        out = Variant::bstr(b + u"!");
        return a * 2;
    }
    void failWith(int16_t how) {
        ++calls_;
        if (how == 1)
            throw ComponentError(55, "Port already open");
        if (how == 2)
            throw std::runtime_error("broken");
        if (how == 3)
            throw std::bad_alloc();
        if (how == 4)
            throw 42;
    }
    void nothing() { ++calls_; }

    bool* destroyed_;
};

const ControlDescription& probeDescription() {
    static const ControlDescription d{.members = &Probe::table()};
    return d;
}

class Site final : public ContainerSite {
public:
    bool userMode() override { return run; }
    void onPropertyChanged(int32_t dispid) override { changed.push_back(dispid); }
    void setModified() override { ++modified; }
    bool run = true;
    std::vector<int32_t> changed;
    int modified = 0;
};

class DispatchTableTest : public ::testing::Test {
protected:
    DispatchTableTest() : probe_(Ref<Probe>::adopt(new Probe)) { probe_->setSite(&site_); }
    ~DispatchTableTest() override { probe_->setSite(nullptr); }

    InvokeResult call(int32_t dispid, InvokeKind kind, std::vector<Variant> args = {},
                      Variant* result = nullptr) {
        return probe_->invoke(dispid, kind, args, result);
    }
    InvokeResult put(int32_t dispid, Variant v) {
        return call(dispid, InvokeKind::PropertyPut, {std::move(v)});
    }
    Variant get(int32_t dispid) {
        Variant v;
        InvokeResult r = call(dispid, InvokeKind::PropertyGet, {}, &v);
        EXPECT_TRUE(r.ok()) << r.description;
        return v;
    }

    Site site_;
    Ref<Probe> probe_;
};

TEST_F(DispatchTableTest, ConvertsArgumentsAsAutomationDoes) {
    EXPECT_TRUE(put(1, Variant::bstr(u" 12 ")).ok());
    EXPECT_EQ(probe_->small_, 12);
    EXPECT_TRUE(put(1, Variant::boolean(true)).ok());
    EXPECT_EQ(probe_->small_, -1);
    EXPECT_TRUE(put(1, Variant::i4(-32768)).ok());
    EXPECT_EQ(get(1), Variant::i2(-32768));

    InvokeResult over = put(1, Variant::i4(32768));
    EXPECT_EQ(over.code, kDispOverflow);
    EXPECT_EQ(over.number, 6);
    EXPECT_EQ(probe_->small_, -32768) << "a refused value must not be stored";

    InvokeResult mismatch = put(2, Variant::bytes({1, 2}));
    EXPECT_EQ(mismatch.code, kDispTypeMismatch);
    EXPECT_EQ(mismatch.number, 13);
    EXPECT_EQ(put(2, Variant::bstr(u"99999999999")).code, kDispTypeMismatch);

    EXPECT_TRUE(put(3, Variant::i4(-5)).ok());
    EXPECT_EQ(probe_->text_, u"-5");
    EXPECT_TRUE(put(3, Variant::boolean(false)).ok());
    EXPECT_EQ(probe_->text_, u"False");
    EXPECT_EQ(get(3), Variant::bstr(u"False"));
}

TEST_F(DispatchTableTest, ChecksCallShapeBeforeAccessBeforeDesignMode) {
    auto number = [](const InvokeResult& r) { return r.number; };
    EXPECT_EQ(number(call(99, InvokeKind::PropertyGet)), 438);
    EXPECT_EQ(call(99, InvokeKind::PropertyGet).code, kDispMemberNotFound);
    EXPECT_EQ(number(call(2, InvokeKind::Method)), 438);       // a property called as method
    EXPECT_EQ(number(call(10, InvokeKind::PropertyGet)), 438); // a method read as property
    EXPECT_EQ(number(call(2, InvokeKind::PropertyGet, {Variant::i2(1)})), 450);
    EXPECT_EQ(number(call(2, InvokeKind::PropertyPut)), 450);
    EXPECT_EQ(number(call(2, InvokeKind::PropertyPut, {Variant::i2(1), Variant::i2(2)})), 450);
    EXPECT_EQ(number(call(7, InvokeKind::Method, {Variant::i2(1)})), 450);

    site_.run = false; // design mode
    InvokeResult ro = put(4, Variant::i4(1));
    EXPECT_EQ(ro.number, 383) << "read-only is reported before design mode";
    EXPECT_EQ(ro.code, static_cast<int32_t>(0x800A017F));
    EXPECT_EQ(ro.description, "Property is read-only");
    InvokeResult wo = call(5, InvokeKind::PropertyGet);
    EXPECT_EQ(wo.number, 394);
    EXPECT_EQ(wo.code, static_cast<int32_t>(0x800A018A));

    for (InvokeResult r : {call(4, InvokeKind::PropertyGet), put(5, Variant::i2(1)),
                           put(6, Variant::boolean(true)), call(6, InvokeKind::PropertyGet)}) {
        EXPECT_EQ(r.number, 422);
        EXPECT_EQ(r.code, static_cast<int32_t>(0x800A01A6));
        EXPECT_EQ(r.description, "");
    }
    EXPECT_FALSE(probe_->flag_);
    EXPECT_TRUE(put(2, Variant::i4(7)).ok()) << "design-time properties work in design mode";

    site_.run = true;
    EXPECT_TRUE(put(6, Variant::boolean(true)).ok());
    EXPECT_TRUE(probe_->flag_);
    EXPECT_TRUE(put(5, Variant::bstr(u"data")).ok());
    EXPECT_EQ(probe_->sink_, Variant::bstr(u"data"));
}

TEST_F(DispatchTableTest, MemberFailuresBecomeResultsNeverExceptions) {
    InvokeResult control = call(8, InvokeKind::Method, {Variant::i2(1)});
    EXPECT_EQ(control.code, static_cast<int32_t>(0x800A0037));
    EXPECT_EQ(control.number, 55);
    EXPECT_EQ(control.description, "Port already open");

    InvokeResult plain = call(8, InvokeKind::Method, {Variant::i2(2)});
    EXPECT_EQ(plain.code, kUnexpected);
    EXPECT_NE(plain.description.find("broken"), std::string::npos);
    EXPECT_EQ(call(8, InvokeKind::Method, {Variant::i2(3)}).code, kOutOfMemory);
    EXPECT_EQ(call(8, InvokeKind::Method, {Variant::i2(4)}).code, kUnexpected);
    EXPECT_EQ(probe_->calls_, 4);

    // A refused argument stops the call before the member runs.
    EXPECT_EQ(call(8, InvokeKind::Method, {Variant::bytes({})}).code, kDispTypeMismatch);
    EXPECT_EQ(probe_->calls_, 4);
}

TEST_F(DispatchTableTest, HandsValuesBackThroughReferences) {
    Variant target;
    Variant result;
    std::vector<Variant> args{Variant::i2(21), Variant::bstr(u"hi"), Variant::byRef(&target)};
    ASSERT_TRUE(probe_->invoke(7, InvokeKind::Method, args, &result).ok());
    EXPECT_EQ(result, Variant::i4(42));
    EXPECT_EQ(target, Variant::bstr(u"hi!"));

    // Without a reference the value lands in the caller's argument array.
    std::vector<Variant> plain{Variant::i2(1), Variant::bstr(u"x"), Variant()};
    ASSERT_TRUE(probe_->invoke(7, InvokeKind::Method, plain, nullptr).ok());
    EXPECT_EQ(plain[2], Variant::bstr(u"x!"));

    // A reference as an input is read through.
    Variant twelve = Variant::i4(12);
    EXPECT_TRUE(put(2, Variant::byRef(&twelve)).ok());
    EXPECT_EQ(probe_->big_, 12);
    EXPECT_EQ(put(2, Variant::byRef(nullptr)).code, kDispTypeMismatch);
}

TEST_F(DispatchTableTest, FindsNamesWithoutRegardToCase) {
    int32_t id = 0;
    EXPECT_EQ(probe_->getIdsOfNames("combine", &id), kOk);
    EXPECT_EQ(id, 7);
    EXPECT_EQ(probe_->getIdsOfNames("HIDDEN", &id), kOk) << "hidden members are callable by name";
    EXPECT_EQ(id, 9);
    EXPECT_EQ(probe_->getIdsOfNames("Combin", &id), kDispUnknownName);
    EXPECT_EQ(probe_->getIdsOfNames("", &id), kDispUnknownName);
    EXPECT_EQ(probe_->getIdsOfNames("x", nullptr), kPointer);
}

TEST(DispatchTableDescribe, DescribesWhatTheTableHolds) {
    InterfaceInfo info = Probe::table().describe(Guid{}, "_DProbe", "probe");
    EXPECT_EQ(info.members.size(), 9u) << "the hidden member is left out";
    EXPECT_EQ(info.find(9), nullptr);
    const MemberInfo* small = info.find("SMALL");
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->type, VT_BOOL) << "the declared type wins over the C++ type";
    EXPECT_EQ(small->help, "a flag carried as I2");
    EXPECT_EQ(info.find(4)->access, Access::ReadOnly);
    EXPECT_TRUE(info.find(4)->runTimeOnly);
    EXPECT_EQ(info.find(5)->access, Access::WriteOnly);
    EXPECT_EQ(info.find(5)->type, VT_VARIANT);
    const MemberInfo* combine = info.find(7);
    ASSERT_EQ(combine->params.size(), 3u);
    EXPECT_EQ(combine->kind, MemberKind::Method);
    EXPECT_EQ(combine->type, VT_I4);
    EXPECT_EQ(combine->params[1].type, VT_BSTR);
    EXPECT_EQ(combine->params[2].type, VT_BYREF | VT_VARIANT);
    EXPECT_EQ(combine->params[2].name, "out");
    EXPECT_EQ(info.find(10)->type, VT_EMPTY);
    EXPECT_EQ(varTypeName(VT_BYREF | VT_VARIANT), "VARIANT*");
}

TEST(DispatchTableDescribe, RefusesADispidOrNameTwice) {
    struct Local : DispatchObject {
        Local() : DispatchObject(table(), nullptr) {}
        int32_t v() const { return 0; }
        static const DispatchTable<Local>& table() {
            static const DispatchTable<Local> t;
            return t;
        }
    };
    EXPECT_THROW(DispatchTable<Local>().readOnly(1, "A", &Local::v).readOnly(1, "B", &Local::v),
                 std::logic_error);
    EXPECT_THROW(DispatchTable<Local>().readOnly(1, "A", &Local::v).readOnly(2, "a", &Local::v),
                 std::logic_error);
}

TEST_F(DispatchTableTest, ControlTellsItsSiteAndKeepsItselfAlive) {
    EXPECT_TRUE(put(2, Variant::i4(3)).ok());
    EXPECT_EQ(site_.changed, std::vector<int32_t>{2});
    EXPECT_EQ(site_.modified, 1);
    EXPECT_TRUE(probe_->isModified());

    // Every interface leads to the same object and the same count.
    Ref<Control> control = Ref<Dispatch>(probe_.get()).query<Control>();
    Ref<ConnectionPoint> cp = control.query<ConnectionPoint>();
    ASSERT_TRUE(control && cp);
    EXPECT_EQ(cp.query<Dispatch>().get(), static_cast<Dispatch*>(probe_.get()));
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(probe_->queryInterface(Guid::literal("{00000000-0000-0000-0000-000000000001}"), &out),
              kNoInterface);
    EXPECT_EQ(out, nullptr);

    EXPECT_EQ(control->setExtent({0, 5}), kInvalidArg);
    EXPECT_EQ(control->setExtent({2540, 1270}), kOk);
    EXPECT_EQ(control->extent(), (Extent{2540, 1270}));

    bool destroyed = false;
    Probe* raw = new Probe(&destroyed);
    raw->addRef();
    EXPECT_EQ(raw->release(), 1u);
    EXPECT_FALSE(destroyed);
    raw->release();
    EXPECT_TRUE(destroyed);

    // An event fired from the destructor, whose handler calls back into the control,
    // must not start a second destruction.
    struct CallBack : EventSink {
        Probe* target = nullptr;
        int heard = 0;
        void onEvent(int32_t, std::span<const Variant>) override {
            ++heard;
            std::vector<Variant> none;
            Variant v;
            EXPECT_TRUE(target->invoke(2, InvokeKind::PropertyGet, none, &v).ok());
        }
    } sink;
    destroyed = false;
    Probe* dying = new Probe(&destroyed);
    sink.target = dying;
    uint32_t cookie = 0;
    ASSERT_EQ(dying->advise(&sink, &cookie), kOk);
    dying->fireOnDestroy_ = true;
    dying->release();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(sink.heard, 1);
}

} // namespace

// A host creating the test component through the registry that vortreg wrote: by
// CLSID and ProgID, calls by DISPID and name, errors, design mode, events, the site,
// persistence in both forms, type information, and loading/unloading the library.
#include <dlfcn.h>
#include <functional>
#include <gtest/gtest.h>

#include "platform/component/class_factory.h"
#include "platform/component/component_host.h"
#include "platform/component/component_test_env.h"
#include "platform/component/hosted_control.h"
#include "platform/component/registry_file.h"
#include "platform/component/test_component_ids.h"

using namespace vort::component;
using namespace vort_test;

namespace {

struct Site final : ContainerSite {
    bool userMode() override { return run; }
    void onPropertyChanged(int32_t dispid) override { changed.push_back(dispid); }
    void setModified() override { ++modified; }
    bool run = true;
    std::vector<int32_t> changed;
    int modified = 0;
};

struct Sink final : EventSink {
    std::vector<std::pair<int32_t, std::vector<Variant>>> heard;
    std::function<void()> onHear;
    void onEvent(int32_t dispid, std::span<const Variant> args) override {
        heard.emplace_back(dispid, std::vector<Variant>(args.begin(), args.end()));
        if (onHear)
            onHear();
    }
};

// Whether this process has the library mapped (RTLD_NOLOAD loads nothing).
bool mapped(const std::string& path) {
    void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h)
        ::dlclose(h);
    return h != nullptr;
}

class ComponentHostTest : public ::testing::Test {
protected:
    ComponentHostTest()
        : data_("XDG_DATA_HOME", dir_ / "data"),
          system_(kSystemRegistryVariable, dir_ / "etc/registry"),
          target_(kRegistryTargetVariable) {}

    void SetUp() override {
        ProcessResult r = runProcess(builtFile("vortreg"), {testComponentPath()});
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        char resolved[PATH_MAX];
        ASSERT_TRUE(::realpath(testComponentPath().c_str(), resolved));
        library_ = resolved;
    }

    // A control with an instance of every default, created by CLSID.
    HostedControl fresh(ContainerSite* site) {
        HostedControl c = host_.createControl(kClsidTestCtrl, site);
        c.initNew();
        return c;
    }

    ScratchDir dir_;
    ScopedEnv data_, system_, target_;
    std::string library_;
    ComponentHost host_;
    Site site_;
};

TEST_F(ComponentHostTest, CreatesByClsidAndByProgIdThroughTheRegistry) {
    EXPECT_FALSE(mapped(library_)) << "the test must not be linked with the component";
    HostedControl byClsid = fresh(&site_);
    EXPECT_TRUE(host_.isLoaded(library_));
    EXPECT_EQ(byClsid.proxy().getI2(kCount), 5);
    EXPECT_EQ(byClsid.proxy().getText(kCaption), u"Hello");

    HostedControl byProgId = host_.createControl("vorttest.testctrl.1", &site_);
    byProgId.initNew();
    byProgId.proxy().put("count", Variant::i2(9));
    EXPECT_EQ(byProgId.proxy().get("COUNT"), Variant::i2(9));
    EXPECT_EQ(byClsid.proxy().getI2(kCount), 5) << "two instances, two states";
    EXPECT_EQ(host_.clsidFromProgId(kProgIdTestCtrl), kClsidTestCtrl);

    Variant data;
    Variant got = byClsid.proxy().call(kFetch, {Variant::i2(3), Variant::byRef(&data)});
    EXPECT_EQ(got, Variant::i2(3));
    EXPECT_EQ(data, Variant::bytes({0, 1, 2}));
    EXPECT_EQ(byClsid.proxy().call("Add", {Variant::i2(-3), Variant::bstr(u"40")}),
              Variant::i4(37));

    // The second class is a plain dispatch object, not a control.
    Ref<Dispatch> helper = host_.create<Dispatch>(std::string_view(kProgIdHelper));
    ASSERT_TRUE(helper);
    DispatchProxy h(helper);
    EXPECT_EQ(h.getI4(kHelperValue), 7);
    EXPECT_EQ(h.call("Twice", {Variant::i4(21)}), Variant::i4(42));
    try {
        host_.createControl(kClsidHelper, &site_);
        ADD_FAILURE() << "a plain object was taken for a control";
    } catch (const HostError& e) {
        EXPECT_EQ(e.code(), kNoInterface);
    }
}

TEST_F(ComponentHostTest, ErrorsReachTheHostWithNumberAndDescription) {
    HostedControl c = fresh(&site_);
    const DispatchProxy& p = c.proxy();
    auto number = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const ComponentError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(number([&] { p.put(kStatus, Variant::i2(1)); }), 383);
    EXPECT_EQ(number([&] { p.get(kOutput); }), 394);
    EXPECT_EQ(number([&] { p.put(kLimit, Variant::i4(-1)); }), 380);
    EXPECT_EQ(number([&] { p.get("NoSuchThing"); }), 438);
    EXPECT_EQ(number([&] { p.call(kAdd, {Variant::i2(1)}); }), 450);
    EXPECT_EQ(number([&] { p.put(kCount, Variant::bstr(u"many")); }), 13);
    try {
        p.call(kRaise, {Variant::i2(68)});
        ADD_FAILURE();
    } catch (const ComponentError& e) {
        EXPECT_EQ(e.scode(), static_cast<int32_t>(0x800A0044));
        EXPECT_EQ(e.description(), "raised 68");
    }
    EXPECT_EQ(p.getI2(kStatus), 42);

    site_.run = false; // design mode: run-time-only members refuse, others work
    c.control().ambientPropertyChanged(kDispidAmbientUserMode);
    EXPECT_EQ(number([&] { p.get(kRunning); }), 422);
    EXPECT_EQ(number([&] { p.put(kRunning, Variant::boolean(true)); }), 422);
    EXPECT_EQ(number([&] { p.get(kStatus); }), 422);
    EXPECT_EQ(number([&] { p.put(kOutput, Variant::bstr(u"x")); }), 422);
    EXPECT_EQ(number([&] { p.put(kStatus, Variant::i2(1)); }), 383);
    EXPECT_EQ(p.getI2(kCount), 5);
    site_.run = true;
    p.put(kOutput, Variant::bstr(u"x"));
    EXPECT_EQ(p.get(kLastOutput), Variant::bstr(u"x"));
}

TEST_F(ComponentHostTest, EventsReachEverySinkUntilUnadvisedOrFrozen) {
    HostedControl c = fresh(&site_);
    Sink a, b;
    uint32_t ca = c.advise(a);
    c.advise(b);
    c.proxy().call(kFire, {Variant::i2(7)});
    for (Sink* s : {&a, &b}) {
        ASSERT_EQ(s->heard.size(), 2u);
        EXPECT_EQ(s->heard[0].first, kEventChanged);
        EXPECT_EQ(s->heard[0].second, std::vector<Variant>{Variant::i2(7)});
        EXPECT_EQ(s->heard[1].first, kEventPing);
        EXPECT_TRUE(s->heard[1].second.empty());
    }
    c.unadvise(ca);
    c.proxy().call(kFire, {Variant::i2(8)});
    EXPECT_EQ(a.heard.size(), 2u);
    EXPECT_EQ(b.heard.size(), 4u);
    c.control().freezeEvents(true);
    c.proxy().call(kFire, {Variant::i2(9)});
    c.control().freezeEvents(false);
    EXPECT_EQ(b.heard.size(), 4u) << "frozen events are dropped";
    ASSERT_NE(c.eventInfo(), nullptr);
    EXPECT_EQ(c.eventInfo()->find(kEventChanged)->params[0].name, "Code");

    // A handler that lets go of the control while it is firing.
    b.onHear = [&] { c.reset(); };
    std::vector<Variant> args{Variant::i2(1)};
    Ref<Dispatch> d(&c.dispatch());
    Dispatch* raw = d.get();
    d.reset(); // now only the HostedControl holds it
    EXPECT_TRUE(raw->invoke(kFire, InvokeKind::Method, args, nullptr).ok());
    EXPECT_FALSE(c);
}

TEST_F(ComponentHostTest, SiteHearsWritesAndTheModifiedState) {
    HostedControl c = fresh(&site_);
    EXPECT_FALSE(c.control().isModified());
    EXPECT_EQ(site_.modified, 0) << "taking the defaults is not a modification";
    c.proxy().put(kCaption, Variant::bstr(u"new"));
    EXPECT_EQ(site_.changed, std::vector<int32_t>{kCaption});
    EXPECT_EQ(site_.modified, 1);
    EXPECT_TRUE(c.control().isModified());
    std::string bag = c.saveText(false);
    EXPECT_TRUE(c.control().isModified()) << "a copy is not a save";
    c.saveText(true);
    EXPECT_FALSE(c.control().isModified());
    site_.modified = 0;
    ASSERT_TRUE(c.loadText(bag).ok());
    EXPECT_FALSE(c.control().isModified());
    EXPECT_EQ(site_.modified, 0) << "loading is not a modification";
}

TEST_F(ComponentHostTest, PersistenceRoundTripsEveryTypeInBothForms) {
    HostedControl c = fresh(&site_);
    const DispatchProxy& p = c.proxy();
    p.put(kCount, Variant::i2(-32768));
    p.put(kLimit, Variant::i4(INT32_MAX));
    p.put(kEnabled, Variant::boolean(false));
    std::u16string caption = u"a \"b\" \\c\n\t\u00e9\u20ac\U0001F600";
    caption += char16_t(0xDFFF);
    p.put(kCaption, Variant::bstr(caption));
    p.put(kNote, Variant::bstr(u""));
    ASSERT_EQ(c.control().setExtent({4233, 17}), kOk);

    std::string bag = c.saveText();
    std::vector<uint8_t> stream = c.saveStream();
    EXPECT_EQ(bag.rfind("_Version = 3.1\n_ExtentX = 4233\n_ExtentY = 17\nCount = -32768\n", 0), 0u)
        << bag;
    for (int form = 0; form < 2; ++form) {
        HostedControl d = host_.createControl(kClsidTestCtrl, &site_);
        LoadResult r = form == 0 ? d.loadText(bag) : d.loadStream(stream);
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(d.proxy().getI2(kCount), -32768);
        EXPECT_EQ(d.proxy().getI4(kLimit), INT32_MAX);
        EXPECT_FALSE(d.proxy().getBool(kEnabled));
        EXPECT_EQ(d.proxy().getText(kCaption), caption);
        EXPECT_EQ(d.proxy().getText(kNote), u"");
        EXPECT_EQ(d.control().extent(), (Extent{4233, 17}));
    }

    // A property the control stores only in some modes is absent and empty after load.
    p.put(kMode, Variant::i2(3));
    p.put(kNote, Variant::bstr(u"not kept"));
    bag = c.saveText();
    EXPECT_EQ(bag.find("Note"), std::string::npos);
    HostedControl d = fresh(&site_);
    ASSERT_TRUE(d.loadStream(c.saveStream()).ok());
    EXPECT_EQ(d.proxy().getText(kNote), u"");
    ASSERT_TRUE(d.loadText(bag).ok());
    EXPECT_EQ(d.proxy().getText(kNote), u"");
}

TEST_F(ComponentHostTest, DamagedStoresGiveAClearErrorAndEveryDefault) {
    HostedControl good = fresh(&site_);
    good.proxy().put(kCaption, Variant::bstr(u"saved"));
    std::vector<uint8_t> stream = good.saveStream();

    struct Case {
        std::function<LoadResult(HostedControl&)> load;
        const char* says;
    } cases[] = {
        {[](HostedControl& c) { return c.loadText("Caption = \"x\"\nCount = 70000\n"); }, "Count"},
        {[](HostedControl& c) { return c.loadText("Caption = \"unterminated\n"); }, "line 1"},
        {[](HostedControl& c) { return c.loadText("\x01\x02garbage"); }, "line 1"},
        {[&](HostedControl& c) { return c.loadStream(std::span(stream).first(stream.size() - 3)); },
         "cut short"},
        {[](HostedControl& c) {
             return c.loadStream(std::vector<uint8_t>{'V', 'P'});
         },
         "header"},
        {[&](HostedControl& c) {
             std::vector<uint8_t> wrong = stream;
             wrong[15] = 5; // the first extent item claims to be a text
             return c.loadStream(wrong);
         },
         "_ExtentX"},
    };
    for (Case& k : cases) {
        HostedControl c = fresh(&site_);
        c.proxy().put(kCaption, Variant::bstr(u"before"));
        c.proxy().put(kCount, Variant::i2(1));
        ASSERT_EQ(c.control().setExtent({1, 1}), kOk);
        LoadResult r = k.load(c);
        EXPECT_EQ(r.code, kInvalidData);
        EXPECT_NE(r.error.find(k.says), std::string::npos) << r.error;
        EXPECT_EQ(c.proxy().getText(kCaption), u"Hello") << r.error;
        EXPECT_EQ(c.proxy().getI2(kCount), 5);
        EXPECT_EQ(c.control().extent(), Extent{});
    }
    // An empty bag is a design that keeps every default; unknown names are ignored.
    HostedControl e = fresh(&site_);
    EXPECT_TRUE(e.loadText("").ok());
    EXPECT_TRUE(e.loadText("FutureProperty = 1\n").ok());
    EXPECT_EQ(e.proxy().getI4(kLimit), 100000);
}

TEST_F(ComponentHostTest, TypeInformationAndPropertyBrowserLists) {
    HostedControl c = fresh(&site_);
    const InterfaceInfo* info = c.dispatch().typeInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->name, "_DTest");
    EXPECT_EQ(info->find("Secret"), nullptr) << "hidden from the type information";
    EXPECT_EQ(c.proxy().getText(kSecret), u"s") << "yet callable";
    EXPECT_EQ(info->find(kCount)->enumName, "TEST_COUNTS");
    EXPECT_EQ(info->find(kCount)->help, "Counts things");
    const TypeLibrary* lib = c.control().typeLibrary();
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(lib->findEnum("test_counts")->find("COUNT_TWO")->value, 2);
    EXPECT_EQ(lib->findCoclass(kClsidTestCtrl)->defaultSource, kIidTestEvents);

    const PropertyBrowserList* list = c.control().browserList(kCount);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->entries.size(), 3u);
    std::u16string shown;
    c.proxy().put(kCount, Variant::i2(1));
    EXPECT_EQ(c.control().displayString(kCount, &shown), kOk);
    EXPECT_EQ(shown, u"1 - One");
    c.proxy().put(kCount, Variant::i2(9));
    EXPECT_EQ(c.control().displayString(kCount, &shown), kOk);
    EXPECT_EQ(shown, u"0 - Zero") << "a value off the list shows the fallback entry";
    EXPECT_EQ(c.control().displayString(kLimit, &shown), kDispMemberNotFound);
    EXPECT_EQ(c.control().propertyPages(), std::vector<Guid>{kClsidHelper});
}

TEST_F(ComponentHostTest, TheLibraryUnloadsOnlyWhenNothingOfItLives) {
    {
        HostedControl c = fresh(&site_);
        EXPECT_EQ(host_.unloadUnused(), 0u);
        EXPECT_TRUE(mapped(library_));
    }
    EXPECT_EQ(host_.unloadUnused(), 1u);
    EXPECT_FALSE(host_.isLoaded(library_));
    EXPECT_FALSE(mapped(library_));
    // And it comes back on the next create.
    HostedControl again = fresh(&site_);
    EXPECT_EQ(again.proxy().getI2(kCount), 5);
}

TEST_F(ComponentHostTest, ExportsKeepTheirContract) {
    void* h = ::dlopen(library_.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr);
    auto get = reinterpret_cast<DllGetClassObjectFn>(::dlsym(h, kDllGetClassObject));
    auto canUnload = reinterpret_cast<DllCanUnloadNowFn>(::dlsym(h, kDllCanUnloadNow));
    ASSERT_TRUE(get && canUnload);
    EXPECT_EQ(canUnload(), kOk);
    void* out = nullptr;
    Guid unknownClass = kLibidTest;
    EXPECT_EQ(get(&unknownClass, &ClassFactory::kIid, &out), kClassNotAvailable);
    EXPECT_EQ(get(nullptr, &ClassFactory::kIid, &out), kPointer);
    EXPECT_EQ(get(&kClsidTestCtrl, &Dispatch::kIid, &out), kNoInterface);
    EXPECT_EQ(out, nullptr);

    ASSERT_EQ(get(&kClsidTestCtrl, &ClassFactory::kIid, &out), kOk);
    auto* factory = static_cast<ClassFactory*>(out);
    EXPECT_EQ(canUnload(), kFalse) << "a live factory keeps the library";
    factory->lockServer(true);
    factory->release();
    EXPECT_EQ(canUnload(), kFalse) << "a server lock keeps the library";
    ASSERT_EQ(get(&kClsidTestCtrl, &Unknown::kIid, &out), kOk);
    auto* unknownFactory = static_cast<Unknown*>(out);
    Ref<ClassFactory> f = Ref<Unknown>::adopt(unknownFactory).query<ClassFactory>();
    ASSERT_TRUE(f);
    f->lockServer(false);
    void* instance = nullptr;
    EXPECT_EQ(f->createInstance(ClassFactory::kIid, &instance), kNoInterface);
    ASSERT_EQ(f->createInstance(Control::kIid, &instance), kOk);
    f.reset();
    EXPECT_EQ(canUnload(), kFalse) << "a live object keeps the library";
    static_cast<Control*>(instance)->release();
    EXPECT_EQ(canUnload(), kOk);
    ::dlclose(h);
}

TEST_F(ComponentHostTest, UnregisteredOrBrokenEntriesGiveClearErrors) {
    auto failure = [&](const std::function<void()>& f) -> std::pair<int32_t, std::string> {
        try {
            f();
        } catch (const HostError& e) {
            return {e.code(), e.what()};
        }
        return {0, "no error"};
    };
    constexpr Guid kNowhere = Guid::literal("{1DAA9027-1238-484B-B44E-0CB9ED42252B}");
    auto [code, what] = failure([&] { host_.create<Unknown>(kNowhere); });
    EXPECT_EQ(code, kClassNotRegistered);
    EXPECT_NE(what.find("class {1DAA9027-1238-484B-B44E-0CB9ED42252B} is not registered"),
              std::string::npos)
        << what;
    EXPECT_NE(what.find("vortreg"), std::string::npos);
    std::tie(code, what) = failure([&] { host_.createControl("No.Such.1", &site_); });
    EXPECT_EQ(code, kClassNotRegistered);
    EXPECT_NE(what.find("ProgID \"No.Such.1\" is not registered"), std::string::npos) << what;

    // Entries that point at a missing library and at one that is not a component.
    std::string user = userRegistryPath();
    updateRegistryFile(user, [&](RegistryData& d) {
        ClassRecord missing;
        missing.clsid = kNowhere;
        missing.library = dir_ / "gone.so";
        d.putClass(missing);
        ClassRecord plain;
        plain.clsid = kIidTestEvents;
        plain.library = notComponentPath();
        d.putClass(plain);
    });
    std::tie(code, what) = failure([&] { host_.create<Unknown>(kNowhere); });
    EXPECT_EQ(code, kModuleNotFound);
    EXPECT_NE(what.find("gone.so cannot be loaded: "), std::string::npos) << what;
    std::tie(code, what) = failure([&] { host_.create<Unknown>(kIidTestEvents); });
    EXPECT_EQ(code, kProcNotFound);
    EXPECT_NE(what.find("is not a component library: it has no DllGetClassObject"),
              std::string::npos)
        << what;

    // A damaged registry file.
    std::string whole = readFile(user);
    writeFile(user, whole.substr(0, whole.size() / 2));
    std::tie(code, what) = failure([&] { host_.create<Unknown>(kClsidTestCtrl); });
    EXPECT_EQ(code, kRegistryUnreadable);
    EXPECT_NE(what.find("is damaged"), std::string::npos) << what;
}

} // namespace

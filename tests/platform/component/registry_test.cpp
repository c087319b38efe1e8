#include <gtest/gtest.h>

#include "platform/component/component_test_env.h"
#include "platform/component/registry.h"
#include "platform/component/registry_file.h"

using namespace vort::component;
using vort_test::ScopedEnv;
using vort_test::ScratchDir;

namespace {

constexpr Guid kA = Guid::literal("{0B32E240-87DD-4C0F-9ADA-89597B4608F1}");
constexpr Guid kB = Guid::literal("{2D6F2B50-CB73-4FC9-88FC-B7FD0A61416D}");

ClassRecord record(const Guid& clsid, const std::string& progId, const std::string& library) {
    ClassRecord c;
    c.clsid = clsid;
    c.progId = progId;
    c.library = library;
    return c;
}

TEST(Registry, PathsFollowTheEnvironment) {
    {
        ScopedEnv data("XDG_DATA_HOME", "/xdg/data");
        ScopedEnv home("HOME", "/home/u");
        EXPECT_EQ(userRegistryPath(), "/xdg/data/vort/registry");
        ScopedEnv relative("XDG_DATA_HOME", "relative/data");
        EXPECT_EQ(userRegistryPath(), "/home/u/.local/share/vort/registry");
    }
    {
        ScopedEnv data("XDG_DATA_HOME");
        ScopedEnv home("HOME", "/home/v");
        EXPECT_EQ(userRegistryPath(), "/home/v/.local/share/vort/registry");
        ScopedEnv target(kRegistryTargetVariable);
        EXPECT_EQ(registrationTargetPath(), userRegistryPath());
        ScopedEnv target2(kRegistryTargetVariable, "/elsewhere/registry");
        EXPECT_EQ(registrationTargetPath(), "/elsewhere/registry");
    }
    ScopedEnv sys(kSystemRegistryVariable);
    EXPECT_EQ(systemRegistryPath(), "/etc/vort/registry");
    ScopedEnv sys2(kSystemRegistryVariable, "/staged/etc/vort/registry");
    EXPECT_EQ(systemRegistryPath(), "/staged/etc/vort/registry");
}

TEST(Registry, ThePerUserFileComesFirst) {
    ScratchDir dir;
    std::string user = dir / "user", system = dir / "system";
    RegistryData u, s;
    u.putClass(record(kA, "Thing.A.1", "/user/a.so"));
    s.putClass(record(kA, "Thing.A.1", "/system/a.so"));
    s.putClass(record(kB, "Thing.B.1", "/system/b.so"));
    s.putProgId({"Thing.B.1", kB});
    writeRegistryFile(user, u);
    writeRegistryFile(system, s);

    Registry registry({user, system});
    std::optional<FoundClass> a = registry.findClass(kA);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->record.library, "/user/a.so");
    EXPECT_EQ(a->registryFile, user);
    EXPECT_EQ(registry.findClass(kB)->record.library, "/system/b.so");
    EXPECT_FALSE(registry.findClass(Guid{}));
    // A ProgID entry, or failing that a class entry carrying the ProgID.
    EXPECT_EQ(registry.findProgId("thing.b.1"), kB);
    EXPECT_EQ(registry.findProgId("Thing.A.1"), kA);
    EXPECT_FALSE(registry.findProgId("Thing.C.1"));
    EXPECT_EQ(registry.allClasses().size(), 3u);
}

TEST(Registry, ADamagedFileIsReportedNotSkipped) {
    ScratchDir dir;
    std::string user = dir / "user", system = dir / "system";
    vort_test::writeFile(user, "vort-registry 1\n[class {broken\n");
    RegistryData s;
    s.putClass(record(kA, "", "/system/a.so"));
    writeRegistryFile(system, s);
    Registry registry({user, system});
    // The damaged per-user file might hold the entry that should win: say so.
    EXPECT_THROW(registry.findClass(kA), RegistryError);
    std::vector<std::string> errors;
    std::vector<FoundClass> all = registry.allClasses(&errors);
    EXPECT_EQ(all.size(), 1u) << "what can be read is still listed";
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find(user), std::string::npos);
}

} // namespace

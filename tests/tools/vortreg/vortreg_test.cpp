// vortreg as a user meets it: exit codes, messages, --list, -u, --system, and the
// failures it must report rather than hide.
#include <climits>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

#include "platform/component/component_test_env.h"
#include "platform/component/registry.h"
#include "platform/component/registry_file.h"
#include "platform/component/test_component_ids.h"

using namespace vort::component;
using namespace vort_test;

namespace {

std::string real(const std::string& path) {
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) ? buf : path;
}

class VortregTest : public ::testing::Test {
protected:
    VortregTest()
        : data_("XDG_DATA_HOME", dir_ / "data"),
          system_(kSystemRegistryVariable, dir_ / "etc/vort/registry"),
          target_(kRegistryTargetVariable) {}

    ProcessResult vortreg(std::vector<std::string> args) {
        return runProcess(builtFile("vortreg"), args);
    }
    std::vector<std::vector<std::string>> listed() {
        ProcessResult r = vortreg({"--list"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::vector<std::vector<std::string>> rows;
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> cols;
            std::istringstream fields(line);
            for (std::string f; std::getline(fields, f, '\t');)
                cols.push_back(f);
            rows.push_back(cols);
        }
        return rows;
    }

    ScratchDir dir_;
    ScopedEnv data_, system_, target_;
};

TEST_F(VortregTest, RegistersListsAndUnregisters) {
    ProcessResult r = vortreg({testComponentPath()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string user = userRegistryPath();
    EXPECT_NE(r.out.find("registered " + real(testComponentPath()) + " in " + user),
              std::string::npos)
        << r.out;

    auto rows = listed();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0],
              (std::vector<std::string>{kClsidTestCtrl.format(), kProgIdTestCtrl,
                                        "Vort Test Control", real(testComponentPath()), "user"}));
    EXPECT_EQ(rows[1][1], kProgIdHelper);

    // What the library registered, in full.
    RegistryData d = readRegistryFile(user);
    const ClassRecord* c = d.findClass(kClsidTestCtrl);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->miscStatus, 0x20591u);
    EXPECT_TRUE(c->insertable);
    EXPECT_EQ(c->toolboxBitmap, 1);
    EXPECT_EQ(c->threading, ThreadingModel::Apartment);
    EXPECT_EQ(c->typeLib, kLibidTest);
    EXPECT_EQ(c->typeLibMajor, 3);
    EXPECT_EQ(c->typeLibMinor, 1);
    EXPECT_TRUE(d.findClass(kClsidHelper)->typeLib.isNull());
    EXPECT_EQ(d.findProgId(kProgIdHelper)->clsid, kClsidHelper);
    const TypeLibRecord* t = d.findTypeLib(kLibidTest, 3, 1);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->name, "VortTestLib");
    std::string libDir = real(testComponentPath());
    libDir = libDir.substr(0, libDir.rfind('/'));
    EXPECT_EQ(t->helpFile, libDir + "/vorttest.hlp")
        << "a relative help file sits beside the library";

    // Registering again changes nothing; unregistering removes everything.
    ASSERT_EQ(vortreg({testComponentPath()}).exitCode, 0);
    EXPECT_EQ(readRegistryFile(user), d);
    r = vortreg({"-u", testComponentPath()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("unregistered"), std::string::npos);
    EXPECT_TRUE(readRegistryFile(user).empty());
    EXPECT_TRUE(listed().empty());
    EXPECT_EQ(vortreg({"-u", testComponentPath()}).exitCode, 0) << "unregistering twice is fine";
}

TEST_F(VortregTest, SystemRegistryIsWrittenOnRequestAndReadSecond) {
    ASSERT_EQ(vortreg({"--system", testComponentPath()}).exitCode, 0);
    EXPECT_FALSE(fileExists(userRegistryPath()));
    auto rows = listed();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][4], "system");
    ASSERT_EQ(vortreg({testComponentPath()}).exitCode, 0);
    rows = listed();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][4], "user") << "the per-user registry is listed first";
    EXPECT_EQ(rows[3][4], "system");
    ASSERT_EQ(vortreg({"--system", "-u", testComponentPath()}).exitCode, 0);
    EXPECT_EQ(listed().size(), 2u);
}

TEST_F(VortregTest, FailuresHaveTheirOwnExitStatusAndSayWhy) {
    ProcessResult r = vortreg({});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("no library given"), std::string::npos);
    EXPECT_EQ(vortreg({"--bogus", testComponentPath()}).exitCode, 2);
    EXPECT_EQ(vortreg({testComponentPath(), testComponentPath()}).exitCode, 2);
    EXPECT_EQ(vortreg({"--list", testComponentPath()}).exitCode, 2);
    EXPECT_EQ(vortreg({"--help"}).exitCode, 0);

    r = vortreg({dir_ / "missing.so"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("missing.so not found"), std::string::npos) << r.err;
    writeFile(dir_ / "junk.so", "not an ELF file");
    r = vortreg({dir_ / "junk.so"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("cannot be loaded"), std::string::npos) << r.err;
    r = vortreg({notComponentPath()});
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_NE(r.err.find("is not a component library: it has no DllRegisterServer"),
              std::string::npos)
        << r.err;
}

TEST_F(VortregTest, AFailedClassStepReportsItsCodeAndKeepsEarlierEntries) {
    ProcessResult r = vortreg({badComponentPath()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("0x80040201 (class registration failed)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("is not a valid ProgID"), std::string::npos) << r.err;
    // The type library and the first class stay, the file is sound.
    RegistryData d = readRegistryFile(userRegistryPath());
    EXPECT_NE(d.findTypeLib(kLibidTest, 3, 1), nullptr);
    EXPECT_NE(d.findClass(kClsidTestCtrl), nullptr);
    EXPECT_EQ(d.findClass(kClsidHelper), nullptr);
}

TEST_F(VortregTest, AnUnwritableOrDamagedRegistryIsReportedAndLeftAlone) {
    // The registry's directory would have to be made below a plain file.
    writeFile(dir_ / "blocker", "x");
    {
        ScopedEnv target(kRegistryTargetVariable, dir_ / "blocker/vort/registry");
        ProcessResult r = vortreg({testComponentPath()});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("0x80040200 (type library registration failed)"), std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("cannot be written"), std::string::npos) << r.err;
    }
    // A damaged per-user registry: registering must not replace it, listing says so
    // and still lists the system registry.
    ASSERT_EQ(vortreg({"--system", testComponentPath()}).exitCode, 0);
    std::string user = userRegistryPath();
    std::filesystem::create_directories(user.substr(0, user.rfind('/')));
    writeFile(user, "vort-registry 1\n[class {");
    ProcessResult r = vortreg({testComponentPath()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("is damaged: line 2"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(user), "vort-registry 1\n[class {");
    r = vortreg({"--list"});
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_NE(r.err.find("is damaged"), std::string::npos);
    EXPECT_NE(r.out.find(kProgIdTestCtrl), std::string::npos) << "the sound registry is listed";
}

} // namespace

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/component/component_test_env.h"
#include "platform/component/registry_file.h"
#include "support/non_regular_files.h"

using namespace vort::component;
using vort_test::ScratchDir;

namespace {

constexpr Guid kA = Guid::literal("{AF215C2E-0D3E-4745-AC0C-1A1693DF4864}");
constexpr Guid kB = Guid::literal("{D602FEAF-BC4C-4BAF-B957-9CB80DC62105}");
constexpr Guid kLib = Guid::literal("{6E790BE3-866D-445A-80EA-5824FE5F3C6E}");

RegistryData sample() {
    RegistryData d;
    ClassRecord c;
    c.clsid = kA;
    c.progId = "Vendor.Thing.1";
    c.typeName = "Thing \"Control\" \xC3\xA9";
    c.library = "/opt/odd dir/\xFF\x01lib.so";
    c.threading = ThreadingModel::Both;
    c.miscStatus = 0x20591;
    c.insertable = true;
    c.toolboxBitmap = -1;
    c.typeLib = kLib;
    c.typeLibMajor = 2;
    c.typeLibMinor = 7;
    d.putClass(c);
    ClassRecord bare;
    bare.clsid = kB;
    bare.library = "/lib/b.so";
    d.putClass(bare);
    d.putProgId({"Vendor.Thing.1", kA});
    d.putTypeLib({kLib, 2, 7, "ThingLib", "help\nme", "/opt/t.hlp", "/opt/lib.so"});
    return d;
}

TEST(RegistryFile, EntriesRoundTripThroughTheText) {
    RegistryData d = sample();
    std::string text = formatRegistry(d);
    EXPECT_EQ(parseRegistry(text, "t"), d) << text;
    EXPECT_EQ(parseRegistry("", "t"), RegistryData{});
    EXPECT_EQ(parseRegistry("# only a comment\n", "t"), RegistryData{});
    EXPECT_NE(
        text.find("[class {AF215C2E-0D3E-4745-AC0C-1A1693DF4864}]\nprogid = Vendor.Thing.1\n"),
        std::string::npos);
}

TEST(RegistryFile, PutReplacesByKeyAndRemoveTakesOnlyItsOwn) {
    RegistryData d = sample();
    ClassRecord c = *d.findClass(kA);
    c.typeName = "renamed";
    d.putClass(c);
    EXPECT_EQ(d.classes().size(), 2u);
    EXPECT_EQ(d.findClass(kA)->typeName, "renamed");
    EXPECT_EQ(d.findProgId("VENDOR.thing.1")->clsid, kA) << "ProgIDs ignore case";
    EXPECT_EQ(d.removeProgIdsOf(kB), 0u);
    EXPECT_EQ(d.removeProgIdsOf(kA), 1u);
    EXPECT_TRUE(d.removeClass(kA));
    EXPECT_FALSE(d.removeClass(kA));
    EXPECT_FALSE(d.removeTypeLib(kLib, 2, 8));
    EXPECT_TRUE(d.removeTypeLib(kLib, 2, 7));
    EXPECT_NE(d.findClass(kB), nullptr);

    ClassRecord rel;
    rel.clsid = kA;
    rel.library = "relative/lib.so";
    EXPECT_THROW(d.putClass(rel), RegistryError);
    rel.library = "/abs.so";
    for (const char* bad :
         {"1Thing", "Thing Space", "Thing-Dash", "A234567890123456789012345678901234567890"}) {
        rel.progId = bad;
        EXPECT_THROW(d.putClass(rel), RegistryError) << bad;
    }
    EXPECT_THROW(d.putProgId({"Ok.Name", Guid{}}), RegistryError);
}

TEST(RegistryFile, DamageNamesTheFileAndLineAndNeverGuesses) {
    std::string good = formatRegistry(sample());
    struct Case {
        std::string text;
        const char* says;
    } cases[] = {
        {"garbage\n", "line 1: not a component registry"},
        {good.substr(0, good.rfind("end")), "cut short"},
        {good.substr(0, good.size() / 2), ""},
        {good + "more\n", "text after \"end\""},
        {"vort-registry 1\nprogid = X\nend\n", "outside any section"},
        {"vort-registry 1\n[widget x]\nend\n", "unknown section"},
        {"vort-registry 1\n[class {bad}]\nend\n", "is not a GUID"},
        {"vort-registry 1\n[class " + kA.format() + "]\nend\n", "has no library"},
        {"vort-registry 1\n[class " + kA.format() + "\nend\n", "must end with ']'"},
        {"vort-registry 1\n[class " + kA.format() + "]\nlibrary = /x.so\nend\n", "must be quoted"},
        {"vort-registry 1\n[class " + kA.format() + "]\nlibrary = \"x.so\"\nend\n",
         "not an absolute path"},
        {"vort-registry 1\n[class " + kA.format() + "]\nlibrary = \"/x.so\"\ncolour = red\nend\n",
         "unknown key"},
        {"vort-registry 1\n[class " + kA.format() +
             "]\nlibrary = \"/x.so\"\nlibrary = \"/y.so\"\nend\n",
         "given twice"},
        {"vort-registry 1\n[class " + kA.format() +
             "]\nlibrary = \"/x.so\"\nmiscstatus = 0xZZ\nend\n",
         "not a 32-bit number"},
        {"vort-registry 1\n[class " + kA.format() +
             "]\nlibrary = \"/x.so\"\nthreading = sometimes\nend\n",
         "threading model"},
        {"vort-registry 1\n[class " + kA.format() + "]\nlibrary = \"/x.so\"\n[class " +
             kA.format() + "]\nlibrary = \"/x.so\"\nend\n",
         "line 4: the class is registered twice"},
        {"vort-registry 1\n[progid 9bad]\nend\n", "not a valid ProgID"},
        {"vort-registry 1\n[typelib " + kLib.format() + " 2]\nend\n", "not a version"},
        {"vort-registry 1\n[typelib " + kLib.format() + " 2.7]\nname = \"x\"\nend\n",
         "has no library"},
        {std::string("vort-registry 1\0\nend\n", 21), "NUL"},
    };
    for (const Case& c : cases) {
        try {
            parseRegistry(c.text, "/some/registry");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const RegistryError& e) {
            std::string what = e.what();
            EXPECT_EQ(what.rfind("registry file /some/registry is damaged: line ", 0), 0u) << what;
            EXPECT_NE(what.find(c.says), std::string::npos) << c.text << " -> " << what;
        }
    }
}

TEST(RegistryFile, WritesAtomicallyAndRefusesToOverwriteDamage) {
    ScratchDir dir;
    std::string path = dir / "a/b/registry";
    EXPECT_EQ(readRegistryFile(path), RegistryData{}) << "no file is an empty registry";
    writeRegistryFile(path, sample());
    EXPECT_EQ(readRegistryFile(path), sample());
    // Nothing but the registry (and no temporary) is left behind.
    EXPECT_EQ(vort_test::runProcess("/bin/ls", {"-A", dir / "a/b"}).out, "registry\n");

    updateRegistryFile(path, [](RegistryData& d) { d.removeClass(kB); });
    EXPECT_EQ(readRegistryFile(path).classes().size(), 1u);

    // A change that throws writes nothing.
    std::string before = vort_test::readFile(path);
    EXPECT_THROW(updateRegistryFile(path,
                                    [](RegistryData& d) {
                                        d.removeClass(kA);
                                        throw RegistryError("abandoned");
                                    }),
                 RegistryError);
    EXPECT_EQ(vort_test::readFile(path), before);

    // A damaged file is left exactly as it is.
    vort_test::writeFile(path, before.substr(0, before.size() - 5));
    std::string damaged = vort_test::readFile(path);
    EXPECT_THROW(updateRegistryFile(path, [](RegistryData& d) { d.removeClass(kA); }),
                 RegistryError);
    EXPECT_EQ(vort_test::readFile(path), damaged);

    // Removing from a registry that does not exist creates nothing.
    std::string none = dir / "none/registry";
    updateRegistryFile(none, [](RegistryData& d) { d.removeClass(kA); });
    EXPECT_FALSE(vort_test::fileExists(dir / "none"));

    // A directory that cannot be made is a clear error.
    vort_test::writeFile(dir / "plainfile", "x");
    try {
        writeRegistryFile(dir / "plainfile/registry", sample());
        ADD_FAILURE() << "wrote below a plain file";
    } catch (const RegistryError& e) {
        EXPECT_NE(std::string(e.what()).find("cannot be written"), std::string::npos) << e.what();
    }
}

TEST(RegistryFile, ConcurrentUpdatesLoseNothing) {
    ScratchDir dir;
    std::string path = dir / "registry";
    constexpr int kProcesses = 4, kEach = 15;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = ::fork();
        if (pid == 0) {
            int rc = 0;
            for (int i = 0; i < kEach; ++i) {
                try {
                    updateRegistryFile(path, [&](RegistryData& d) {
                        ClassRecord c;
                        c.clsid.data1 = static_cast<uint32_t>(p * 1000 + i + 1);
                        c.library = "/lib/x.so";
                        d.putClass(c);
                    });
                } catch (...) {
                    rc = 1;
                }
            }
            ::_exit(rc);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(readRegistryFile(path).classes().size(), size_t{kProcesses * kEach});
}

TEST(RegistryFile, AFifoIsRefusedAtOnceAndALinkedPrivateRegistryStaysSo) {
    ScratchDir dir;
    const std::string fifo = dir / "fifo-registry";
    vort::test::makeFifo(fifo);
    std::string why;
    EXPECT_TRUE(vort::test::endsWithoutBlocking(fifo, [&] {
        try {
            updateRegistryFile(fifo, [](RegistryData& d) { d.putClass(sample().classes()[0]); });
        } catch (const RegistryError& e) {
            why = e.what();
        }
    }));
    EXPECT_EQ(why,
              "registry file " + fifo + " cannot be read: a FIFO (named pipe), not a regular file");
    EXPECT_TRUE(vort::test::isFifo(fifo));

    // A registry kept elsewhere through a link, readable by its owner only.
    const std::string target = dir / "private-registry";
    writeRegistryFile(target, RegistryData{});
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    const std::string link = dir / "registry";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    updateRegistryFile(link, [](RegistryData& d) { d = sample(); });
    EXPECT_TRUE(vort::test::isSymlink(link));
    EXPECT_EQ(readRegistryFile(target), sample());
    EXPECT_EQ(vort::test::permissionsOf(target), 0600);
}

} // namespace

#include "tcu_fixture.h"

#include <QApplication>
#include <QProcess>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/non_regular_files.h"

namespace tcu::test {

namespace fs = std::filesystem;

namespace {

std::string makeScratch(const char* pattern) {
    std::string path = (fs::temp_directory_path() / pattern).string();
    if (!mkdtemp(path.data()))
        throw std::runtime_error("cannot create a scratch directory");
    return path;
}

std::string registryDir;

// One application and one registry for the whole test program.
class ProgramEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "tcu_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);

        registryDir = makeScratch("tcu-registry-XXXXXX");
        setenv("XDG_DATA_HOME", registryDir.c_str(), 1);
        const QString out = QString::fromStdString(buildOut());
        const int rc = QProcess::execute(out + QStringLiteral("/vortreg"),
                                         {out + QStringLiteral("/libvort.so")});
        ASSERT_EQ(rc, 0) << "vortreg could not register the control from " << buildOut();
    }
    void TearDown() override {
        app_.reset();
        fs::remove_all(registryDir);
    }

private:
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new ProgramEnvironment);

} // namespace

std::string buildOut() {
    const char* out = std::getenv("VORT_BUILD_OUT");
    return out ? out : ".";
}

const std::string& registryHome() {
    return registryDir;
}

std::string readFile(const std::string& path) {
    return vort::test::fileText(path);
}

void writeFile(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

bool fileExists(const std::string& path) {
    return fs::exists(path);
}

void TcuTest::SetUp() {
    scratch_ = makeScratch("tcu-test-XXXXXX");
    useConfigHome(scratch_ + "/config");
}

void TcuTest::TearDown() {
    form_.reset();
    if (sim_) {
        EXPECT_EQ(sim_->stderrText(), "") << "the simulator complained";
        sim_.reset();
    }
    fs::remove_all(scratch_);
    EXPECT_TRUE(dialogs_.exhausted()) << "a scripted answer was never asked for";
}

void TcuTest::useConfigHome(const std::string& dir) {
    fs::create_directories(dir);
    configHome_ = dir;
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
}

std::string TcuTest::iniPath() const {
    return configHome_ + "/tcu/TCU.INI";
}

void TcuTest::writeIni(const std::string& text) {
    writeFile(iniPath(), text);
}

void TcuTest::startSim(int port, int baud, std::vector<std::string> extra) {
    sim_ = std::make_unique<vort::test::ScannerSimHarness>();
    vort::test::ScannerSimStart how;
    how.comPort = port;
    how.args = {"--baud", std::to_string(baud)};
    how.args.insert(how.args.end(), extra.begin(), extra.end());
    ASSERT_TRUE(sim_->start(how)) << sim_->error();
    sim_->useConfigHome();
    configHome_ = sim_->configHome();
}

Form1& TcuTest::loadForm() {
    auto core = std::make_unique<ProgramCore>();
    core->LoadPortSettings();
    form_ = std::make_unique<Form1>(std::move(core));
    return *form_;
}

Form1& TcuTest::openPort1(const QString& settings) {
    Form1& f = form_ ? *form_ : loadForm();
    f.CommCtl1.setCommPort(1);
    f.CommCtl1.setSettings(settings);
    f.CommCtl1.setPortOpen(true);
    f.CommCtl1.setInputLen(0);
    return f;
}

void TcuTest::recordPanel2() {
    QObject::connect(form_->sbrStatus, &StatusPanels::panelTextChanged, form_.get(),
                     [this](int panel, const QString& text) {
                         if (panel == 2)
                             panel2_ << text;
                     });
}

} // namespace tcu::test

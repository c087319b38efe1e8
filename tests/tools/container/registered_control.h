// A scratch registry for a whole test program: XDG_DATA_HOME points at a temporary
// directory in which the real vortreg registers build/out/libvort.so, so the control
// is created by ProgID as any host creates it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "tests/tools/container/container_process.h"

namespace vort::test {

class RegisteredControl : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("vort-container-reg-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
        setenv("XDG_DATA_HOME", dir_.c_str(), 1);
        const std::string out = builtProgram("").toStdString();
        // vortreg loads and unloads libvort.so and with it Qt's libraries; their OpenMP
        // runtime leaves 8 bytes behind at unload, which a leak-checking build would
        // report as vortreg's failure. Registration is not what is tested here.
        const std::string cmd = "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" " +
                                out + "vortreg " + out + "libvort.so > /dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

private:
    std::filesystem::path dir_;
};

} // namespace vort::test

// One QApplication for a whole test program (offscreen, as vort_test sets it), made
// before the first test and kept to the end, since widgets need it and Qt allows
// only one per process.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace vort::test {

class QtAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "vort-qt-test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

inline ::testing::Environment* const kQtAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);

} // namespace vort::test

// Run-time errors of the program's own procedures, and the "go on and look once"
// error handling of the port procedures.
//
// The control reports its failures as component::ComponentError (number and
// description); the program's own conversions raise RunTimeError with the numbers a
// user of this kind of program knows: 13 "Type mismatch", 6 "Overflow".
#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <stdexcept>

namespace tcu {

class RunTimeError : public std::runtime_error {
public:
    RunTimeError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), number_(number),
          description_(description) {}
    int number() const { return number_; }
    const QString& description() const { return description_; }

private:
    int number_;
    QString description_;
};

inline constexpr int kErrTypeMismatch = 13;
inline constexpr int kErrOverflow = 6;
// A path that is no file the program can use (a FIFO, a device).
inline constexpr int kErrPathFileAccess = 75;

RunTimeError typeMismatch();
RunTimeError overflow();

// One run-time error as a procedure sees it afterwards.
struct RaisedError {
    int number = 0;
    QString description;
};

// Runs steps and keeps going past their errors, remembering the last one, so that a
// procedure can look at the error state at one chosen point.
//
//   ErrorState err;
//   err.run([&] { CommCtl1.setSettings(text); });
//   err.run([&] { CommCtl1.setPortOpen(true); });
//   if (err) ... err.last()->description ...
class ErrorState {
public:
    // Runs step; a RunTimeError or component::ComponentError it throws is remembered,
    // anything else goes on up.
    void run(const std::function<void()>& step);
    explicit operator bool() const { return last_.has_value(); }
    const std::optional<RaisedError>& last() const { return last_; }
    void clear() { last_.reset(); }

private:
    std::optional<RaisedError> last_;
};

// The error in flight (inside a catch block) as number and description, for the
// two kinds above; nothing for other exceptions.
std::optional<RaisedError> currentRunTimeError();

} // namespace tcu

#include "app/link/run_time_error.h"

#include "platform/component/error.h"

namespace tcu {

RunTimeError typeMismatch() {
    return RunTimeError(kErrTypeMismatch, QStringLiteral("Type mismatch"));
}

RunTimeError overflow() {
    return RunTimeError(kErrOverflow, QStringLiteral("Overflow"));
}

std::optional<RaisedError> currentRunTimeError() {
    try {
        throw;
    } catch (const RunTimeError& e) {
        return RaisedError{e.number(), e.description()};
    } catch (const vort::component::ComponentError& e) {
        return RaisedError{e.number(), QString::fromStdString(e.description())};
    } catch (...) {
        return std::nullopt;
    }
}

void ErrorState::run(const std::function<void()>& step) {
    try {
        step();
    } catch (const RunTimeError& e) {
        last_ = RaisedError{e.number(), e.description()};
    } catch (const vort::component::ComponentError& e) {
        last_ = RaisedError{e.number(), QString::fromStdString(e.description())};
    }
}

} // namespace tcu

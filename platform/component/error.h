// ComponentError: a failure raised through the dispatch interface.
//
// It carries the error number a host sees (55, 68, 380, 383, 394, 422...) and its
// description; the result code is 0x800A0000 + number (facility 10, "control").
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vort::component {

class ComponentError : public std::runtime_error {
public:
    ComponentError(int32_t number, std::string description)
        : std::runtime_error(description), number_(number), description_(std::move(description)) {}

    int32_t number() const { return number_; }
    // 0x800A0000 + number.
    int32_t scode() const { return static_cast<int32_t>(0x800A0000u + static_cast<uint32_t>(number_)); }
    const std::string& description() const { return description_; }

private:
    int32_t number_;
    std::string description_;
};

// Error numbers raised by the control and the dispatch layer.
enum ErrorNumber : int32_t {
    kErrFileAlreadyOpen = 55,
    kErrDeviceUnavailable = 68,
    kErrInvalidPropertyValue = 380,
    kErrSetNotSupported = 383,   // writing a read-only property
    kErrGetNotSupported = 394,   // reading a write-only property
    kErrRuntimeOnly = 422,       // a run-time-only property used in design mode
};

// The standard description of one of the numbers above ("" for 422).
std::string standardErrorText(int32_t number);

} // namespace vort::component

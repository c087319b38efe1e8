// ComponentError: a failure raised through the dispatch interface.
//
// It carries the error number a host sees (55, 68, 380, 383, 394, 422...) and its
// description; the result code is 0x800A0000 + number (facility 10, "control").
// A host's proxy also raises it for the dispatch layer's own failures (member not
// found, bad argument count, type mismatch), then with the dispatch result code.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vort::component {

class ComponentError : public std::runtime_error {
public:
    ComponentError(int32_t number, std::string description)
        : std::runtime_error(description), number_(number),
          scode_(static_cast<int32_t>(0x800A0000u + static_cast<uint32_t>(number))),
          description_(std::move(description)) {}
    // An error whose result code is not 0x800A0000 + number.
    ComponentError(int32_t number, std::string description, int32_t scode)
        : std::runtime_error(description), number_(number), scode_(scode),
          description_(std::move(description)) {}

    int32_t number() const { return number_; }
    // 0x800A0000 + number, unless given otherwise.
    int32_t scode() const { return scode_; }
    const std::string& description() const { return description_; }

private:
    int32_t number_;
    int32_t scode_;
    std::string description_;
};

// Error numbers raised by the control and the dispatch layer.
enum ErrorNumber : int32_t {
    kErrInvalidProcedureCall = 5, // a call the host cannot serve (AboutBox without windows)
    kErrFileAlreadyOpen = 55,
    kErrDeviceUnavailable = 68,
    kErrInvalidPropertyValue = 380,
    kErrSetNotSupported = 383, // writing a read-only property
    kErrGetNotSupported = 394, // reading a write-only property
    kErrRuntimeOnly = 422,     // a run-time-only property used in design mode
    // Numbers a host shows for the dispatch layer's own failures.
    kErrOverflow = 6,           // a number out of range for the member's type
    kErrTypeMismatch = 13,      // an argument that does not convert
    kErrMemberNotFound = 438,   // no such property or method
    kErrBadArgumentCount = 450, // wrong number of arguments
};

// The standard description of one of the numbers above ("" for 422).
std::string standardErrorText(int32_t number);

} // namespace vort::component

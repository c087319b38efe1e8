#include "platform/component/error.h"

namespace vort::component {

std::string standardErrorText(int32_t number) {
    switch (number) {
    case kErrInvalidProcedureCall:
        return "Invalid procedure call";
    case kErrFileAlreadyOpen:
        return "Port already open";
    case kErrDeviceUnavailable:
        return "Device unavailable";
    case kErrInvalidPropertyValue:
        return "Invalid property value";
    case kErrSetNotSupported:
        return "Property is read-only";
    case kErrGetNotSupported:
        return "Property is write-only";
    case kErrRuntimeOnly:
        return "";
    case kErrOverflow:
        return "Overflow";
    case kErrTypeMismatch:
        return "Type mismatch";
    case kErrMemberNotFound:
        return "Object doesn't support this property or method";
    case kErrBadArgumentCount:
        return "Wrong number of arguments or invalid property assignment";
    default:
        return "Unexpected error";
    }
}

} // namespace vort::component

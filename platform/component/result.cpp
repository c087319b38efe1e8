#include "platform/component/result.h"

#include <cstdio>

namespace vort::component {

namespace {

const char* meaning(int32_t code) {
    switch (code) {
    case kOk:
        return "success";
    case kFalse:
        return "false";
    case kNotImplemented:
        return "not implemented";
    case kNoInterface:
        return "interface not supported";
    case kPointer:
        return "null pointer";
    case kFail:
        return "unspecified failure";
    case kUnexpected:
        return "unexpected failure";
    case kInvalidData:
        return "invalid data";
    case kOutOfMemory:
        return "out of memory";
    case kInvalidArg:
        return "invalid argument";
    case kClassNotAvailable:
        return "class not available";
    case kSelfRegTypeLib:
        return "type library registration failed";
    case kSelfRegClass:
        return "class registration failed";
    case kDispMemberNotFound:
        return "member not found";
    case kDispTypeMismatch:
        return "type mismatch";
    case kDispUnknownName:
        return "unknown name";
    case kDispOverflow:
        return "overflow";
    case kDispBadParamCount:
        return "bad argument count";
    default:
        return nullptr;
    }
}

} // namespace

std::string describeResult(int32_t code) {
    char buf[64];
    const char* m = meaning(code);
    if (m) {
        std::snprintf(buf, sizeof buf, "0x%08X (%s)", static_cast<uint32_t>(code), m);
    } else if (isControlError(code)) {
        std::snprintf(buf, sizeof buf, "0x%08X (control error %u)", static_cast<uint32_t>(code),
                      static_cast<uint32_t>(code) & 0xFFFFu);
    } else {
        std::snprintf(buf, sizeof buf, "0x%08X", static_cast<uint32_t>(code));
    }
    return buf;
}

} // namespace vort::component

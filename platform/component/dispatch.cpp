#include "platform/component/dispatch.h"

namespace vort::component {

const char* invokeKindName(InvokeKind kind) {
    switch (kind) {
    case InvokeKind::PropertyGet:
        return "PropertyGet";
    case InvokeKind::PropertyPut:
        return "PropertyPut";
    case InvokeKind::Method:
        return "Method";
    }
    return "?";
}

InvokeResult InvokeResult::fromError(const ComponentError& e) {
    InvokeResult r;
    r.code = e.scode();
    r.number = e.number();
    r.description = e.description();
    return r;
}

InvokeResult InvokeResult::failure(int32_t code) {
    InvokeResult r;
    r.code = code;
    switch (code) {
    case kDispMemberNotFound:
        r.number = kErrMemberNotFound;
        break;
    case kDispBadParamCount:
        r.number = kErrBadArgumentCount;
        break;
    case kDispTypeMismatch:
        r.number = kErrTypeMismatch;
        break;
    case kDispOverflow:
        r.number = kErrOverflow;
        break;
    default:
        r.number = 0;
        break;
    }
    r.description = r.number ? standardErrorText(r.number) : describeResult(code);
    return r;
}

} // namespace vort::component

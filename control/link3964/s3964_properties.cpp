// The 3964 link's timing and retry properties; they travel with every telegram.
#include "control/object/dispids.h"
#include "control/object/vort_ctrl.h"

namespace vort {

void CVortCtrl::setS3964Master(bool on) {
    s3964Master_ = on;
    propertyWritten(kDispS3964Master);
}

void CVortCtrl::setS3964UseBcc(bool on) {
    s3964UseBcc_ = on;
    propertyWritten(kDispS3964UseBCC);
}

void CVortCtrl::setS3964Tq(int32_t ms) {
    s3964Tq_ = ms;
    propertyWritten(kDispS3964TQ);
}

void CVortCtrl::setS3964Tz(int32_t ms) {
    s3964Tz_ = ms;
    propertyWritten(kDispS3964TZ);
}

void CVortCtrl::setS3964Retry(int16_t count) {
    s3964Retry_ = count;
    propertyWritten(kDispS3964Retry);
}

} // namespace vort

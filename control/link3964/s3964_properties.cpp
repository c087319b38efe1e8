// The 3964 link's timing and retry properties: the flags travel with every telegram,
// the times and retry counts reach the running link at once.
#include "control/object/vort_ctrl.h"
#include "vort/dispids.h"

namespace vort {

void CVortCtrl::setS3964Master(bool on) {
    s3964Master_ = on;
    link_->applyFlags(s3964Master_, s3964UseBcc_);
    propertyWritten(kDispS3964Master);
}

void CVortCtrl::setS3964UseBcc(bool on) {
    s3964UseBcc_ = on;
    link_->applyFlags(s3964Master_, s3964UseBcc_);
    propertyWritten(kDispS3964UseBCC);
}

void CVortCtrl::setS3964Tq(int32_t ms) {
    s3964Tq_ = ms;
    link_->applyTimes(s3964Tq_, s3964Tz_, s3964Retry_);
    propertyWritten(kDispS3964TQ);
}

void CVortCtrl::setS3964Tz(int32_t ms) {
    s3964Tz_ = ms;
    link_->applyTimes(s3964Tq_, s3964Tz_, s3964Retry_);
    propertyWritten(kDispS3964TZ);
}

void CVortCtrl::setS3964Retry(int16_t count) {
    s3964Retry_ = count;
    link_->applyTimes(s3964Tq_, s3964Tz_, s3964Retry_);
    propertyWritten(kDispS3964Retry);
}

} // namespace vort

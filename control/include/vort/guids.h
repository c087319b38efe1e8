// The control's fixed identifiers. Hosts refer to the control by these, so they never
// change: the configuration program creates CommCtl1 from kClsidVortCtrl.
#pragma once

#include "platform/component/guid.h"

namespace vort {

inline constexpr component::Guid kLibidVortLib =
    component::Guid::literal("{D697C8F9-41A2-44B0-B813-6E37CF072CF1}");
inline constexpr component::Guid kIidDVort =
    component::Guid::literal("{1B6E9B6C-3AB5-4090-8809-5161595A888C}");
inline constexpr component::Guid kIidDVortEvents =
    component::Guid::literal("{DAAF02C1-7E94-4A67-859C-223381C58C0F}");
inline constexpr component::Guid kClsidVortCtrl =
    component::Guid::literal("{F79B03E7-3453-40FE-AC92-EFC959F24497}");
inline constexpr component::Guid kClsidVortPropPage =
    component::Guid::literal("{44A4F8B0-566C-4F91-99C4-921041A7E338}");

inline constexpr const char* kProgIdVortCtrl = "VORT.VortCtrl.1";
inline constexpr const char* kProgIdVortPropPage = "VORT.VortPropPage.1";

} // namespace vort

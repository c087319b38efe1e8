// The in-process server: the control's classes, their registration and the exports
// DllGetClassObject, DllCanUnloadNow, DllRegisterServer, DllUnregisterServer.
#include "control/object/prop_page.h"
#include "control/object/vort_ctrl.h"
#include "platform/component/inproc_server.h"
#include "vort/guids.h"

namespace vort {

const component::TypeLibrary& vortTypeLibrary();

namespace {

// Recompose on resize, can't link inside, inside-out, activate when visible,
// invisible at run time, set client site first.
constexpr uint32_t kVortMiscStatus = 0x20591;

component::Unknown* createControl() {
    return static_cast<component::Control*>(new CVortCtrl());
}

component::InprocServer& server() {
    static component::InprocServer s(&vortTypeLibrary(), {
                                                             {.clsid = kClsidVortCtrl,
                                                              .progId = kProgIdVortCtrl,
                                                              .typeName = "VELMARK Comm Control",
                                                              .miscStatus = kVortMiscStatus,
                                                              .insertable = true,
                                                              .toolboxBitmap = 1,
                                                              .create = &createControl},
                                                             {.clsid = kClsidVortPropPage,
                                                              .progId = kProgIdVortPropPage,
                                                              .typeName = "Vort Property Page",
                                                              .withTypeLibrary = false,
                                                              .create = &createVortPropPage},
                                                         });
    return s;
}

} // namespace

} // namespace vort

VORT_EXPORT_INPROC_SERVER(vort::server)

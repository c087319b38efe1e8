// The 3964 link library, loaded at run time when a control switches to Protocol 7.
//
// It is looked up by name through the normal library search, then in the directory of
// the control's own library; the environment variable VORT_LINK3964 names another file
// to load instead (an integrator's build, or a test's). All seven functions must be
// there and the version must be at least 1.84. One process-wide copy is shared by
// every control; it is unloaded when the last control using it lets go.
//
// Thread rule: acquire in the owner's thread; release in any thread (a file transfer
// job gives its reference back when its thread ends); the functions may be called from
// the controls' worker threads while acquired.
#pragma once

#include <cstdint>
#include <string>

#include "link3964/link3964.h"

namespace vort {

// The library's functions, typed by its own header's declarations (decltype), so the
// prototypes exist once: a change there changes the table with it.
struct Link3964Functions {
    decltype(&RS_3964Version) version;
    decltype(&RS_SetTQTZ) setTqTz;
    decltype(&RS_SetMZ1MZ2) setMz1Mz2;
    decltype(&RS_TX3964R) tx;
    decltype(&RS_RX3964R) rx;
    decltype(&RS_TXFile_3964R) txFile;
    decltype(&RS_RXFile_3964R) rxFile;
};

// The lowest version accepted: 1.84.
inline constexpr uint16_t kLink3964MinVersion = 0x154;

// Loads the library (or counts one more user of the loaded one). On success returns
// the functions; on failure nullptr and *message is the text to show the operator.
const Link3964Functions* acquireLink3964(std::string* message);
// One user fewer; the last one unloads the library.
void releaseLink3964();

} // namespace vort

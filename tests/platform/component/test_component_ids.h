// The identifiers of the test component library, shared by the library and the
// tests that create it through the registry.
#pragma once

#include "platform/component/guid.h"

namespace vort_test {

using vort::component::Guid;

inline constexpr Guid kClsidTestCtrl = Guid::literal("{BE291C3F-A65E-4E77-A4E1-2B067E7DCB21}");
inline constexpr Guid kClsidHelper = Guid::literal("{954538B5-B8C5-4026-B7F9-2BE23F02BDDF}");
inline constexpr Guid kLibidTest = Guid::literal("{4F7FC028-3F7A-4517-BFE5-9AD18E113EEE}");
inline constexpr Guid kIidTestDispatch = Guid::literal("{79DFC0CC-5FE3-4A41-9617-5D5A390C3F96}");
inline constexpr Guid kIidTestEvents = Guid::literal("{E4F4ECCC-FB7E-4231-8F5B-D9AC597563AF}");
inline constexpr Guid kIidHelperDispatch = Guid::literal("{1F422CCD-566B-4CB5-874C-18810C67DA17}");

inline constexpr const char* kProgIdTestCtrl = "VortTest.TestCtrl.1";
inline constexpr const char* kProgIdHelper = "VortTest.Helper.1";

// DISPIDs of TestCtrl.
enum TestDispid : int32_t {
    kCount = 1,      // I2 read/write, persisted (default 5), browser list
    kLimit = 2,      // I4 read/write, persisted (default 100000)
    kEnabled = 3,    // BOOL read/write, persisted (default true)
    kCaption = 4,    // BSTR read/write, persisted (default "Hello")
    kRunning = 5,    // BOOL read/write, run-time only, not persisted
    kStatus = 6,     // I2 read-only, run-time only
    kOutput = 7,     // VARIANT write-only, run-time only
    kLastOutput = 8, // VARIANT read-only: what Output last received
    kSecret = 9,     // BSTR read/write, hidden from the type information
    kAdd = 10,       // Add(a I2, b I2) -> I4
    kFetch = 11,     // Fetch(count I2, data VARIANT by reference) -> I2
    kFire = 12,      // Fire(code I2): fires Changed(code), then Ping()
    kRaise = 13,     // Raise(number I2): throws the control error number (0: a std::exception)
    kMode = 14,      // I2 read/write, persisted (default 0); Note persisted only when Mode is 0
    kNote = 15,      // BSTR read/write, persisted (default "note") only when Mode is 0
};

// DISPIDs of TestCtrl's events.
enum TestEventDispid : int32_t {
    kEventChanged = 1, // Changed(Code I2)
    kEventPing = 2,    // Ping()
};

// DISPIDs of Helper.
enum HelperDispid : int32_t {
    kHelperValue = 1, // I4 read/write
    kHelperTwice = 2, // Twice(v I4) -> I4
};

} // namespace vort_test

// The 3964 link library, loaded at run time when a control switches to Protocol 7.
//
// It is looked up by name through the normal library search, then in the directory of
// the control's own library; the environment variable VORT_LINK3964 names another file
// to load instead (an integrator's build, or a test's). All seven functions must be
// there and the version must be at least 1.84. One process-wide copy is shared by
// every control; it is unloaded when the last control using it lets go.
//
// Thread rule: acquire and release in the owner's thread; the functions may be called
// from the controls' worker threads while acquired.
#pragma once

#include <cstdint>
#include <string>

namespace vort {

struct Link3964Functions {
    uint16_t (*version)();
    int32_t (*setTqTz)(int32_t commId, int32_t tqMs, int32_t tzMs);
    int32_t (*setMz1Mz2)(int32_t commId, int32_t mz1, int32_t mz2);
    uint8_t (*tx)(int32_t commId, const uint8_t* data, uint16_t length, int32_t* status,
                  uint8_t flag, int32_t useBcc, int32_t master);
    uint8_t (*rx)(int32_t commId, uint8_t* buffer, uint16_t* length, int32_t* status,
                  int32_t waitMs, uint8_t* flag, int32_t useBcc);
    uint8_t (*txFile)(int32_t commId, const char* fileName, int32_t* status);
    uint8_t (*rxFile)(int32_t commId, const char* fileName, int32_t* status);
};

// The lowest version accepted: 1.84.
inline constexpr uint16_t kLink3964MinVersion = 0x154;

// The library file name looked for.
inline constexpr const char* kLink3964FileName = "liblink3964.so";

// Loads the library (or counts one more user of the loaded one). On success returns
// the functions; on failure nullptr and *message is the text to show the operator.
const Link3964Functions* acquireLink3964(std::string* message);
// One user fewer; the last one unloads the library.
void releaseLink3964();

} // namespace vort

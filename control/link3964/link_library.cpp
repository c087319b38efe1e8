#include "control/link3964/link_library.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <mutex>

namespace vort {

namespace {

// The library's SONAME (liblink3964.so.<major>): the runtime package holds that file
// without the development link liblink3964.so.
constexpr const char* kLink3964FileName = VORT_LINK3964_SONAME;

std::mutex mutex;
void* handle = nullptr;
int users = 0;
Link3964Functions functions{};

// The directory of the library this code is linked into, with its trailing slash.
std::string ownDirectory() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ownDirectory), &info) || !info.dli_fname)
        return {};
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// VORT_LINK3964 names a file to load instead; otherwise the SONAME through the dynamic
// loader's search (the installed library), then beside libvort.so (the build tree).
void* open() {
    if (const char* name = std::getenv("VORT_LINK3964"); name && *name)
        return dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (void* h = dlopen(kLink3964FileName, RTLD_NOW | RTLD_LOCAL))
        return h;
    const std::string dir = ownDirectory();
    return dir.empty() ? nullptr : dlopen((dir + kLink3964FileName).c_str(), RTLD_NOW | RTLD_LOCAL);
}

template <class F> bool find(void* h, const char* name, F& out) {
    out = reinterpret_cast<F>(dlsym(h, name));
    return out != nullptr;
}

// Looks a declared function up by its own name; the member must have its type.
#define VORT_FIND_LINK3964(h, function, member) find<decltype(&function)>(h, #function, member)

} // namespace

const Link3964Functions* acquireLink3964(std::string* message) {
    std::lock_guard lock(mutex);
    if (handle) {
        ++users;
        return &functions;
    }
    void* h = open();
    Link3964Functions f{};
    const bool complete = h && VORT_FIND_LINK3964(h, RS_3964Version, f.version) &&
                          VORT_FIND_LINK3964(h, RS_SetTQTZ, f.setTqTz) &&
                          VORT_FIND_LINK3964(h, RS_SetMZ1MZ2, f.setMz1Mz2) &&
                          VORT_FIND_LINK3964(h, RS_TX3964R, f.tx) &&
                          VORT_FIND_LINK3964(h, RS_RX3964R, f.rx) &&
                          VORT_FIND_LINK3964(h, RS_TXFile_3964R, f.txFile) &&
                          VORT_FIND_LINK3964(h, RS_RXFile_3964R, f.rxFile);
    if (!complete) {
        if (h)
            dlclose(h);
        if (message)
            *message = "3964 Protocol could not be loaded ! Check for  LINK3964.DLL";
        return nullptr;
    }
    if (f.version() < kLink3964MinVersion) {
        dlclose(h);
        if (message) {
            char text[128];
            std::snprintf(
                text, sizeof text,
                "3964 Protocol could not be loaded ! Need version %d.%d or higher of LINK3964.DLL",
                1, 84);
            *message = text;
        }
        return nullptr;
    }
    handle = h;
    functions = f;
    users = 1;
    return &functions;
}

void releaseLink3964() {
    std::lock_guard lock(mutex);
    if (users == 0 || --users > 0)
        return;
    dlclose(handle);
    handle = nullptr;
    functions = {};
}

} // namespace vort

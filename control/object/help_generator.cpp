// vort-helpgen OUTPUT.html: writes the control's help reference, generated from its
// type library, to OUTPUT.html. Run by the build, which places the page beside
// libvort.so. The page replaces the old one in one step, so an interrupted build never
// leaves half a page.
#include <cstdio>
#include <exception>
#include <string>

#include "control/object/help_reference.h"
#include "control/object/vort_ctrl.h"
#include "platform/files/atomic_rewrite.h"

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: vort-helpgen OUTPUT.html\n");
        return 2;
    }
    const std::string out = argv[1];
    std::string html;
    try {
        html = vort::helpReferenceHtml(vort::vortTypeLibrary(),
                                       vort::CVortCtrl::description().browserLists);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vort-helpgen: %s\n", e.what());
        return 1;
    }
    vort::files::FileFailure failure;
    if (!vort::files::rewriteFile(out, html, failure)) {
        std::fprintf(stderr, "vort-helpgen: cannot write %s\n", failure.text().c_str());
        return 1;
    }
    return 0;
}

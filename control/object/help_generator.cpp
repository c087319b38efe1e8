// vort-helpgen OUTPUT.html: writes the control's help reference, generated from its
// type library, to OUTPUT.html. Run by the build, which places the page beside
// libvort.so. The page is written to a temporary file first and renamed, so an
// interrupted build never leaves half a page.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "control/object/help_reference.h"
#include "control/object/vort_ctrl.h"

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: vort-helpgen OUTPUT.html\n");
        return 2;
    }
    const std::string out = argv[1];
    const std::string html = vort::helpReferenceHtml(vort::vortTypeLibrary(),
                                                     vort::CVortCtrl::description().browserLists);
    const std::string temp = out + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "vort-helpgen: cannot create %s: %s\n", temp.c_str(),
                     std::strerror(errno));
        return 1;
    }
    const bool written = std::fwrite(html.data(), 1, html.size(), f) == html.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed || std::rename(temp.c_str(), out.c_str()) != 0) {
        std::fprintf(stderr, "vort-helpgen: cannot write %s: %s\n", out.c_str(),
                     std::strerror(errno));
        std::remove(temp.c_str());
        return 1;
    }
    return 0;
}

// Test helper: opens a port through libserilon in a separate process.
//   serilon_port_probe open <commId>   prints "<status>\n<error text>\n", then closes
//   serilon_port_probe hold <commId>   prints "<status>\n", keeps the port open until
//                                      standard input ends, then closes
#include "serilon/serilon.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "open") != 0 && std::strcmp(argv[1], "hold") != 0)) {
        std::fprintf(stderr, "usage: %s open|hold <commId>\n", argv[0]);
        return 2;
    }
    const int id = std::atoi(argv[2]);
    const int status = SerialOpenPort(id);
    char text[512] = "";
    SerialErrorText(id, text, sizeof text);
    std::printf("%d\n%s\n", status, text);
    std::fflush(stdout);
    if (std::strcmp(argv[1], "hold") == 0) {
        char c;
        while (::read(0, &c, 1) > 0) {
        }
    }
    SerialClosePort(id);
    return 0;
}

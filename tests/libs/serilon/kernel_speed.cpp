// Kept apart: the kernel's termios header cannot share a file with <termios.h>.
#include "kernel_speed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

std::uint32_t kernelOutputSpeed(int fd) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) < 0) {
        return 0;
    }
    return t.c_ospeed;
}

// The line speed the kernel holds for a terminal, read with termios2 (any speed).
#pragma once

#include <cstdint>

std::uint32_t kernelOutputSpeed(int fd);

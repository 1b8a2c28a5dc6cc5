#pragma once
// The line rate a terminal is set to, in bits per second, whether it was set with a standard
// B-constant or as an arbitrary rate. Kept apart from <termios.h> users because the kernel's
// termios2 header clashes with glibc's. Any thread.
//
// On a pseudo-terminal master it reads the slave's settings: the rate the program chose.
#include <cstdint>

// True with *rate set, false when the descriptor is no terminal (or closed).
bool LineRateOf(int fd, uint32_t* rate);

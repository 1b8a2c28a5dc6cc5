#pragma once
// Line rates of termios devices, including rates outside the standard B-constants, through the
// kernel's arbitrary-rate interface (termios2). Kept apart from <termios.h> users because the
// kernel's termios headers clash with glibc's. Pure functions of a descriptor; any thread.
//
// For a pseudo-terminal, the master's descriptor reports the slave's settings, so the far end of
// a virtual port can see what rate the program set.
#include <cstdint>

// Reads the output rate in bits per second. Returns 0, or the errno of the failing call.
int TtyGetRate(int fd, uint32_t& rate);

// Sets input and output rate to `rate` bits per second as an arbitrary rate (BOTHER), keeping
// every other setting. Returns 0, or the errno. Many drivers do not refuse a rate they cannot do
// but fall back to another one: read the rate back to be sure.
int TtySetArbitraryRate(int fd, uint32_t rate);

#pragma once
// The standard line rates of termios (the B-constants) and the rates they stand for. Rates
// outside the table are set as arbitrary rates (TtyRate.h). Pure function; any thread.
#include <cstdint>

// The B-constant (a speed_t) for rate bits per second, or B0 (0) when the table has none.
unsigned StandardSpeed(uint32_t rate);

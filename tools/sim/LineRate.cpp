#include "LineRate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool LineRateOf(int fd, uint32_t* rate) {
    // The kernel keeps c_ospeed as the real rate even when a B-constant set it.
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        return false;
    }
    *rate = t.c_ospeed;
    return true;
}

// The kernel's termios2 interface. <asm/termbits.h> defines its own struct termios, so this file
// must never include <termios.h>; callers see only TtyRate.h.
#include "TtyRate.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace {
int Ioctl(int fd, unsigned long request, termios2* tio) {
    for (;;) {
        if (ioctl(fd, request, tio) == 0) {
            return 0;
        }
        if (errno != EINTR) {
            return errno;
        }
    }
}
} // namespace

int TtyGetRate(int fd, uint32_t& rate) {
    termios2 tio{};
    if (int err = Ioctl(fd, TCGETS2, &tio)) {
        return err;
    }
    // The kernel keeps c_ospeed up to date for standard rates set through the old interface too.
    rate = tio.c_ospeed;
    return 0;
}

int TtySetArbitraryRate(int fd, uint32_t rate) {
    termios2 tio{};
    if (int err = Ioctl(fd, TCGETS2, &tio)) {
        return err;
    }
    // Input rate bits 0 mean "same as output".
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER;
    tio.c_ispeed = rate;
    tio.c_ospeed = rate;
    return Ioctl(fd, TCSETS2, &tio);
}

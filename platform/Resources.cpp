#include "Resources.h"

// The icon is ours: a sky plot with one satellite.
#include "Zenithprobe.xpm"

wxIcon LoadResourceIcon(int id) {
    if (id == 128) {
        return wxIcon(zenithprobe_xpm);
    }
    return wxIcon();
}

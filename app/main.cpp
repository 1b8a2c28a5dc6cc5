// zenithprobe: the receiver monitor.
#include "ZenithprobeApp.h"

wxIMPLEMENT_APP(CZenithprobeApp);

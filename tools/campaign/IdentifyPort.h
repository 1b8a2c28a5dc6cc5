#pragma once
// Identification of the receiver on an open port, for the headless command: listens and probes
// until the identifier has its answer (at most 1.5 s plus 1 s per family). The lines go through
// the caller's receive path, the one its campaign then reads with, so nothing read meanwhile is
// lost to it; frame recognition must be on for the binary answers (UBX, SkyTraq).
//
// Threads: the command's one thread; stop is the signal handler's flag, read only.
#include "ReceivePath.h"
#include "ReceiverIdentify.h"
#include "Serial.h"

#include <csignal>
#include <string>

// False when the port failed or *stop became set; *identity is the result either way.
bool IdentifyOnPort(CSerial& port, CReceivePath& path, const volatile std::sig_atomic_t* stop,
                    ReceiverIdentity* identity);

// The machine's name for the records ("" when it has none).
std::string HostName();

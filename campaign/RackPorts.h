#pragma once
// Which ports a rack runs on, and the sub-folder each port's record goes to.
//
// "all" is the machine's serial devices as the setup dialog lists them (by-id names first, then
// ttyUSB/ttyACM that no by-id name leads to) and then the ports folder's COMn entries that exist,
// each real device once: a later name that resolves to a device already taken is left out. The
// /dev/ttyS fallback of a missing COMn is never used (on-board UARTs rarely hold a receiver and
// opening all of them would only add ports that never answer).
//
// Threads: pure functions of the file system; any thread may call them.
#include <filesystem>
#include <string>
#include <vector>

// The ports of "all": device paths and "COMn" names, in the order above.
std::vector<std::string> AllRackPorts(const std::filesystem::path& devFolder,
                                      const std::filesystem::path& portsFolder);
// "COM1,COM2,/dev/ttyUSB0" split at the commas, each name once.
std::vector<std::string> SplitPortList(const std::string& list);
// A sub-folder name per port, in the same order: the last part of the name ("COM3", "ttyUSB0",
// the by-id name) with anything but letters, digits, '.', '_' and '-' made '_', and "-2", "-3"
// added where two would be alike.
std::vector<std::string> RackFolderNames(const std::vector<std::string>& ports);

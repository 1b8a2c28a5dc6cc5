#pragma once
// Where the program keeps its files, and how port names become device paths.
// Pure functions of the environment and the file system; any thread may call them.
#include <filesystem>
#include <string>
#include <string_view>

// The program's folder, ending with '/': $ZENITHPROBE_HOME when set, else the folder of
// /proc/self/exe. Holds Zenithprobe.ini, the NMEA logs and ports/.
std::filesystem::path ProgramFolder();

// $TMPDIR when set, else /tmp.
std::filesystem::path TempFolder();

// The folder whose entries name ports: $ZENITHPROBE_PORTS when set (that folder alone counts),
// else ports/ in the program's folder.
std::filesystem::path PortsFolder();
bool PortsFolderIsExclusive();

// Maps a port name onto a device path. A trailing ':' is dropped. A name with '/' is a path.
// "COMn" (any case) is the entry COMn of the ports folder when it exists (even when it leads
// nowhere: opening it then fails, with no fallback); else /dev/ttyS<n-1> unless the ports folder
// is exclusive or n is 0, in which case the (missing) entry's path is returned so that opening
// fails. Any other bare name is looked up the same way, with /dev/<name> as the fallback.
std::string ResolvePortName(std::string_view name);

#pragma once
// Where the program keeps its files, and how port names become device paths.
// Pure functions of the environment and the file system; any thread may call them.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The program's folder, ending with '/': $ZENITHPROBE_HOME when set, else the folder of
// /proc/self/exe.
std::filesystem::path ProgramFolder();

// Where the program's files go. A portable copy ($ZENITHPROBE_HOME set, or an executable folder
// the user may write to) keeps everything in the program's folder, as it always has. An
// installed copy often cannot write beside its executable, so it follows the XDG base-directory
// conventions: Zenithprobe.ini and ports/ in $XDG_CONFIG_HOME/zenithprobe (~/.config/...), the
// NMEA logs and campaign files in $XDG_DATA_HOME/zenithprobe (~/.local/share/...). A copy in an
// installation's bin folder (/usr/bin, /usr/local/bin, ~/.local/bin, the build's prefix) is
// never portable, so that root does not write into /usr/bin.
struct FolderInputs {
    std::string zenithprobeHome; // $ZENITHPROBE_HOME; empty when unset
    std::filesystem::path exeFolder;
    bool exeFolderWritable = false;
    std::vector<std::filesystem::path> installBinFolders;
    std::string home;          // $HOME, else the password database's
    std::string xdgConfigHome; // used only when absolute, as the conventions say
    std::string xdgDataHome;
};

struct Folders {
    bool perUser = false;          // false: the portable layout
    std::filesystem::path program; // each ends with '/'
    std::filesystem::path config;  // Zenithprobe.ini, ports/
    std::filesystem::path data;    // NMEA logs, campaign files
};

Folders ChooseFolders(const FolderInputs& in);
// The rule applied to this process's environment and executable.
Folders CurrentFolders();
std::filesystem::path ConfigFolder();
std::filesystem::path DataFolder();

// Creates folder and its missing parents; a folder it creates gets mode 0700 (the user's own
// files). Returns 0 or the errno of the failing step.
int MakePrivateFolder(const std::filesystem::path& folder);

// $TMPDIR when set, else /tmp.
std::filesystem::path TempFolder();

// This machine's name, as records from many machines tell themselves apart; "" without one.
std::string HostName();

// The folder whose entries name ports: $ZENITHPROBE_PORTS when set (that folder alone counts),
// else ports/ in the configuration folder.
std::filesystem::path PortsFolder();
bool PortsFolderIsExclusive();

// Maps a port name onto a device path. A trailing ':' is dropped. A name with '/' is a path.
// "COMn" (any case) is the entry COMn of the ports folder when it exists (even when it leads
// nowhere: opening it then fails, with no fallback); else /dev/ttyS<n-1> unless the ports folder
// is exclusive or n is 0, in which case the (missing) entry's path is returned so that opening
// fails. Any other bare name is looked up the same way, with /dev/<name> as the fallback.
std::string ResolvePortName(std::string_view name);

#pragma once
// Fatal stops: tell the user why, then end the process at once.
//
// Threads: any thread may call FatalStop or FatalSetMessageHook. A mutex guards the hook; it is
// copied under the mutex and called outside it, so a hook may take as long as it likes (a message
// box) without blocking other threads' FatalSetMessageHook.
#include <functional>
#include <string_view>

// Shows the message to the user; the GUI installs a message box, tests may capture it.
using FatalMessageHook = std::function<void(std::string_view caption, std::string_view text)>;

// Replaces the hook; an empty function restores the default (a line on standard error).
void FatalSetMessageHook(FatalMessageHook hook);

// Shows the message through the hook, breaks into a debugger when one is attached, and ends the
// process with exitCode without running destructors or atexit handlers: other threads may still
// be using objects that a normal exit would destroy under them.
[[noreturn]] void FatalStop(std::string_view caption, std::string_view text, int exitCode);

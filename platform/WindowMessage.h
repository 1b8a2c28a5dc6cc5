#pragma once
// Registered window messages: a process-wide registry that gives each name one number for the
// life of the process, in the range the handheld used (0xC000 to 0xFFFF). Names are compared
// without regard to ASCII letter case.
//
// Threads: any thread may register; a mutex guards the registry.
#include <cstdint>
#include <string_view>

// The name's number, registering it on first use; 0 when the name is empty or the range is full.
uint32_t RegisterWindowMessage(std::string_view name);

#pragma once
// The program's INI file store: Zenithprobe.ini is read one key at a time and rewritten whole
// for every change. Users edit the file by hand, so lookups are forgiving about line ends and
// blank lines and rewrites keep every line they do not change.
//
// Threads: called on the user-interface thread (start-up, the setup dialog) and on the setup
// dialog's search thread. The store has no shared state and takes no lock; each call opens the
// file, does its work and closes it. Two rewrites of one file at the same time each replace the
// file whole (no torn file), but the one that finishes last wins.
//
// File format: lines end at CR, LF, CR LF, LF CR or the end of the file. "[name]" opens a
// section, ";" starts a comment, "key=value" sets a key. Names are matched exactly and
// case-sensitively, nothing is trimmed. A line counts up to its first 254 characters for
// lookups; a rewrite copies longer lines whole.
#include <filesystem>

// Reads `key` of `section` into `buffer` (`size` bytes, always terminated when size > 0).
// Returns the number of characters stored (> 0); 0 for an empty value; -1 when the file cannot
// be read or the section holds no such key; -2 when the file holds no such section. For results
// of 0 or less the buffer receives `defaultValue` (cut to size - 1), or "" when it is nullptr.
// A value enclosed in single or double quotes is returned without them.
int IniReadString(const char* section, const char* key, const char* defaultValue, char* buffer,
                  int size, const std::filesystem::path& file);

// Reads `key` of `section` as a decimal number (leading blanks, optional sign, digits up to the
// first non-digit; no digits give 0; out-of-range values saturate). Returns `defaultValue` when
// the key is absent or its value empty.
int IniReadInt(const char* section, const char* key, int defaultValue,
               const std::filesystem::path& file);

// Sets `key` of `section` to `value`: the first such key line is replaced in place, a new key
// goes at the end of its section, a new section at the end of the file, a missing file is
// created. Copied lines are written with LF, the key line with CR LF.
// The file is replaced atomically (a temporary file beside it, renamed over it) and keeps its
// permissions and, where allowed, its owner; a symbolic link is followed and its target
// rewritten. Returns the length of `value`, or 0 when the file was left unchanged because it
// could not be read, written or replaced.
int IniWriteString(const char* section, const char* key, const char* value,
                   const std::filesystem::path& file);

#pragma once
// Conversions of the program's 8-bit text (the receiver's stream, the configuration) to the text
// of the user interface. The program's multibyte encoding is UTF-8.
// Pure functions; any thread may call them.
#include <string>
#include <string_view>

// The bytes as valid UTF-8: well-formed sequences are kept as they are (control characters
// included), every byte that does not belong to one becomes U+FFFD. A receiver that sends a
// stray byte thus still has its line shown, never an empty one.
std::string BytesToValidUtf8(std::string_view bytes);

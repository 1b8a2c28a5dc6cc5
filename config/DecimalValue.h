#pragma once
// The platform's decimal rule, as the INI store's integers and the setup dialog's baud rate read
// it: leading blanks, an optional sign, the digits up to the first other character; no digits
// give 0, values out of range saturate (C's atoi without its undefined overflow or the locale).
#include <cstdint>
#include <string_view>

int32_t DecimalValue(std::string_view text);

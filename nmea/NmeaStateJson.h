#pragma once
// The whole state of a CNmeaParser as one compact JSON object on one line, for nmea-decode,
// golden files and tests that compare two parsers.
//
// Keys are the member names in declaration order. Integers are JSON numbers; single characters
// are one-character strings and character arrays strings up to their first zero (or full size);
// bytes outside printable ASCII are written \u00XX. Doubles use %.17g in the "C" locale, and
// the non-finite ones the strings "inf", "-inf" and "nan".
//
// Threads: reads the parser only; the caller holds whatever lock guards it.
#include "NmeaParser.h"

#include <string>

// Appends the object (without a line end) to out. withMultiGnss adds the multi-GNSS state as
// one more key, "m_multiGnss", after all the others: satellites as "id" ("G5", "R67", "E11")
// with their values, the fix union as a list of ids.
void AppendNmeaStateJson(std::string& out, const CNmeaParser& parser, bool withMultiGnss = false);

inline std::string NmeaStateJson(const CNmeaParser& parser, bool withMultiGnss = false) {
    std::string out;
    AppendNmeaStateJson(out, parser, withMultiGnss);
    return out;
}

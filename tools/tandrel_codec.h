// The tandrel-codec command: JSON lines to standard-codec hex and back.
#pragma once

#include <iosfwd>

namespace codectool {

enum class Direction { kEncode, kDecode };
enum class Form { kValue, kCall, kEnvelope };

// Reads `in` line by line and writes one line per input line to `out`. A line that
// cannot be converted gives a one-line {"encodeError": ...} / {"decodeError": ...} and the
// run goes on. Returns 0 when every line converted, 1 otherwise.
int run(Direction direction, Form form, std::istream& in, std::ostream& out);

}  // namespace codectool

// DecimalNumber: the one number syntax that the importers accept.
//
// A value in a CSV or FANN-format file must be an ordinary decimal number:
// an optional sign, digits with at most one decimal point (digits on at least
// one side of it), and an optional exponent ("e" or "E", optional sign,
// digits). It is read the same under every locale, to the nearest double, as
// the data set file reader reads it. Not accepted, each with its own reason:
// a decimal comma ("1,5"), hexadecimal numbers, "inf" and "nan", and numbers
// too large for a double -- data that a network cannot learn from should be
// noticed when it is imported, not in the middle of a training run.
#ifndef NETFORGE_DATAIMPORT_DECIMALNUMBER_H
#define NETFORGE_DATAIMPORT_DECIMALNUMBER_H

#include <string>
#include <string_view>

namespace Netforge {

// Reads |text| (all of it, no blanks around) into |value|. Returns the empty
// text on success, otherwise why the text is not accepted, for example
// "\"1,5\" has a decimal comma: write 1.5". |value| is unchanged then.
std::string ParseDecimalNumber(std::string_view text, double& value);

}  // namespace Netforge

#endif  // NETFORGE_DATAIMPORT_DECIMALNUMBER_H

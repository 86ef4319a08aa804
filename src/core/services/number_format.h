// Number, frequency and time texts, and the number-format setting.
#pragma once

#include <string>

namespace torvwy::core {

/// Number text by format code: 0 default (six significant digits, %g style), k > 0 that many
/// significant digits, -k fixed with k decimals. Non-finite values read "inf", "-inf", "nan".
std::string FormatNumber(double value, int format_code);

/// The shortest text that reads back to the same double ("0.1", "-10", "1e+300"); "inf",
/// "-inf" and "nan" for the non-finite values.
std::string ShortestText(double value);

/// Frequency text in Hz, e.g. "1024" or "2.5".
std::string FormatFrequency(double frequency_hz);

/// Time text in seconds with millisecond resolution, e.g. "12.5" or "0.001".
std::string FormatTime(double time_s);

/// Format code of the number-format setting: 0 -> 0, 1 -> 4, 2 -> minus `digits`.
int GetNumberFormatCode(int setting, int digits);

/// The format code of the application profile's setting ([settings] NumberFormat 0..2 and
/// NumberDigits 0..9, defaults 0 and 3); 0 when the profile is missing.
int ReadNumberFormatCode();

}  // namespace torvwy::core

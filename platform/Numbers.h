#pragma once

#include <QString>

// Whole numbers: leading blanks, an optional sign, then decimal digits or
// hexadecimal digits after "$" or "0x"; nothing else; 32-bit signed range.
bool tryStrToInt(const QString &text, int &value);
// Throws ConversionError "'%s' is not a valid integer value".
int strToInt(const QString &text);

// Real numbers with "." as the decimal point whatever the locale: blanks
// around, an optional sign, digits with an optional fraction, an optional
// exponent.
bool tryStrToFloat(const QString &text, double &value);
// Throws ConversionError "'%s' is not a valid floating point value".
double strToFloat(const QString &text);

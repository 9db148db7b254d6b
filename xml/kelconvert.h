/*
 * kelconvert.h - conversions of extracted text into the typed results of the extract
 * functions: numbers (kelatof, integers, small integers), dates, times and timestamps.
 * Pure functions of their arguments; safe from any thread.
 */
#ifndef KEL_CONVERT_H
#define KEL_CONVERT_H

#include <cstddef>
#include <cstdint>

/*
 * The text without the XML white space (blank, tab, line feed, carriage return) around it:
 * returns where it begins inside text and sets *length to its bytes.
 */
const char *kelXmlSpaceTrimmed(const char *text, size_t *length);

/*
 * The double a decimal text denotes; XML white space around it is skipped.  *status 0 on
 * success; -124 for a numeral (the text without that white space) of 31 bytes or more, -141
 * for a character that does not belong to a number, -86 for a decimal exponent below -79 or
 * above 75, -57 when the text is not a number as a whole (also a mantissa without a digit).
 */
double kelatof(const char *text, int *status);

/*
 * Decimal text to a 32-bit integer: leading whitespace, an optional sign, the digits up to the
 * first other character (none: 0).  Returns false for a numeral outside the 32-bit range.
 */
bool kelTextToInteger(const char *text, int32_t *value);

// The same keeping the low 16 bits of the value.
int16_t kelTextToSmallint(const char *text);

/*
 * A number from kelatof as a REAL (single precision, rounded to nearest).  Returns false for
 * one whose magnitude is beyond the range of REAL (it would round to an infinity): like any
 * other number out of range, it has no REAL value.
 */
bool kelDoubleToReal(double value, float *real);

#endif /* KEL_CONVERT_H */

// The checked message formatter.
//
// A format is copied into a working buffer (at most 2047 characters) and
// checked directive by directive before the system's wsprintf sees it: after
// "%" only "#", "-", ".", "0"-"9" may come before the conversion; "%%" is a
// percent sign; d i u x X take an int, s S p a string or pointer; "%Z" is an
// ANSI string in both forms (it becomes "s" here and "S" in the wide form).
// Anything else, or more than 16 arguments, refuses the format: nothing is
// formatted, the destination becomes empty and the result is 1.
//
// Output is limited to 1023 characters (the system formatter's limit) and to
// capacity - 1; it is always terminated when capacity > 0.
#pragma once

#include <stdarg.h>

#include "foundation/types.h"

constexpr int kFormatMaxArgs = 16;
constexpr int kFormatWorkChars = 2047;
constexpr int kFormatMaxOutput = 1023;

// Returns the number of characters written plus 1, or 1 when refused.
int Format(char *dst, size_t capacity, const char *format, ...);
int FormatV(char *dst, size_t capacity, const char *format, va_list args);
int FormatW(u16 *dst, size_t capacity, const u16 *format, ...);
int FormatWV(u16 *dst, size_t capacity, const u16 *format, va_list args);

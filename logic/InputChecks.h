#pragma once

// What the wizard accepts as typed input: integer text, the check run when the
// focus leaves a numeric field, birth-date validation and the input messages.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesmira {

// Integer text: leading blanks (U+0020 only), an optional "+" or "-", then
// either decimal digits in -2147483648..2147483647 or a hexadecimal number
// after "$", "x", "X", "0x" or "0X" up to FFFFFFFF, taken as the 32-bit
// two's-complement pattern ("$FFFFFFFF" is -1). A sign negates a hexadecimal
// number too ("-$1" is -1). Nothing may follow the digits.
std::optional<int32_t> TryToInteger(std::string_view text);

// As TryToInteger, but throws ConversionFailure ("'<text>' は整数ではありません").
int32_t ToInteger(const std::string& text);

// Input error codes and their fixed messages.
enum InputError : int32_t {
    kDateDoesNotExist = 1,  // "入力データに誤りがあります"
    kUnsupportedYear = 2,   // "このプログラムでサポートされていない年代です"
    kNotANumber = 3,        // "数字以外の値が入力されています。"
    kEmptyField = 4,        // "値が入力されていません。"
};

// The message of an input error code; empty for any other code.
std::string InputErrorText(int32_t code);

// 0 for integer text, 4 for the empty text, 3 for anything else.
int32_t CheckNumberText(const std::string& text);

// 0 when the birth date is supported, else kDateDoesNotExist or
// kUnsupportedYear. Dates from 2 April 1940 to 31 December 9999 are supported.
// Month and day are converted only when a test needs them, in the order of the
// tests: not at all below 1940 or from 10000; for 1940 the month first; for
// other years the day first. A text that is not integer text throws
// ConversionFailure naming that text.
int32_t ValidateBirthDate(int32_t birthYear, const std::string& monthText,
                          const std::string& dayText);

}  // namespace vesmira

#include "InputChecks.h"

#include <algorithm>

#include "Calendar.h"
#include "Failure.h"

namespace vesmira {

ConversionFailure::ConversionFailure(const std::string& text)
    : Failure("'" + text + "' は整数ではありません"), text_(text) {}

namespace {

bool IsDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexDigitValue(char c) {
    if (IsDecimalDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The digits after a hexadecimal prefix, or nullopt when there is no prefix.
std::optional<std::string_view> HexDigits(std::string_view number) {
    if (number.starts_with('$') || number.starts_with('x') || number.starts_with('X')) {
        return number.substr(1);
    }
    if (number.starts_with("0x") || number.starts_with("0X")) {
        return number.substr(2);
    }
    return std::nullopt;
}

std::optional<uint32_t> ParseHex(std::string_view digits) {
    if (digits.empty()) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (char c : digits) {
        const int d = HexDigitValue(c);
        if (d < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<uint64_t>(d);
        if (value > 0xFFFFFFFFu) {
            return std::nullopt;
        }
    }
    return static_cast<uint32_t>(value);
}

// Magnitude of a decimal number, capped just above what any int32 needs.
std::optional<uint64_t> ParseDecimal(std::string_view digits) {
    if (digits.empty()) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (char c : digits) {
        if (!IsDecimalDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > 2147483648u) {
            return std::nullopt;
        }
    }
    return value;
}

}  // namespace

std::optional<int32_t> TryToInteger(std::string_view text) {
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    bool negative = false;
    if (text.starts_with('+') || text.starts_with('-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (const auto hex = HexDigits(text)) {
        const auto pattern = ParseHex(*hex);
        if (!pattern) {
            return std::nullopt;
        }
        return static_cast<int32_t>(negative ? 0u - *pattern : *pattern);
    }
    const auto magnitude = ParseDecimal(text);
    if (!magnitude || (!negative && *magnitude > 2147483647u)) {
        return std::nullopt;
    }
    return static_cast<int32_t>(negative ? -static_cast<int64_t>(*magnitude)
                                         : static_cast<int64_t>(*magnitude));
}

int32_t ToInteger(const std::string& text) {
    if (const auto value = TryToInteger(text)) {
        return *value;
    }
    throw ConversionFailure(text);
}

std::string InputErrorText(int32_t code) {
    switch (code) {
        case kDateDoesNotExist:
            return "入力データに誤りがあります";
        case kUnsupportedYear:
            return "このプログラムでサポートされていない年代です";
        case kNotANumber:
            return "数字以外の値が入力されています。";
        case kEmptyField:
            return "値が入力されていません。";
        default:
            return "";
    }
}

int32_t CheckNumberText(const std::string& text) {
    if (text.empty()) {
        return kEmptyField;
    }
    return TryToInteger(text) ? 0 : kNotANumber;
}

int32_t ValidateBirthDate(int32_t birthYear, const std::string& monthText,
                          const std::string& dayText) {
    // Converted lazily, so that the failure names the first text a test needs.
    std::optional<int32_t> m, d;
    const auto month = [&] { return m ? *m : *(m = ToInteger(monthText)); };
    const auto day = [&] { return d ? *d : *(d = ToInteger(dayText)); };

    if (birthYear < 1940) {
        return kUnsupportedYear;
    }
    if (birthYear == 1940 && (month() < 4 || (month() == 4 && day() == 1))) {
        return kUnsupportedYear;
    }
    if (birthYear >= kInvalidYear) {
        return kUnsupportedYear;
    }
    if (day() <= 0) {
        return kDateDoesNotExist;
    }
    if (month() <= 0 || month() >= 13) {
        return kDateDoesNotExist;
    }
    if (day() > DaysInMonth[month()] + IsLeapFebruary(birthYear, month())) {
        return kDateDoesNotExist;
    }
    return 0;
}

}  // namespace vesmira

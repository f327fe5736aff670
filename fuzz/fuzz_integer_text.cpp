// TryToInteger against a second implementation of the integer syntax, and
// ToInteger and CheckNumberText against TryToInteger.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Failure.h"
#include "FuzzCheck.h"
#include "InputChecks.h"

namespace {

int HexValue(char c) {
    constexpr std::string_view kDigits = "0123456789abcdefABCDEF";
    const size_t at = kDigits.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at < 16 ? at : at - 6);
}

// Judges the range by digit count and a comparison of digit strings instead of
// by accumulating, so that a slip in one implementation is not repeated here.
std::optional<int32_t> ExpectedInteger(std::string_view text) {
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    bool minus = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        minus = text[0] == '-';
        text.remove_prefix(1);
    }
    bool hex = false;
    for (const std::string_view prefix : {"0x", "0X", "$", "x", "X"}) {
        if (text.starts_with(prefix)) {
            text.remove_prefix(prefix.size());
            hex = true;
            break;
        }
    }
    if (text.empty()) {
        return std::nullopt;
    }
    for (const char c : text) {
        if (hex ? HexValue(c) < 0 : (c < '0' || c > '9')) {
            return std::nullopt;
        }
    }
    const std::string_view significant =
        text.substr(std::min(text.find_first_not_of('0'), text.size()));
    uint32_t pattern = 0;
    if (hex) {
        if (significant.size() > 8) {
            return std::nullopt;
        }
        for (const char c : significant) {
            pattern = pattern << 4 | static_cast<uint32_t>(HexValue(c));
        }
    } else {
        const std::string_view limit = minus ? "2147483648" : "2147483647";
        if (significant.size() > limit.size() ||
            (significant.size() == limit.size() && significant > limit)) {
            return std::nullopt;
        }
        for (const char c : significant) {
            pattern = pattern * 10 + static_cast<uint32_t>(c - '0');
        }
    }
    return static_cast<int32_t>(minus ? 0u - pattern : pattern);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vesmira;
    const std::string text(reinterpret_cast<const char*>(data), size);

    const std::optional<int32_t> value = TryToInteger(text);
    FUZZ_CHECK(value == ExpectedInteger(text));

    try {
        const int32_t converted = ToInteger(text);
        FUZZ_CHECK(value == converted);
    } catch (const ConversionFailure& failure) {
        FUZZ_CHECK(!value);
        FUZZ_CHECK(failure.text() == text);
        // Every byte of the text, NUL included, reaches the message.
        FUZZ_CHECK(failure.message() == "'" + text + "' は整数ではありません");
    }

    FUZZ_CHECK(CheckNumberText(text) == (text.empty() ? kEmptyField : value ? 0 : kNotANumber));

    // Step files write numbers in plain decimal and must read them back.
    if (value) {
        FUZZ_CHECK(TryToInteger(std::to_string(*value)) == value);
    }
    return 0;
}

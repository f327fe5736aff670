#pragma once

// What the step-file tests share: a first-step history and byte-exact file
// access that goes around the code under test.

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "Failure.h"

namespace vesmira::testing_support {

inline constexpr char kFiveLines[] =
    "1985（昭和60）年5月10日生まれのあなたの\r\n"
    "小学校入学は1992（平成4）年4月\r\n"
    "小学校卒業は1998（平成10）年3月\r\n"
    "中学校入学は1998（平成10）年4月\r\n"
    "中学校卒業は2001（平成13）年3月\r\n";

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The user-visible text of the failure that fn throws, every byte of it.
inline std::string FailureText(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const Failure& failure) {
        return failure.message();
    }
    return "(no failure)";
}

}  // namespace vesmira::testing_support

#pragma once

// What the step-file tests share: a first-step history and byte-exact file
// access that goes around the code under test.

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
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

// Everything below dir: a file's bytes, a link's target or a mark for what
// has no bytes to read, by relative path. Links are not followed.
inline std::map<std::string, std::string> Contents(const std::filesystem::path& dir) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> contents;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir)) {
        const std::string name = entry.path().lexically_relative(dir).string();
        if (entry.is_symlink()) {
            contents[name] = "-> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_directory()) {
            contents[name] = "(folder)";
        } else if (entry.is_fifo()) {
            contents[name] = "(fifo)";
        } else {
            contents[name] = ReadBytes(entry.path());
        }
    }
    return contents;
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

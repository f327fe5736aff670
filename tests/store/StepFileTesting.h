#pragma once

// What the step-file tests share: a first-step history and byte-exact file
// access that goes around the code under test.

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include "WindowsTesting.h"
#else
#include <stdlib.h>
#endif

#include "Failure.h"
#include "History.h"
#include "Session.h"
#include "StepFiles.h"

namespace vesmira::testing_support {

// The texts of failures whose numbers differ between the systems: what the
// shared code finds itself, and what the systems say of a folder.
#ifdef _WIN32
inline constexpr char kFolderText[] = "ファイルへのアクセスが拒否されました";  // 5
inline constexpr char kTooBigText[] = "I/O エラー (223)";
inline constexpr char kLinkText[] = "I/O エラー (681)";
#else
inline constexpr char kFolderText[] = "I/O エラー (21)";
inline constexpr char kTooBigText[] = "I/O エラー (27)";
inline constexpr char kLinkText[] = "I/O エラー (40)";
#endif

// A new folder in the system's temporary folder, named after name; "" when
// none could be made.
inline std::string MakeTempDir(const char* name) {
    namespace fs = std::filesystem;
#ifdef _WIN32
    std::mt19937_64 random(std::random_device{}() ^ GetCurrentProcessId());
    for (int i = 0; i < 100; ++i) {
        const fs::path dir = fs::temp_directory_path() /
                             (name + std::string(".") + std::to_string(random() % 1000000000));
        std::error_code error;
        if (fs::create_directory(dir, error)) {
            return dir.string();
        }
    }
    return "";
#else
    std::string pattern = (fs::temp_directory_path() / name).string() + ".XXXXXX";
    return mkdtemp(pattern.data()) != nullptr ? pattern : "";
#endif
}

#ifndef _WIN32
// Removes path and everything in it; a link goes itself, never what it
// points at.
inline void RemoveTree(const std::filesystem::path& path) {
    std::filesystem::remove_all(path);
}
#endif

// A link or junction: on Windows any reparse point, which std::filesystem
// does not always tell from what it points at.
inline bool IsLink(const std::filesystem::path& path) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.wstring().c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
#else
    return std::filesystem::is_symlink(std::filesystem::symlink_status(path));
#endif
}

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

// Everything below dir: a file's bytes, a link's target (on Windows "(link)")
// or a mark for what has no bytes to read, by relative path. Links are not
// followed.
inline void AddContents(const std::filesystem::path& dir, const std::filesystem::path& top,
                        std::map<std::string, std::string>& contents) {
    namespace fs = std::filesystem;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().lexically_relative(top).string();
        if (IsLink(entry.path())) {
#ifdef _WIN32
            contents[name] = "(link)";
#else
            contents[name] = "-> " + fs::read_symlink(entry.path()).string();
#endif
        } else if (entry.is_directory()) {
            contents[name] = "(folder)";
            AddContents(entry.path(), top, contents);
        } else if (entry.is_fifo()) {
            contents[name] = "(fifo)";
        } else {
            contents[name] = ReadBytes(entry.path());
        }
    }
}

inline std::map<std::string, std::string> Contents(const std::filesystem::path& dir) {
    std::map<std::string, std::string> contents;
    AddContents(dir, dir, contents);
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

// A lock attempt as one word, and the system's number when it failed.
inline std::string LockOutcome(const FolderLock& lock) {
    switch (lock.outcome) {
        case FolderLock::kTaken:
            return "taken";
        case FolderLock::kHeldByAnother:
            return "held";
        default:
            return "failed " + std::to_string(lock.error);
    }
}

// What a failed operation must leave alone in CursorYear.
inline constexpr int32_t kCursor = 1234;

// Each test runs in a fresh working folder, as the wizard uses the one it was
// started in; "outside" is a second folder for what links point at.
class ScratchFolderTest : public testing::Test {
  protected:
    explicit ScratchFolderTest(const char* name) : name_(name) {}
    void SetUp() override {
        ResetWizard();
        Wizard.CursorYear = kCursor;
        previous_ = std::filesystem::current_path();
        dir_ = MakeTempDir(name_);
        outside_ = MakeTempDir((std::string(name_) + "-outside").c_str());
        ASSERT_FALSE(dir_.empty() || outside_.empty());
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        DeleteStepFiles();  // as the program ends: nothing of this test's is remembered
        std::filesystem::current_path(previous_);
        RemoveTree(dir_);
        RemoveTree(outside_);
    }
    static void Empty(const std::filesystem::path& dir) {
        for (const std::filesystem::directory_entry& entry :
             std::filesystem::directory_iterator(dir)) {
            RemoveTree(entry.path());
        }
    }

    const char* name_;
    std::filesystem::path previous_, dir_, outside_;
};

}  // namespace vesmira::testing_support

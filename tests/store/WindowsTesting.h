#pragma once

// Windows only: other processes for the store tests (the test program started
// again in a role of its own), links and junctions made the way Windows makes
// them, and the access list of a file.

#include <windows.h>

#include <filesystem>
#include <string>

namespace vesmira::testing_support {

// The test program started again as a child process in folder, in one of
// the roles of RunChildRole, with name as its argument. The child reports a
// line (read here into report()), then holds on, to what it opened or
// locked, until its parent lets it go.
class ChildProcess {
  public:
    ChildProcess(const std::filesystem::path& folder, const std::string& role,
                 const std::string& name = "");
    ~ChildProcess();  // lets it go and waits for it to end
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    const std::string& report() const { return report_; }
    // Ends it at once, wherever it is, as a crash or Task Manager would.
    void Kill();

  private:
    HANDLE process_ = nullptr;
    HANDLE input_ = nullptr;  // the child's standard input: closed to let it go
    std::string report_;
};

// main() of the store tests calls this when started as a child: role and
// name from the command line, in the working folder the parent chose.
// Roles: "hold" name (open for reading and writing, shared with no one),
// "write" name (open for writing, shared with all), "read" name (open for
// reading, shared with readers), "lock" (take the folder lock), "run" lock or
// nolock (three steps saved, then every end), "saveloop" (saves two versions
// by turns until killed), "inside" (the lock, and a mark no second holder
// can make).
int RunChildRole(const std::string& role, const std::string& name);

// False where the system would not make it (no privilege, or no support).
bool MakeFileLink(const std::filesystem::path& link, const std::filesystem::path& target);
bool MakeJunction(const std::filesystem::path& link, const std::filesystem::path& target);

// Removes path and everything in it; a link or junction goes itself, never
// what it points at.
void RemoveTree(const std::filesystem::path& path);

// "private" for a file only this user may open (owner the user, a protected
// access list of one entry giving the user everything; under Wine, which
// cannot store such a list, SYSTEM besides and not protected), else what it
// has.
std::string AccessOf(const std::filesystem::path& path);

}  // namespace vesmira::testing_support

#pragma once

// Step files: a snapshot of the wizard state after each completed step,
// "temp.1", "temp.2", ... in the working directory, read back by "戻る".
// Format: CursorYear in decimal, CR LF, then HistoryText byte for byte.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Failure.h"

namespace vesmira {

// A file operation failed; what() is the text the user sees for the system's
// error number (SystemErrors.h): kNotFound "ファイルが見つかりません", kBadName
// "不正なファイル名です", kTooManyOpen(InSystem) "オープンしたファイルが多すぎます",
// kDenied/kNotPermitted "ファイルへのアクセスが拒否されました", any other
// "I/O エラー (N)".
class FileFailure : public Failure {
  public:
    explicit FileFailure(int error);
    int error() const { return error_; }

  private:
    int error_;
};

std::string FileFailureText(int error);

// The largest step file: a larger one is refused (kTooBig) on load rather than
// read into memory, and a snapshot that would be larger is refused on save.
inline constexpr size_t kMaxStepFileSize = 1u << 20;

// "temp." followed by step in decimal.
std::string StepFileName(int32_t step);

// True for names of the step files' form: "temp." and one or more digits.
bool IsStepFileName(std::string_view name);

struct StepSnapshot {
    int32_t cursorYear;
    std::string history;
};

std::string FormatStepFile(int32_t cursorYear, std::string_view history);

// Reads the bytes of a step file. A line ends at LF or CR LF, a lone CR is
// dropped, 0x1A ends the file; every history line comes back ended by CR LF.
// Throws ConversionFailure when the first line is not integer text.
StepSnapshot ParseStepFile(std::string_view bytes);

// Writes CursorYear and history to fileName. The content goes to a new file
// beside it (".temp.1.<random>.part", never a name already there) which is
// then renamed over fileName, so the step file is always one complete
// snapshot and a symbolic link in its place is replaced, not followed. The
// file is private to the user (mode 0600, whatever the umask). A snapshot
// over kMaxStepFileSize is refused before anything is written. Throws
// FileFailure.
void SaveStepFile(const std::string& fileName, const std::string& history);

// Reads "temp.<step - 1>", sets CursorYear from it and returns its history.
// All or nothing: on any failure CursorYear is unchanged. A link in its place
// is refused (kLinkInPlace), so is a folder (kIsFolder) or anything else
// that is not a plain file (kNotPlainFile); a file that changed while it was
// read (size, times, or another file put in its place) is refused with
// kChangedWhileRead. Throws FileFailure or ConversionFailure.
std::string LoadStepFile(int32_t step);

// Removes the files this process wrote in the working directory, step files
// and partial files, each only while its name still holds the file written:
// a user's "temp.01", or a file put in the place of "temp.1", stays. Never
// reports; what cannot go stays, and is tried again next time.
void DeleteStepFiles();

}  // namespace vesmira

#pragma once

namespace vesmira {

// Names the program in the task bar and captions the failure box.
inline constexpr char kApplicationTitle[] = "ヴェスミラ";

// The application's help file. Kept as part of the program's identity;
// no control, key or menu opens it.
inline constexpr char kHelpFile[] =
    "C:\\Documents and Settings\\Administrator\\My Documents\\program\\zomirelo\\help.pdf";

}  // namespace vesmira

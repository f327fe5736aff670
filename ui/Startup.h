#pragma once

namespace vesmira {

// The whole program, as main runs it: opens the display, refuses a working
// folder that another copy holds, and runs the wizard until it ends. Returns
// the exit status. Without a display it says so in one line and ends with 1.
int RunProgram(char* programName);

// Application settings made once at start, before any window exists: the
// program's name and desktop entry, and the fonts the windows ask for.
void PrepareApplication();

// Creates the three windows in their order: Form1 (the main window), Form2,
// Form3. All start hidden; Form2 gets its controls once the start finishes.
void CreateForms();

// Shows the main window, which brings the backdrop up behind it. What the
// first paint does not need (the school-step window's controls, the toolkit's
// Japanese texts, the program's icon) follows once the main window has been
// painted, or, should a key or button be pressed first, before that input is
// handled.
void ShowMainForm();

// Whether that has happened since the windows were created.
bool StartFinished();

void DestroyForms();

// Told the name of each step of the start as it ends; make bench times the
// steps with it.
using StartObserver = void (*)(const char* step);
void ObserveStart(StartObserver observer);

}  // namespace vesmira

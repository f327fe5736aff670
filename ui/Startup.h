#pragma once

namespace vesmira {

// The whole program, as main runs it: opens the display, refuses a working
// folder that another copy holds, and runs the wizard until it ends. Returns
// the exit status. Without a display it says so in one line and ends with 1.
int RunProgram(char* programName);

// Application settings made once at start, before any window exists: the
// program's name, desktop entry and icon, the toolkit's Japanese texts and the
// fonts the windows ask for.
void PrepareApplication();

// Creates the three windows in their order: Form1 (the main window), Form2,
// Form3. All start hidden.
void CreateForms();

// Shows the main window, which brings the backdrop up behind it.
void ShowMainForm();

void DestroyForms();

// Told the name of each step of the start as it ends; make bench times the
// steps with it.
using StartObserver = void (*)(const char* step);
void ObserveStart(StartObserver observer);

}  // namespace vesmira

#pragma once

namespace vesmira {

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

}  // namespace vesmira

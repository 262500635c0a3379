// The test instruments' editor: a child window that draws the instrument's name and a
// keyboard whose sounding keys light up.
#pragma once

#include <windows.h>

class SynthEngine;

class SynthEditor {
  public:
    // Opens the editor in `parent` (closing an earlier one first); returns its window.
    HWND Open(HINSTANCE module, HWND parent, int width, int height, const SynthEngine* engine);
    void Close();

    // Takes the window class back when the instrument's library is unloaded, so a later
    // load (perhaps at another address) registers it afresh.
    static void ForgetClass(HINSTANCE module);

  private:
    HWND window_ = nullptr;
};

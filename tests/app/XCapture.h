// Reads a top-level window's pixels from the X server (kept apart from the tests: the X11
// headers define macros that collide with GoogleTest's).
#pragma once

#include "engine/Image.h"

namespace apptest {

// The pixels of the first window titled `title` as RGBA, top row first; false when there is no
// display or no such window.
bool captureWindow(const char* title, eng::Image& out);

}  // namespace apptest

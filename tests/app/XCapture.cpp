#include "XCapture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>

namespace apptest {

namespace {
Window findWindow(Display* d, Window w, const char* title) {
  char* name = nullptr;
  if (XFetchName(d, w, &name) && name) {
    const bool match = std::strcmp(name, title) == 0;
    XFree(name);
    if (match) return w;
  }
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  Window found = 0;
  if (XQueryTree(d, w, &root, &parent, &children, &n)) {
    for (unsigned i = 0; i < n && !found; ++i) found = findWindow(d, children[i], title);
    if (children) XFree(children);
  }
  return found;
}
// A failed request (a window partly off the screen cannot be read) is reported as false
// instead of ending the process.
bool g_xError = false;
int onXError(Display*, XErrorEvent*) {
  g_xError = true;
  return 0;
}
}  // namespace

bool captureWindow(const char* title, eng::Image& out) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return false;
  g_xError = false;
  XErrorHandler previous = XSetErrorHandler(onXError);
  const Window w = findWindow(d, DefaultRootWindow(d), title);
  bool ok = false;
  XWindowAttributes attrs;
  if (w && XGetWindowAttributes(d, w, &attrs)) {
    if (XImage* img = XGetImage(d, w, 0, 0, unsigned(attrs.width), unsigned(attrs.height), AllPlanes, ZPixmap)) {
      out.width = attrs.width;
      out.height = attrs.height;
      out.rgba.resize(size_t(out.width) * out.height * 4);
      for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
          const unsigned long p = XGetPixel(img, x, y);
          uint8_t* q = &out.rgba[(size_t(y) * out.width + x) * 4];
          q[0] = uint8_t((p >> 16) & 0xFF);
          q[1] = uint8_t((p >> 8) & 0xFF);
          q[2] = uint8_t(p & 0xFF);
          q[3] = 255;
        }
      XDestroyImage(img);
      ok = true;
    }
  }
  XSync(d, False);
  XSetErrorHandler(previous);
  XCloseDisplay(d);
  return ok && !g_xError;
}

}  // namespace apptest

// The process entry point: the application object and its frame loop.
#include "app/AppDelegate.h"

int main() {
  tarvo::AppDelegate app;
  return app.run();
}

// The process entry point: the display layers, the application object and its frame loop.
#include "app/AppDelegate.h"
#include "display/DisplayLayerFactory.h"
#include "display/spectrum/SpectrumLayers.h"

int main() {
  // The main scene builds its layers through the factory; plug in the spectrum views before
  // the scene exists.
  tarvo::registerSpectrumLayers(tarvo::displayLayerFactory());
  tarvo::AppDelegate app;
  return app.run();
}

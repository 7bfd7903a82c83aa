#include "engine/Capture.h"

#include <cstdio>

#include "engine/Director.h"
#include "engine/Image.h"
#include "engine/services/FileUtils.h"

namespace eng::utils {

void captureScreen(std::function<void(bool, const std::string&)> done, const std::string& fileName) {
  const std::string path =
      !fileName.empty() && fileName[0] == '/' ? fileName : FileUtils::getInstance().getWritablePath() + fileName;
  Director::getInstance()->requestCapture([done = std::move(done), path](const Image& frame) {
    std::string err;
    const bool ok = !frame.empty() && savePng(path, frame, true, &err);
    if (!ok) std::fprintf(stderr, "captureScreen: %s: %s\n", path.c_str(), frame.empty() ? "no frame" : err.c_str());
    if (done) done(ok, path);
  });
}

}  // namespace eng::utils

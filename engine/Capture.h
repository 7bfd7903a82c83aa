// Screen capture: the next rendered frame, written as an opaque PNG.
#pragma once

#include <functional>
#include <string>

namespace eng::utils {

// After the next frame is rendered, writes it to `fileName` (a relative name goes into the
// writable directory) and calls `done(succeeded, fullPath)` when given. Without a GL view the
// capture fails (done(false, path)).
void captureScreen(std::function<void(bool, const std::string&)> done, const std::string& fileName);

}  // namespace eng::utils

// Every generated interface image on one 960 × 640 sheet, each in its own cell with its name.
#pragma once

#include <string>
#include <vector>

namespace eng {
class Scene;
}

namespace engdemo {

// The image names the interface loads (71).
const std::vector<std::string>& interfaceImages();
// A scene with one cell per image; `missing` receives the names that failed to load.
eng::Scene* buildContactSheet(std::vector<std::string>* missing = nullptr);

}  // namespace engdemo

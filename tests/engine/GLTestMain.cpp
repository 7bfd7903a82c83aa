// Entry point of the GL test program: without an X display it runs itself again under Xvfb,
// so plain `ctest` works as well as `make test`.
#include <gtest/gtest.h>

#include "engine/testing/Xvfb.h"

int main(int argc, char** argv) {
  eng::testing::reexecUnderXvfbIfNoDisplay(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

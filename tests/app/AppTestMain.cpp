// Entry point of the application tests: without an X display they run again under xvfb-run.
#include <gtest/gtest.h>

#include "engine/testing/Xvfb.h"

int main(int argc, char** argv) {
  eng::testing::reexecUnderXvfbIfNoDisplay(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

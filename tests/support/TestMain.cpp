// main() of every test suite: starts the socket library once for the whole
// process (Windows needs it before any socket call), as the launcher does at
// start-up, then runs the tests.
#include <gtest/gtest.h>

#include <cstdio>

#include "common/Socket.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (lg::sock::LibraryStartup() != 0) {
    std::fprintf(stderr, "socket library start-up failed\n");
    return 1;
  }
  const int result = RUN_ALL_TESTS();
  lg::sock::LibraryCleanup();
  return result;
}

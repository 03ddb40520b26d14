// Test entry point shared by every test binary. A handler bug the channel layer survives
// (a result answered twice or never) still fails the test that caused it.
#include <gtest/gtest.h>

#include <string>

#include "channel/programming_error.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  channel::setProgrammingErrorHandler([](std::string_view what) {
    ADD_FAILURE() << "channel programming error: " << std::string(what);
  });
  return RUN_ALL_TESTS();
}

// The main function of the test executables under Wine.

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // The C runtime writes standard output in text mode, turning each LF into CR LF; CTest finds
  // the test cases by reading their list from that output, and the CRs would end up in every
  // test name.
  fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);

  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

// The bus suite's entry: the tests, or with "--hold-objects" a client that obtains objects,
// advises sinks, says "ready" on standard output and waits to be killed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "tests/service_bus/ObjectHolder.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--hold-objects") == 0) return tarn::test::HoldObjects();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

// Fuzz target: arbitrary bytes as an archive to list.
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz_input::WorkFolder work;
  if (work.ok()) fuzz_input::runReader(work, data, size, false, true);
  return 0;
}

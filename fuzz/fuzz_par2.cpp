// Fuzz target: arbitrary bytes as a recovery file to read, check against and repair from.
#include "fuzz/fuzz_par2_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz_par2::Folder folder;
  if (folder.ok()) fuzz_par2::run(folder, data, size);
  return 0;
}

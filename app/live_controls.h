// Thread-safe copies of the check boxes that a job reads while it runs. The GUI thread
// stores each box's state as it changes; the worker loads it at the moment the split
// or join asks, so a box toggled during a job counts from then on.
#pragma once

#include <atomic>

struct LiveControls {
  std::atomic<bool> createBat{false};      // CheckBoxBat
  std::atomic<bool> batDeleteLine{false};  // CheckBoxDeleteTempBat
  std::atomic<bool> compressZip{false};    // cbCompressZip
  std::atomic<bool> deleteInput{false};    // CheckBoxDeleteInput
  std::atomic<bool> deleteParts{true};     // CheckBoxDeleteTemp
  std::atomic<bool> writeChecksum{true};   // Options > write checksum file
  std::atomic<bool> createSh{false};       // Options > also create .sh file
  std::atomic<bool> deflate{false};        // Options > compress with Deflate
  std::atomic<int> recovery{0};            // Options > recovery data: 0, 1, 2 parts; -10 10 %
};

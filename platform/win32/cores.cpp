// Processor count from the process's affinity mask.
#include "platform/cores.h"

#include <windows.h>

#include <bit>
#include <thread>

namespace platform {

unsigned usableCores() {
  DWORD_PTR process = 0, system = 0;
  if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) != 0 && process != 0) {
    return static_cast<unsigned>(std::popcount(static_cast<std::uint64_t>(process)));
  }
  const unsigned online = std::thread::hardware_concurrency();
  return online > 0 ? online : 1;
}

}  // namespace platform

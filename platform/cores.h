// How many processors this process may run on.
#pragma once

namespace platform {

// The processors the process's affinity allows (a run under `taskset -c 0` gets 1); at
// least 1.
unsigned usableCores();

}  // namespace platform

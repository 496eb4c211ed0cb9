// Interrupts from the terminal or the system (Ctrl-C, a polite kill), turned into a
// request that a running job can obey: it then stops between chunks and says what it
// leaves behind, instead of dying in the middle of a part.
#pragma once

namespace platform {

// From now on, an interrupt calls `handler` (which must only set an atomic flag) instead
// of ending the process; a second interrupt ends it as usual.
void onInterrupt(void (*handler)());

// The signal of the first interrupt seen since onInterrupt (SIGINT for Ctrl-C, SIGTERM for
// a polite kill; Windows' console events count as SIGINT, or SIGTERM when the console is
// closed), 0 while there was none.
int interruptSignal();

}  // namespace platform

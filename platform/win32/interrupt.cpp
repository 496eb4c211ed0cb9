// Interrupts on Windows: Ctrl-C, Ctrl-Break and the console being closed.
#include "platform/interrupt.h"

#include <windows.h>

namespace platform {
namespace {

void (*volatile g_handler)() = nullptr;
volatile LONG g_seen = 0;

BOOL WINAPI onControl(DWORD) {
  // The first one asks the job to stop; the next one is left to the system.
  if (g_handler == nullptr || ::InterlockedExchange(&g_seen, 1) != 0) return FALSE;
  g_handler();
  return TRUE;
}

}  // namespace

void onInterrupt(void (*handler)()) {
  g_handler = handler;
  ::SetConsoleCtrlHandler(onControl, TRUE);
}

}  // namespace platform

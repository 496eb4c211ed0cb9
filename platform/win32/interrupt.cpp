// Interrupts on Windows: Ctrl-C, Ctrl-Break and the console being closed.
#include "platform/interrupt.h"

#include <windows.h>

namespace platform {
namespace {

void (*volatile g_handler)() = nullptr;
volatile LONG g_seen = 0;

BOOL WINAPI onControl(DWORD event) {
  // The first one asks the job to stop; the next one is left to the system.
  const LONG signal = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 2 : 15;
  if (g_handler == nullptr || ::InterlockedCompareExchange(&g_seen, signal, 0) != 0) return FALSE;
  g_handler();
  return TRUE;
}

}  // namespace

void onInterrupt(void (*handler)()) {
  g_handler = handler;
  ::SetConsoleCtrlHandler(onControl, TRUE);
}

int interruptSignal() {
  return static_cast<int>(g_seen);
}

}  // namespace platform

// Interrupts on POSIX: SIGINT, SIGTERM and SIGHUP.
#include "platform/interrupt.h"

#include <csignal>
#include <initializer_list>

namespace platform {
namespace {

void (*volatile g_handler)() = nullptr;
volatile std::sig_atomic_t g_signal = 0;

extern "C" void onSignal(int signal) {
  if (g_signal == 0) g_signal = signal;
  if (g_handler != nullptr) g_handler();
  // The next one of the same kind ends the process, for a job that cannot stop.
  std::signal(signal, SIG_DFL);
}

}  // namespace

void onInterrupt(void (*handler)()) {
  g_handler = handler;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, onSignal);
}

int interruptSignal() {
  return g_signal;
}

}  // namespace platform

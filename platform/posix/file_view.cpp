// Views through mmap; a look past the end of a file that shrank under its view raises
// SIGBUS in the looking thread, which jumps back to the readViews that guards it.
#include "platform/file_view.h"

#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/file_internal.h"

namespace platform {
namespace {

thread_local sigjmp_buf* t_guard = nullptr;
struct sigaction g_previous {};

void onBusError(int signal, siginfo_t* info, void* context) {
  if (t_guard != nullptr) siglongjmp(*t_guard, 1);
  // Not a view's fault: whoever handled it before, or the default (the process ends).
  if ((g_previous.sa_flags & SA_SIGINFO) != 0 && g_previous.sa_sigaction != nullptr) {
    g_previous.sa_sigaction(signal, info, context);
  } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN &&
             g_previous.sa_handler != nullptr) {
    g_previous.sa_handler(signal);
  } else {
    ::signal(SIGBUS, SIG_DFL);  // the faulting access runs again and ends the process
  }
}

void installHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &g_previous);
  });
}

}  // namespace

bool FileView::available(const File& in, const File& out) {
  FaultInjector* injector = g_injector.load();
  return injector == nullptr || injector->kernelCopy(in.path(), out.path()) == 0;
}

bool FileView::map(File& file, std::int64_t offset, std::int64_t n, IoError& err) {
  reset();
  if (n <= 0 || offset < 0) return true;
  static const std::int64_t page = ::sysconf(_SC_PAGESIZE);
  const std::int64_t from = offset - offset % page;
  const auto length = static_cast<std::size_t>(offset - from + n);
  void* base = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, file.descriptor(), from);
  if (base == MAP_FAILED) return fail(err, FileOp::Read, file.path(), errno);
  installHandler();
  ::madvise(base, length, MADV_SEQUENTIAL);
  m_base = base;
  m_length = length;
  m_data = static_cast<const char*>(base) + (offset - from);
  m_size = static_cast<std::size_t>(n);
  return true;
}

void FileView::reset() {
  if (m_base != nullptr) ::munmap(m_base, m_length);
  m_base = nullptr;
  m_length = 0;
  m_data = nullptr;
  m_size = 0;
}

bool readViews(const std::function<void()>& read) {
  sigjmp_buf jump;
  sigjmp_buf* const outer = t_guard;
  if (sigsetjmp(jump, 1) != 0) {
    t_guard = outer;
    return false;
  }
  t_guard = &jump;
  read();
  t_guard = outer;
  return true;
}

void readSoon(File& file, std::int64_t offset, std::int64_t n) {
  if (file.isOpen() && n > 0) ::posix_fadvise(file.descriptor(), offset, n, POSIX_FADV_WILLNEED);
}

}  // namespace platform

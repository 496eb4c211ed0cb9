// The parts of the file layer that do not depend on the OS.
#include <random>

#include "platform/file_internal.h"

namespace platform {

std::atomic<FaultInjector*> g_injector{nullptr};

namespace {

const char* operationVerb(FileOp op) {
  switch (op) {
    case FileOp::Open:
      return "open";
    case FileOp::Create:
      return "create";
    case FileOp::Read:
      return "read";
    case FileOp::Write:
      return "write";
    case FileOp::Seek:
      return "seek in";
    case FileOp::Truncate:
      return "truncate";
    case FileOp::Sync:
      return "flush";
    case FileOp::Close:
      return "close";
    case FileOp::Delete:
      return "delete";
  }
  return "use";
}

}  // namespace

bool fail(IoError& err, FileOp op, const std::string& path, int code, std::string detail) {
  err.operation = operationVerb(op);
  err.path = path;
  err.code = code;
  err.detail = std::move(detail);
  return false;
}

bool injected(FileOp op, const std::string& path, IoError& err) {
  FaultInjector* injector = g_injector.load();
  if (injector == nullptr) return false;
  const int code = injector->before(op, path);
  if (code == 0) return false;
  fail(err, op, path, code);
  return true;
}

std::string IoError::message() const {
  return "cannot " + operation + " " + path + ": " + reason();
}

bool faultsInjected() { return g_injector.load() != nullptr; }

void setFaultInjector(FaultInjector* injector) {
  g_injector.store(injector);
}

File::File(File&& other) noexcept
    : m_fd(other.m_fd),
      m_path(std::move(other.m_path)),
      m_openedAs(other.m_openedAs),
      m_stream(other.m_stream) {
  other.m_fd = -1;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    closeQuietly();
    m_fd = other.m_fd;
    m_path = std::move(other.m_path);
    m_openedAs = other.m_openedAs;
    m_stream = other.m_stream;
    other.m_fd = -1;
  }
  return *this;
}

File::~File() {
  closeQuietly();
}

bool File::readExact(void* buffer, std::int64_t n, IoError& err) {
  char* p = static_cast<char*>(buffer);
  while (n > 0) {
    const std::int64_t got = read(p, n, err);
    if (got < 0) return false;
    if (got == 0) return fail(err, FileOp::Read, m_path, 0, "the file ended early");
    p += got;
    n -= got;
  }
  return true;
}

bool syncAndCheckSize(const std::string& path, std::int64_t expectedSize, IoError& err) {
  File file = File::open(path, kModeForSync, err);
  if (!file.isOpen()) return false;
  if (!file.sync(err)) return false;
  const std::int64_t size = file.size(err);
  if (size < 0) return false;
  if (size != expectedSize) {
    return fail(
        err, FileOp::Write, path, 0,
        "holds " + std::to_string(size) + " bytes instead of " + std::to_string(expectedSize));
  }
  return file.close(err);
}

std::string temporaryName() {
  static thread_local std::mt19937 generator{std::random_device{}()};
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = ".sundrix-aaaaaa.part";
  for (std::size_t i = 9; i < 15; ++i) name[i] = kChars[generator() % (sizeof kChars - 1)];
  return name;
}

bool isTemporaryName(std::string_view name) {
  constexpr std::string_view kStart = ".sundrix-";
  constexpr std::string_view kEnd = ".part";
  if (name.size() <= kStart.size() + kEnd.size() || !name.starts_with(kStart) ||
      !name.ends_with(kEnd)) {
    return false;
  }
  // Exactly what temporaryName() makes: six letters or digits, nothing a person would
  // name a file of their own.
  const std::string_view middle =
      name.substr(kStart.size(), name.size() - kStart.size() - kEnd.size());
  if (middle.size() != 6) return false;
  for (const char c : middle) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

std::uint64_t identityPrint(const FileIdentity& id) {
  // Each field mixed in turn (the finalizer of splitmix64), so that every bit of every
  // field moves about half of the result's.
  std::uint64_t h = 0x9E3779B97F4A7C15ULL;
  for (const std::uint64_t field :
       {id.device, id.inode, static_cast<std::uint64_t>(id.size),
        static_cast<std::uint64_t>(id.modifiedNs), static_cast<std::uint64_t>(id.changedNs)}) {
    h ^= field;
    h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ULL;
    h = (h ^ (h >> 27)) * 0x94D049BB133111EBULL;
    h ^= h >> 31;
  }
  return h;
}

}  // namespace platform

// Driver of the floor lines of bench/checksum.sh: what a checksummed split of INPUT into
// 3 parts cannot go under on this machine, since it must hash every byte as well as copy it.
//   bench_copy_floor one INPUT          one SHA-256 stream over INPUT, from the page cache:
//                                       the whole file's digest is one chain of blocks, so
//                                       no split that writes it can end sooner
//   bench_copy_floor split INPUT        the split's digest work as it is done here: that
//                                       stream over the first third, then the part's and
//                                       the whole file's streams interleaved
//   bench_copy_floor copy INPUT OUTPUT  the same while another thread copies INPUT into
//                                       the new file OUTPUT with read() and write() of
//                                       128 KiB, as GNU split copies: the two share memory
// Each prints its wall time in seconds. Exits 2 where the processor has no SHA
// instructions (the split then hashes otherwise).
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "engine/sha256_pair.h"

namespace {

double seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// One stream over `size` bytes; returns the first byte of its digest.
unsigned hashOnce(const std::uint8_t* data, std::size_t size) {
  engine::Sha256Pair pair;
  pair.updateSecond(data, size);
  return pair.finishSecond()[0];
}

// The split's digest work over `size` bytes; returns the first byte of the whole file's
// digest.
unsigned hashAsSplit(const std::uint8_t* data, std::size_t size) {
  engine::Sha256Pair pair;
  const std::size_t third = size / 3;
  pair.updateSecond(data, third);  // part 1's digest is the whole file's so far
  pair.updateBoth(data + third, third);
  pair.finishFirst();
  pair.updateBoth(data + 2 * third, size - 2 * third);
  pair.finishFirst();
  return pair.finishSecond()[0];
}

bool copyFile(int in, const char* outPath) {
  const int out = ::open(outPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) return false;
  std::vector<char> buffer(128 * 1024);
  off_t at = 0;
  for (;;) {
    const ssize_t got = ::pread(in, buffer.data(), buffer.size(), at);
    if (got <= 0) return ::close(out) == 0 && got == 0;
    at += got;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (put <= 0) return ::close(out), false;
      done += put;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (!((mode == "one" || mode == "split") && argc == 3) && !(mode == "copy" && argc == 4)) {
    std::fprintf(stderr, "usage: bench_copy_floor one|split INPUT | copy INPUT OUTPUT\n");
    return 1;
  }
  if (!engine::Sha256Pair::available()) {
    std::fprintf(stderr, "bench_copy_floor: no SHA instructions on this processor\n");
    return 2;
  }
  const int in = ::open(argv[2], O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (in < 0 || ::fstat(in, &st) != 0 || st.st_size <= 0) {
    std::perror(argv[2]);
    return 1;
  }
  const auto size = static_cast<std::size_t>(st.st_size);
  // Filled before the clock starts, which can only lower the floor.
  void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_SHARED | MAP_POPULATE, in, 0);
  if (mapped == MAP_FAILED) {
    std::perror(argv[2]);
    return 1;
  }
  const auto* data = static_cast<const std::uint8_t*>(mapped);
  std::atomic<unsigned> sink{0};  // keeps the digests from being left out

  const auto t0 = std::chrono::steady_clock::now();
  if (mode == "one") {
    sink += hashOnce(data, size);
  } else if (mode == "split") {
    sink += hashAsSplit(data, size);
  } else {
    std::thread hasher([&] { sink += hashAsSplit(data, size); });
    const bool copied = copyFile(in, argv[3]);
    hasher.join();
    if (!copied) {
      std::perror(argv[3]);
      return 1;
    }
  }
  std::printf("%.3f\n", seconds(t0));
  return 0;
}

// Shrink throughput: packs a deterministic mixed file with TZip and, in the same run,
// with gzip -6 and gzip -1, and prints MB/s, compression ratios and the CPU-time ratio.
//
// The input (default 64 MiB) is made from a fixed seed in 64 KiB blocks, each one of:
// text-like lines (words, numbers, punctuation), runs of one byte value (1-300 long),
// random bytes, or fixed-width records with a counter and a few varying fields.
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zip/tzip.h"

namespace {

struct XorShift {
  std::uint64_t s;
  std::uint32_t next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return static_cast<std::uint32_t>(s >> 16);
  }
};

void textBlock(XorShift& r, std::vector<std::uint8_t>& b, std::size_t n) {
  static const char* const kWords[] = {"the",   "part", "file",   "split",  "join",  "archive",
                                       "movie", "size", "of",     "and",    "to",    "a",
                                       "is",    "data", "folder", "number", "bytes", "copy"};
  std::size_t end = b.size() + n;
  while (b.size() < end) {
    std::string w = kWords[r.next() % (sizeof kWords / sizeof *kWords)];
    if (r.next() % 8 == 0) w = std::to_string(r.next() % 100000);
    w += r.next() % 12 == 0 ? ".\n" : " ";
    for (char c : w) {
      if (b.size() < end) b.push_back(static_cast<std::uint8_t>(c));
    }
  }
}

std::vector<std::uint8_t> makeInput(std::size_t size) {
  XorShift r{0x5D1C0FFEE1234567ull};
  std::vector<std::uint8_t> b;
  b.reserve(size);
  const std::size_t block = 64 * 1024;
  std::uint32_t record = 0;
  while (b.size() < size) {
    const std::size_t n = std::min(block, size - b.size());
    const std::size_t end = b.size() + n;
    switch (r.next() % 4) {
      case 0:
        textBlock(r, b, n);
        break;
      case 1:
        while (b.size() < end) {
          const auto v = static_cast<std::uint8_t>(r.next());
          for (std::uint32_t k = 1 + r.next() % 300; k > 0 && b.size() < end; --k) b.push_back(v);
        }
        break;
      case 2:
        while (b.size() < end) b.push_back(static_cast<std::uint8_t>(r.next()));
        break;
      default:
        while (b.size() < end) {
          char rec[33];
          std::snprintf(rec, sizeof rec, "%08u;%05u;%c;%012u;\n", record++, r.next() % 500,
                        'A' + static_cast<char>(r.next() % 6), r.next() % 1000);
          for (std::size_t k = 0; k < 32 && b.size() < end; ++k) {
            b.push_back(static_cast<std::uint8_t>(rec[k]));
          }
        }
    }
  }
  return b;
}

double cpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long long fileBytes(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

struct Result {
  double cpu;
  long long bytes;
};

Result runGzip(const std::string& level, const std::string& input, const std::string& out) {
  const double before = cpuSeconds(RUSAGE_CHILDREN);
  const std::string cmd = "gzip " + level + " -c '" + input + "' > '" + out + "'";
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "bench: '%s' failed\n", cmd.c_str());
  return {cpuSeconds(RUSAGE_CHILDREN) - before, fileBytes(out)};
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = "/tmp";
  std::size_t mib = 64;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--dir") == 0) dir = argv[i + 1];
    if (std::strcmp(argv[i], "--mib") == 0) mib = std::strtoul(argv[i + 1], nullptr, 10);
  }
  const std::string input = dir + "/bench_shrink_input.bin";
  const std::string archive = dir + "/bench_shrink_input.zip";
  {
    const std::vector<std::uint8_t> data = makeInput(mib << 20);
    FILE* f = std::fopen(input.c_str(), "wb");
    if (f == nullptr || std::fwrite(data.data(), 1, data.size(), f) != data.size() ||
        std::fclose(f) != 0) {
      std::fprintf(stderr, "bench: cannot write %s\n", input.c_str());
      return 1;
    }
  }
  const double mb = static_cast<double>(mib << 20) / 1e6;
  std::remove(archive.c_str());
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  zip::TZip zip;
  zip.Files = {input};
  zip.Overwrite = true;
  zip.SetFName(archive);
  const double cpu0 = cpuSeconds(RUSAGE_SELF);
  const auto wall0 = std::chrono::steady_clock::now();
  const bool ok = zip.Execute();
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  const Result tzip{cpuSeconds(RUSAGE_SELF) - cpu0, fileBytes(archive)};
  if (!ok) std::fprintf(stderr, "bench: TZip failed: %s\n", zip.lastFailure().c_str());
  const Result g6 = runGzip("-6", input, dir + "/bench_shrink_input.6.gz");
  const Result g1 = runGzip("-1", input, dir + "/bench_shrink_input.1.gz");
  rusage self{};
  getrusage(RUSAGE_SELF, &self);
  std::printf("input: %zu MiB mixed (text, runs, random, records), seed fixed\n", mib);
  std::printf("%-10s %8s %9s %9s\n", "tool", "CPU s", "MB/s", "size %");
  const auto row = [&](const char* name, const Result& r) {
    std::printf("%-10s %8.2f %9.1f %9.1f\n", name, r.cpu, mb / r.cpu,
                100.0 * static_cast<double>(r.bytes) / static_cast<double>(mib << 20));
  };
  row("TZip", tzip);
  row("gzip -6", g6);
  row("gzip -1", g1);
  std::printf("TZip wall time %.2f s\n", wall);
  std::printf("CPU ratio gzip -6 / TZip: %.2f   gzip -1 / TZip: %.2f\n", g6.cpu / tzip.cpu,
              g1.cpu / tzip.cpu);
  std::printf("peak RSS of this process: %ld KiB (includes the %zu MiB input it generated)\n",
              self.ru_maxrss, mib);
  std::remove(input.c_str());
  std::remove(archive.c_str());
  std::remove((dir + "/bench_shrink_input.6.gz").c_str());
  std::remove((dir + "/bench_shrink_input.1.gz").c_str());
  return ok ? 0 : 1;
}

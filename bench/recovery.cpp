// Driver of the recovery-data bench: makes a set's recovery files, or checks a set and
// rebuilds what is lost into NAME.rebuilt files, timing the work.
//   bench_recovery create SLICE_BYTES BLOCKS BASE_PATH FILE...
//   bench_recovery repair FOLDER RECOVERY_FILE...
//   bench_recovery kernel      (the region kernels' throughput, in and out of the cache)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "par2/gf16.h"
#include "par2/recovery_creator.h"
#include "par2/recovery_repair.h"
#include "par2/recovery_set.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int create(int argc, char** argv) {
  par2::CreateOptions options;
  options.sliceSize = std::strtoull(argv[2], nullptr, 10);
  options.recoveryBlocks = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
  const std::vector<std::string> files(argv + 5, argv + argc);
  std::vector<std::string> written;
  platform::IoError err;
  const auto start = std::chrono::steady_clock::now();
  if (!par2::createRecoveryFiles(files, options, argv[4], written, err)) {
    std::fprintf(stderr, "%s\n", err.message().c_str());
    return 1;
  }
  std::printf("created %zu files in %.2f s (kernel %s)\n", written.size(), secondsSince(start),
              par2::kernelName(par2::activeKernel()));
  return 0;
}

int repair(int argc, char** argv) {
  const auto start = std::chrono::steady_clock::now();
  par2::RecoverySet set;
  if (!set.load(std::vector<std::string>(argv + 3, argv + argc))) {
    std::fprintf(stderr, "%s\n", set.error().c_str());
    return 1;
  }
  const std::vector<std::string> sources = par2::pathsInFolder(set, argv[2]);
  const par2::SetCheck check = par2::checkFiles(set, sources);
  std::vector<std::string> outputs;
  for (const std::string& s : sources) outputs.push_back(s + ".rebuilt");
  const par2::RepairResult r = par2::repairFiles(set, check, sources, outputs);
  std::printf("%s; %s in %.2f s\n", check.summary.c_str(), r.message.c_str(), secondsSince(start));
  return r.status == par2::RepairStatus::Rebuilt ? 0 : 1;
}

int kernels() {
  for (std::size_t bytes : {std::size_t{64} << 10, std::size_t{32} << 20}) {
    std::vector<std::uint8_t> src(bytes, 0x5A), dst(bytes, 0xA5);
    for (par2::Kernel kernel : {par2::Kernel::Portable, par2::Kernel::Ssse3, par2::Kernel::Avx2}) {
      if (!par2::selectKernel(kernel)) continue;
      const std::size_t total = std::size_t{2} << 30;
      const auto start = std::chrono::steady_clock::now();
      for (std::size_t done = 0; done < total; done += bytes) {
        par2::mulAdd(static_cast<par2::Gf>(0x1234 + done / bytes), src.data(), dst.data(), bytes);
      }
      std::printf("%-8s region %6zu KiB: %7.0f MiB/s\n", par2::kernelName(kernel), bytes >> 10,
                  static_cast<double>(total >> 20) / secondsSince(start));
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "create" && argc >= 6) return create(argc, argv);
  if (mode == "repair" && argc >= 4) return repair(argc, argv);
  if (mode == "kernel") return kernels();
  std::fprintf(stderr, "usage: bench_recovery create SLICE BLOCKS BASE FILE... | repair FOLDER RECOVERY_FILE... | kernel\n");
  return 2;
}

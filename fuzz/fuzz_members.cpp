// Fuzz target: arbitrary bytes as an archive whose local headers all get the encryption
// and data-descriptor flags that the first byte selects (bits 0 and 3), extracted into a
// folder that holds a killed run's temporary file and a running one's, then listed.
// Beyond the sanitizers it checks that the running one's file survives, that the run
// leaves no temporary file of its own, and that no member grows past the largest size
// a header may declare here.
#include <sys/stat.h>

#include "fuzz/fuzz_input.h"
#include "platform/file.h"

namespace {

void plantDebris(const std::string& folder) {
  std::FILE* f = std::fopen((folder + ".sundrix-stale0.part").c_str(), "wb");
  if (f != nullptr) std::fclose(f);
}

// Every temporary-looking file left is either the planted debris or the held one, and
// every extracted file is within the bound.
void checkFolder(const std::string& folder, const std::string& held) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (platform::isTemporaryName(name) && name != ".sundrix-stale0.part" &&
        folder + name != held) {
      __builtin_trap();
    }
    struct stat st {};
    if (::lstat((folder + name).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        st.st_size > static_cast<off_t>(fuzz_input::kMaxDeclaredSize)) {
      __builtin_trap();
    }
  }
  ::closedir(dir);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz_input::WorkFolder work;
  if (!work.ok() || size == 0) return 0;
  const auto flags =
      static_cast<std::uint16_t>(data[0] & (zip::kFlagEncrypted | zip::kFlagDataDescriptor));
  std::vector<std::uint8_t> bytes(data + 1, data + size);
  for (std::size_t i = 0; i + zip::kLocalHeaderSize <= bytes.size(); ++i) {
    if (zip::get32(&bytes[i]) != zip::kLocalHeaderSignature) continue;
    zip::put16(&bytes[i + 6], static_cast<std::uint16_t>(zip::get16(&bytes[i + 6]) | flags));
  }
  fuzz_input::clampDeclaredSizes(bytes);
  if (!fuzz_input::writeBytes(work.archive(), bytes.data(), bytes.size())) return 0;
  const std::string out = work.outFolder();
  ::mkdir(out.c_str(), 0777);
  plantDebris(out);
  platform::IoError err;
  platform::File held = platform::createTemporaryBeside(out + "held", err);
  if (!held.isOpen()) return 0;
  zip::TUnZip unzip;
  unzip.OnError = [](zip::ZipComponent&, const std::string&) {};
  try {
    unzip.UnCrunch(work.archive(), out, {"*.*", "*"});
  } catch (const zip::UnZipError&) {
  }
  if (!platform::fileExists(held.path())) __builtin_trap();
  checkFolder(out, held.path());
  held.closeQuietly();
  fuzz_input::WorkFolder::clear(out);
  std::vector<std::string> lines;
  try {
    unzip.GetZipList(work.archive(), lines);
  } catch (const zip::UnZipError&) {
  }
  return 0;
}

// Fuzz target: arbitrary bytes as an archive of one part, read the way a join reads each
// part's archive. Beyond the sanitizers it checks that the decoder never delivers more
// bytes than the records declare, and that a member called whole delivered exactly them.
#include "fuzz/fuzz_input.h"
#include "platform/file.h"
#include "zip/single_member.h"

namespace {

struct CountingSink : zip::ByteSink {
  std::uint64_t limit = 0;
  std::uint64_t got = 0;
  void write(const std::uint8_t*, std::size_t n) override {
    got += n;
    if (got > limit) __builtin_trap();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz_input::WorkFolder work;
  if (!work.ok()) return 0;
  if (!fuzz_input::writeBytes(work.archive(), data, size)) return 0;
  platform::IoError io;
  platform::File archive = platform::File::open(work.archive(), platform::File::Mode::Read, io);
  if (!archive.isOpen()) return 0;
  zip::SingleMember member;
  std::string why;
  if (!zip::readSingleMember(archive, member, why, io)) return 0;
  CountingSink sink;
  sink.limit = member.uncompressedSize;
  const zip::MemberOutcome outcome =
      zip::decodeSingleMember(archive, member, sink, [] { return true; }, why, io);
  if (outcome == zip::MemberOutcome::Whole && sink.got != member.uncompressedSize) __builtin_trap();
  return 0;
}

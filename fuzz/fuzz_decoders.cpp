// Fuzz target: the decoders on memory streams, without files. The first byte picks the
// method (and Implode's flags), the next two the uncompressed size; the rest is the data.
#include <cstdint>
#include <string>

#include "zip/bit_reader.h"
#include "zip/explode.h"
#include "zip/unreduce.h"
#include "zip/unshrink.h"

namespace {

class CountingSink : public zip::ByteSink {
 public:
  void write(const std::uint8_t*, std::size_t n) override { total += n; }
  std::uint64_t total = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const int selector = data[0];
  const std::uint64_t declared = std::uint64_t{data[1]} | std::uint64_t{data[2]} << 8;
  zip::MemorySource source(data + 3, size - 3, 1 + (selector >> 4));
  zip::BitReader in(source);
  CountingSink sink;
  const zip::DecodeReport report = [](const std::string&) {};
  switch (selector & 7) {
    case 0:
      zip::Unshrink(in, sink, declared, report);
      break;
    case 1:
    case 2:
    case 3:
    case 4:
      zip::Unreduce(in, sink, selector & 7, declared, report);
      break;
    default:
      zip::Explode(in, sink,
                   static_cast<std::uint16_t>(((selector & 7) - 5) * 2 + (selector & 8 ? 4 : 0)),
                   declared, report);
      break;
  }
  if (sink.total > declared) __builtin_trap();
  return 0;
}

// Inflate on zlib: input in the source's runs, output through a 64 KiB buffer.
#include "zip/inflate.h"

#include <zlib.h>

#include <vector>

namespace zip {

DecodeResult Inflate(ByteSource& in, ByteSink& out, std::uint64_t size, const DecodeReport& report) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) {
    report("Not enough memory to inflate !");
    return DecodeResult::NoMemory;
  }
  struct End {
    z_stream& z;
    ~End() { inflateEnd(&z); }
  } end{z};
  std::vector<std::uint8_t> buffer(64 * 1024);
  std::uint64_t delivered = 0;
  const std::uint8_t* data = nullptr;
  for (;;) {
    if (z.avail_in == 0) {
      const std::size_t n = in.next(data);
      if (n == 0) {
        report("Deflated data is damaged: it ends before its last block");
        return DecodeResult::Stopped;
      }
      z.next_in = const_cast<Bytef*>(data);
      z.avail_in = static_cast<uInt>(n);
    }
    z.next_out = buffer.data();
    z.avail_out = static_cast<uInt>(buffer.size());
    const int rc = inflate(&z, Z_NO_FLUSH);
    const std::uint64_t made = buffer.size() - z.avail_out;
    const std::uint64_t room = size - delivered;
    out.write(buffer.data(), static_cast<std::size_t>(made < room ? made : room));
    delivered += made < room ? made : room;
    if (made > room) return DecodeResult::TooLong;
    if (rc == Z_STREAM_END) return DecodeResult::Done;
    if (rc == Z_MEM_ERROR) {
      report("Not enough memory to inflate !");
      return DecodeResult::NoMemory;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      report(std::string("Deflated data is damaged: ") + (z.msg != nullptr ? z.msg : "bad data"));
      return DecodeResult::Stopped;
    }
  }
}

}  // namespace zip

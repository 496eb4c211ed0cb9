// Corpus maker of bench/unzip.sh: a deterministic file of word-like text with stretches of
// noise, so that Shrink has strings to find and its table fills and clears many times.
//   bench_unzip OUTPUT MEBIBYTES
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_unzip OUTPUT MEBIBYTES\n");
    return 2;
  }
  const std::uint64_t size = std::strtoull(argv[2], nullptr, 10) << 20;
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 1;
  static const char* const kWords[] = {
      "part",   "file",   "join",  "split", "archive", "member", "the", "of",  "and",
      "movie",  "folder", "bytes", "size",  "number",  "copy",   "a",   "to",  "in",
      "shrink", "table",  "code",  "clear", "window",  "tree",   "is",  "for", "with"};
  const std::size_t wordCount = sizeof kWords / sizeof kWords[0];
  std::uint32_t x = 12345;
  auto next = [&x] {
    x = x * 1664525u + 1013904223u;
    return x >> 8;
  };
  std::vector<char> block;
  std::uint64_t written = 0;
  while (written < size) {
    block.clear();
    if (next() % 10 == 0) {
      for (int i = 0; i < 2048; ++i) block.push_back(static_cast<char>(next()));
    } else {
      while (block.size() < 8192) {
        const std::string word = kWords[next() % wordCount];
        block.insert(block.end(), word.begin(), word.end());
        block.push_back(next() % 12 == 0 ? '\n' : ' ');
      }
    }
    const std::uint64_t n = std::min<std::uint64_t>(block.size(), size - written);
    if (std::fwrite(block.data(), 1, n, out) != n) return 1;
    written += n;
  }
  return std::fclose(out) == 0 ? 0 : 1;
}

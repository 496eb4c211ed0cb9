// Unreduce. The probabilistic stage picks each byte from the follower set of the byte
// before it; the expansion stage turns DLE (144) sequences into literal 144s and copies.
#include "zip/unreduce.h"

#include <memory>
#include <new>

#include "zip/output_window.h"

namespace zip {
namespace {

constexpr int kDle = 144;
constexpr std::size_t kWindowSize = 4096;
constexpr int kMaxFollowers = 32;

struct FollowerSets {
  std::uint8_t count[256] = {};
  std::uint8_t byte[256][kMaxFollowers] = {};
};

// Bits of a follower number for a set of `count` entries.
int followerBits(int count) {
  int bits = 1;
  while ((1 << bits) < count) ++bits;
  return bits;
}

// The sets come last byte value first. A count that does not fit the set is damage.
bool loadFollowerSets(BitReader& in, FollowerSets& sets) {
  for (int value = 255; value >= 0; --value) {
    const int count = in.ReadBits(6) & 63;
    if (count > kMaxFollowers) return false;
    sets.count[value] = static_cast<std::uint8_t>(count);
    for (int i = 0; i < count; ++i) {
      sets.byte[value][i] = static_cast<std::uint8_t>(in.ReadBits(8));
    }
  }
  return true;
}

// The expansion stage: a small state machine over the bytes of the first stage.
class Expander {
 public:
  Expander(OutputWindow& window, int factor)
      : m_window(window), m_factor(factor), m_lengthMask(0x7F >> (factor - 1)) {}

  void take(int c) {
    switch (m_state) {
      case 0:
        if (c == kDle) {
          m_state = 1;
        } else {
          m_window.put(static_cast<std::uint8_t>(c));
        }
        break;
      case 1:
        if (c == 0) {
          // Format note: DLE followed by 0 stands for one literal DLE.
          m_window.put(kDle);
          m_state = 0;
        } else {
          m_saved = c;
          m_length = c & m_lengthMask;
          m_state = m_length == m_lengthMask ? 2 : 3;
        }
        break;
      case 2:
        m_length += c;
        m_state = 3;
        break;
      default: {
        const int distance = ((m_saved >> (8 - m_factor)) << 8) + c + 1;
        m_window.copy(static_cast<std::size_t>(distance), static_cast<std::size_t>(m_length) + 3);
        m_state = 0;
        break;
      }
    }
  }

 private:
  OutputWindow& m_window;
  int m_factor;
  int m_lengthMask;
  int m_state = 0;
  int m_saved = 0;
  int m_length = 0;
};

}  // namespace

DecodeResult Unreduce(BitReader& in, ByteSink& out, int factor, std::uint64_t size,
                      const DecodeReport& report) {
  if (size == 0) return DecodeResult::Done;
  std::unique_ptr<FollowerSets> sets;
  std::unique_ptr<OutputWindow> window;
  try {
    sets = std::make_unique<FollowerSets>();
    window = std::make_unique<OutputWindow>(out, kWindowSize, size);
  } catch (const std::bad_alloc&) {
    report(kUnreduceNoMemory);
    return DecodeResult::NoMemory;
  }
  if (!loadFollowerSets(in, *sets)) {
    report(kUnreduceBadFollowers);
    return DecodeResult::Stopped;
  }
  Expander expander(*window, factor);
  int last = 0;
  while (!window->full()) {
    const int count = sets->count[last];
    int x;
    if (count == 0 || (in.ReadBits(1) & 1) == 1) {
      x = in.ReadBits(8) & 0xFF;
    } else {
      const int bits = followerBits(count);
      const int index = in.ReadBits(bits) & ((1 << bits) - 1);
      if (index >= count) {
        window->flush();
        report(kUnreduceBadFollowers);
        return DecodeResult::Stopped;
      }
      x = sets->byte[last][index];
    }
    expander.take(x);
    last = x;
    // The member's data has ended: the byte cut short was the last one. Going on with
    // made-up bits would fill up to the declared size, which damaged data may put at 4 GiB.
    if (in.ended()) break;
  }
  window->flush();
  return window->full() ? DecodeResult::Done : DecodeResult::Stopped;
}

}  // namespace zip

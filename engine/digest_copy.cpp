// The copy with digests on the way.
#include "engine/digest_copy.h"

#include <algorithm>
#include <cstring>

#include "zip/crc32.h"

namespace engine {

DigestCopy::DigestCopy(Lanes lanes) : m_sink(lanes.parts), m_crc(zip::kCrcStart) {
  // Both SHA-256 digests on one thread, interleaved, where the processor has the
  // instructions: half the hashing time, and one core left for the copy.
  const bool pair = lanes.partSha256 && lanes.wholeSha256 && Sha256Pair::available();
  m_active[kPart] = lanes.partSha256 && !pair;
  m_active[kWholeSha] = lanes.wholeSha256 && !pair;
  m_active[kPair] = pair;
  m_active[kWholeCrc] = lanes.wholeCrc32;
  m_active[kSink] = m_sink != nullptr;
  for (int lane = 0; lane < kLaneCount; ++lane) {
    if (m_active[lane]) m_threads.emplace_back([this, lane] { run(static_cast<Lane>(lane)); });
  }
}

DigestCopy::~DigestCopy() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closing = true;
  }
  m_changed.notify_all();
  for (std::thread& t : m_threads) t.join();
}

char* DigestCopy::fillPointer() {
  Slot& slot = m_slots[m_produced % kSlots];
  if (m_filling) return slot.data.get() + slot.size;
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] {
    for (int lane = 0; lane < kLaneCount; ++lane) {
      if (m_active[lane] && m_produced - m_consumed[lane] >= kSlots) return false;
    }
    return true;
  });
  slot.size = 0;
  slot.partEnds.clear();
  m_filling = true;
  return slot.data.get();
}

void DigestCopy::submit(bool wholeOnly) {
  if (!m_filling) fillPointer();
  writePending();  // the digest threads may hand the slot back for new bytes any time now
  Slot& slot = m_slots[m_produced % kSlots];
  slot.wholeOnly = wholeOnly;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_produced;
    m_filling = false;
  }
  m_changed.notify_all();
}

namespace {

bool allZero(const char* p, std::size_t n) {
  static const char kZeros[4096] = {};
  for (; n >= sizeof kZeros; p += sizeof kZeros, n -= sizeof kZeros) {
    if (std::memcmp(p, kZeros, sizeof kZeros) != 0) return false;
  }
  return std::memcmp(p, kZeros, n) == 0;
}

}  // namespace

bool DigestCopy::copy(platform::File& in, platform::File& out, std::int64_t n,
                      platform::IoError& err, const std::function<bool()>& stopRequested,
                      const platform::CopyProgress& moved) {
  if (writeFailed(err)) return false;
  if (m_filling && m_fillWholeOnly) submit(true);
  std::int64_t shared = 0;
  if (!shareLeading(in, out, n, shared, err, stopRequested, moved)) return false;
  n -= shared;
  return pass(in, &out, n, err, stopRequested, moved);
}

// Whole pages of zeros are not written but passed over, as the kernel's copy passes over
// holes: the output (which always grows at its end here) gets a hole that reads back as the
// same zeros, and a sparse image keeps costing no room.
bool DigestCopy::pass(platform::File& in, platform::File* out, std::int64_t n,
                      platform::IoError& err, const std::function<bool()>& stopRequested,
                      const platform::CopyProgress& moved) {
  // Bytes waiting for another output (or bytes for no output) would mix with them.
  if (m_pendingOut != nullptr && m_pendingOut != out) writePending();
  std::int64_t skippedTo = -1;  // the output's position after a run of zeros not written
  while (n > 0) {
    if (stopRequested && stopRequested()) return false;
    char* at = fillPointer();
    m_fillWholeOnly = false;
    Slot& slot = m_slots[m_produced % kSlots];
    const std::int64_t want =
        std::min<std::int64_t>(n, static_cast<std::int64_t>(kSlotBytes - slot.size));
    if (!in.readExact(at, want, err)) return false;
    if (out != nullptr && !out->isStream() && want >= kHoleBytes && allZero(at, static_cast<std::size_t>(want))) {
      if (!flush(err)) return false;
      if (skippedTo < 0) skippedTo = out->position(err);
      if (skippedTo < 0 || !out->seek(skippedTo += want, err)) return false;
    } else if (out != nullptr && m_writeBehind) {
      if (m_pendingOut == nullptr) {
        m_pendingOut = out;
        m_pendingFrom = slot.size;
      }
      skippedTo = -1;
    } else if (out != nullptr) {
      if (!out->writeAll(at, want, err)) return false;
      skippedTo = -1;
    }
    slot.size += static_cast<std::size_t>(want);
    n -= want;
    if (slot.size == kSlotBytes) submit(false);
    if (writeFailed(err)) return false;
    if (moved) moved(want);
  }
  // A copy that ends in a hole must still reach its full length.
  if (skippedTo >= 0 && out->size(err) < skippedTo && !out->truncate(skippedTo, err)) return false;
  return !err.isSet();
}

// Shared blocks cost neither a write nor room, but the digests still need their bytes:
// they are read once, from the input, right after they were shared. The input must not
// change in between, or the digests would not be of what the output holds.
bool DigestCopy::shareLeading(platform::File& in, platform::File& out, std::int64_t n,
                              std::int64_t& shared, platform::IoError& err,
                              const std::function<bool()>& stopRequested,
                              const platform::CopyProgress& moved) {
  shared = 0;
  if (m_shareBlock <= 0 || n <= platform::kSmallestSharedCopy) return true;
  if (!flush(err)) return false;  // the output's position must be where its bytes end
  const std::int64_t inAt = in.position(err);
  const std::int64_t outAt = inAt < 0 ? -1 : out.position(err);
  if (outAt < 0) return false;
  platform::FileIdentity before, after;
  if (inAt % m_shareBlock != 0 || outAt % m_shareBlock != 0 || !in.identify(before)) return true;
  std::int64_t asked = 0;  // the bytes from inAt the OS was asked to read ahead
  while (shared < n) {
    const std::int64_t chunk =
        platform::shareRange(in, inAt + shared, out, outAt + shared,
                             std::min(n - shared, kShareChunk), m_shareBlock, err);
    if (chunk < 0) return false;
    if (chunk == 0) break;
    shared += chunk;
    // Freshly shared bytes are rarely in memory: the disk reads this chunk and the next
    // while the digests take them, instead of a little ahead of each read.
    const std::int64_t ahead = std::min(n, shared + kShareChunk);
    if (ahead > asked) {
      in.willRead(inAt + asked, ahead - asked);
      asked = ahead;
    }
    if (!pass(in, nullptr, chunk, err, stopRequested, moved)) return false;
  }
  if (shared == 0) return true;
  if (!in.identify(after) || after != before) {
    err.operation = "read";
    err.path = in.path();
    err.detail = "it changed while it was copied";
    return false;
  }
  return out.seek(outAt + shared, err);
}

void DigestCopy::writePending() {
  if (m_pendingOut == nullptr) return;
  const Slot& slot = m_slots[m_produced % kSlots];
  if (!m_writeError.isSet()) {
    m_pendingOut->writeAll(slot.data.get() + m_pendingFrom,
                           static_cast<std::int64_t>(slot.size - m_pendingFrom), m_writeError);
  }
  m_pendingOut = nullptr;
}

bool DigestCopy::writeFailed(platform::IoError& err) const {
  if (!m_writeError.isSet()) return false;
  err = m_writeError;
  return true;
}

bool DigestCopy::flush(platform::IoError& err) {
  writePending();
  return !writeFailed(err);
}

void DigestCopy::feedWhole(const void* data, std::size_t n) {
  const char* p = static_cast<const char*>(data);
  if (m_filling && !m_fillWholeOnly) submit(false);
  while (n > 0) {
    char* at = fillPointer();
    m_fillWholeOnly = true;
    Slot& slot = m_slots[m_produced % kSlots];
    const std::size_t take = std::min(n, kSlotBytes - slot.size);
    std::memcpy(at, p, take);
    slot.size += take;
    p += take;
    n -= take;
    if (slot.size == kSlotBytes) submit(true);
  }
}

void DigestCopy::endPart() {
  if (m_filling && m_fillWholeOnly) submit(true);
  fillPointer();
  m_fillWholeOnly = false;
  Slot& slot = m_slots[m_produced % kSlots];
  slot.partEnds.push_back(slot.size);
}

std::string DigestCopy::partSha256(std::size_t k) { return hexOf(partDigest(k)); }

std::array<std::uint8_t, 32> DigestCopy::partDigest(std::size_t k) {
  // The part may end in the chunk being filled: hand it over, unless its digest is ready.
  if (m_filling && partsDigested() <= k) submit(m_fillWholeOnly);
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [&] { return m_partsForgotten + m_partDigests.size() > k; });
  return m_partDigests.at(k - m_partsForgotten);
}

void DigestCopy::forgetPartsBefore(std::size_t k) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const std::size_t drop = std::min(k - std::min(k, m_partsForgotten), m_partDigests.size());
  m_partDigests.erase(m_partDigests.begin(), m_partDigests.begin() + static_cast<std::ptrdiff_t>(drop));
  m_partsForgotten += drop;
}

std::size_t DigestCopy::partsDigested() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_partsForgotten + m_partDigests.size();
}

void DigestCopy::waitForLane(Lane lane) {
  if (m_filling) submit(m_fillWholeOnly);
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [&] { return m_consumed[lane] == m_produced; });
}

std::string DigestCopy::wholeSha256() {
  if (m_active[kPair]) {
    waitForLane(kPair);
    return hexOf(m_pair.finishSecond());
  }
  waitForLane(kWholeSha);
  return m_wholeSha.finishHex();
}

std::uint32_t DigestCopy::wholeCrc32() {
  waitForLane(kWholeCrc);
  return ~m_crc;
}

void DigestCopy::drainSink() { waitForLane(kSink); }

namespace {

// Hands a slot's bytes over part by part: `bytes` gets each stretch (possibly empty), and
// `ended` is called where a part ends.
template <typename Bytes, typename Ended>
void walkParts(const char* data, std::size_t size, const std::vector<std::size_t>& partEnds,
               Bytes bytes, Ended ended) {
  std::size_t from = 0;
  for (const std::size_t end : partEnds) {
    bytes(data + from, end - from);
    ended();
    from = end;
  }
  bytes(data + from, size - from);
}

}  // namespace

void DigestCopy::partDigested(const std::array<std::uint8_t, 32>& digest) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_partDigests.push_back(digest);
}

void DigestCopy::digest(Lane lane, const Slot& slot) {
  const char* data = slot.data.get();
  switch (lane) {
    case kPart:
      if (slot.wholeOnly) return;
      walkParts(data, slot.size, slot.partEnds,
                [this](const char* p, std::size_t n) { m_part.update(p, n); },
                [this] { partDigested(m_part.finish()); });
      return;
    case kWholeSha:
      m_wholeSha.update(data, slot.size);
      return;
    case kPair:
      if (slot.wholeOnly) {
        m_pairOneStream = false;
        m_pair.updateSecond(data, slot.size);
        return;
      }
      // Until the first part ends, it and the whole file are the same bytes from the same
      // start: the whole file's stream alone serves both, at a single stream's cost.
      walkParts(
          data, slot.size, slot.partEnds,
          [this](const char* p, std::size_t n) {
            if (m_pairOneStream) {
              m_pair.updateSecond(p, n);
            } else {
              m_pair.updateBoth(p, n);
            }
          },
          [this] {
            partDigested(m_pairOneStream ? m_pair.secondSoFar() : m_pair.finishFirst());
            m_pairOneStream = false;
          });
      return;
    case kWholeCrc:
      m_crc = zip::updateCrc(m_crc, reinterpret_cast<const std::uint8_t*>(data), slot.size);
      return;
    case kSink:
      if (slot.wholeOnly) return;
      walkParts(
          data, slot.size, slot.partEnds,
          [this](const char* p, std::size_t n) {
            if (n > 0) m_sink->bytes(reinterpret_cast<const std::uint8_t*>(p), n);
          },
          [this] { m_sink->endPart(); });
      return;
    case kLaneCount:
      return;
  }
}

void DigestCopy::run(Lane lane) {
  std::uint64_t next = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_changed.wait(lock, [&] { return m_produced > next || m_closing; });
      if (m_produced == next) return;  // closing, and everything is digested
    }
    digest(lane, m_slots[next % kSlots]);
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_consumed[lane] = ++next;
    }
    m_changed.notify_all();
  }
}

}  // namespace engine

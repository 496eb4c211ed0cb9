// Copies bytes through memory so that every byte written is also digested: the calling
// thread reads and writes, and each digest runs on a thread of its own a few chunks
// behind, so that with more than one core hashing adds little to the copy's time. Small
// parts share a chunk (it records where each part ends), so that a thousand parts of a
// kilobyte cost the digest threads a handful of hand-overs, not a thousand.
#pragma once

#include <array>
#include <condition_variable>
#include <deque>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/checksum.h"
#include "engine/sha256_pair.h"
#include "platform/file.h"

namespace engine {

// Takes the parts' bytes as they are copied, on a digest thread of its own: bytes() gets
// them in order and endPart() closes each part, as DigestCopy::endPart() did.
class PartSink {
 public:
  virtual ~PartSink() = default;
  virtual void bytes(const std::uint8_t* data, std::size_t n) = 0;
  virtual void endPart() = 0;
};

class DigestCopy {
 public:
  struct Lanes {
    bool partSha256 = false;   // a SHA-256 per part (endPart() closes one)
    bool wholeSha256 = false;  // one SHA-256 of everything
    bool wholeCrc32 = false;   // one CRC-32 of everything
    PartSink* parts = nullptr;  // the parts' bytes (not those given to feedWhole)
  };
  explicit DigestCopy(Lanes lanes);
  ~DigestCopy();
  DigestCopy(const DigestCopy&) = delete;
  DigestCopy& operator=(const DigestCopy&) = delete;

  // Copies n bytes from the current position of `in` to that of `out`; false on a stop
  // (err unset) or a failure (err names the file and the operation).
  // `moved` is told the bytes after each chunk.
  bool copy(platform::File& in, platform::File& out, std::int64_t n, platform::IoError& err,
            const std::function<bool()>& stopRequested, const platform::CopyProgress& moved = {});
  // Lets copies share blocks of this size between input and output where both are
  // aligned to them (platform::shareableBlockSize): the bytes are then only read, for the
  // digests, not written. 0 (the default) writes every byte.
  void shareBlocks(std::int64_t blockSize) { m_shareBlock = blockSize; }
  // For copies that all go, one after another, to the end of one output (a join): their
  // bytes stay in the slot they were read into and are written a slot at a time, so that
  // a thousand small parts cost a few writes, not a thousand. The output then lags behind
  // the copies until flush(); a failed write is reported by the next copy or flush.
  void writeBehind() { m_writeBehind = true; }
  // Writes what the copies left in memory; false with `err` set when a write failed.
  bool flush(platform::IoError& err);
  // Bytes that count for the whole file's digests only (what an output to append to
  // already holds).
  void feedWhole(const void* data, std::size_t n);
  // Closes the current part; its digest becomes partSha256(k) for the k-th call (from 0).
  void endPart();
  // Waits for the k-th part's digest.
  std::string partSha256(std::size_t k);
  std::array<std::uint8_t, 32> partDigest(std::size_t k);  // the same, as bytes
  // Lets go of the digests made so far of the parts before the k-th: partSha256 is
  // then asked only for later ones. A join that has compared them needs them no more.
  void forgetPartsBefore(std::size_t k);
  // The number of part digests ready now, without waiting.
  std::size_t partsDigested();
  // Wait for everything given so far.
  std::string wholeSha256();
  std::uint32_t wholeCrc32();
  // Waits until the sink has had everything given so far.
  void drainSink();

 private:
  static constexpr std::size_t kSlots = 8;
  static constexpr std::size_t kSlotBytes = 256 * 1024;
  static constexpr std::int64_t kHoleBytes = 64 * 1024;  // the least run of zeros passed over
  // Shared per request: few requests, and a stop still seen within a slot's read.
  static constexpr std::int64_t kShareChunk = 64 * 1024 * 1024;
  // kPair does kPart's and kWholeSha's work on one thread where the processor allows.
  enum Lane { kPart, kWholeSha, kWholeCrc, kSink, kPair, kLaneCount };
  struct Slot {
    // Not cleared first: every byte is read into before it is used.
    std::unique_ptr<char[]> data = std::make_unique_for_overwrite<char[]>(kSlotBytes);
    std::size_t size = 0;
    std::vector<std::size_t> partEnds;  // offsets in `data` where a part ends, ascending
    bool wholeOnly = false;
  };

  char* fillPointer();  // room in the slot being filled, taking a free one if needed
  void submit(bool wholeOnly);
  void waitForLane(Lane lane);
  void run(Lane lane);
  void digest(Lane lane, const Slot& slot);
  void partDigested(const std::array<std::uint8_t, 32>& digest);

  // Shares what it can of the first bytes (all of them, or whole blocks), reading them for
  // the digests; `shared` gets the count, and both files' positions move past them.
  bool shareLeading(platform::File& in, platform::File& out, std::int64_t n,
                    std::int64_t& shared, platform::IoError& err,
                    const std::function<bool()>& stopRequested,
                    const platform::CopyProgress& moved);
  // Reads n bytes of `in` into the slots for the digests and writes them to `out` (none
  // when `out` is null: they are the output's already).
  bool pass(platform::File& in, platform::File* out, std::int64_t n, platform::IoError& err,
            const std::function<bool()>& stopRequested, const platform::CopyProgress& moved);

  void writePending();  // the bytes of the slot being filled that wait for their output
  bool writeFailed(platform::IoError& err) const;

  std::int64_t m_shareBlock = 0;
  bool m_writeBehind = false;
  platform::File* m_pendingOut = nullptr;  // where the waiting bytes go, if any
  std::size_t m_pendingFrom = 0;           // where they begin in the slot being filled
  platform::IoError m_writeError;          // the first write behind that failed
  bool m_active[kLaneCount] = {};
  std::vector<Slot> m_slots = std::vector<Slot>(kSlots);
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::uint64_t m_produced = 0;               // slots handed to the lanes
  std::uint64_t m_consumed[kLaneCount] = {};  // slots each lane is through with
  bool m_filling = false;                     // the slot m_produced % kSlots is being filled
  bool m_fillWholeOnly = false;
  bool m_closing = false;
  PartSink* m_sink = nullptr;
  Sha256 m_part, m_wholeSha;
  Sha256Pair m_pair;
  bool m_pairOneStream = true;  // no byte has been the whole file's alone, and no part ended
  std::uint32_t m_crc;
  // 32 bytes a part, however many, in blocks: a long run never copies them to grow, and
  // those before m_partsForgotten are gone.
  std::deque<std::array<std::uint8_t, 32>> m_partDigests;
  std::size_t m_partsForgotten = 0;
  std::vector<std::thread> m_threads;
};

}  // namespace engine

// Rebuilding lost slices by Gaussian elimination over GF(2^16) and writing the new files.
#include "par2/recovery_repair.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "par2/region_accumulator.h"

namespace par2 {
namespace {

constexpr std::size_t kChunk = 16 * 1024;

RepairResult outcome(RepairStatus status, std::string message) {
  RepairResult r;
  r.status = status;
  r.message = std::move(message);
  return r;
}

// Gauss-Jordan inversion of an m x m matrix in place; false when it is singular.
bool invert(std::vector<Gf>& a, std::size_t m, std::vector<Gf>& inverse) {
  inverse.assign(m * m, 0);
  for (std::size_t i = 0; i < m; ++i) inverse[i * m + i] = 1;
  for (std::size_t col = 0; col < m; ++col) {
    std::size_t pivot = col;
    while (pivot < m && a[pivot * m + col] == 0) ++pivot;
    if (pivot == m) return false;
    for (std::size_t c = 0; c < m; ++c) {
      std::swap(a[pivot * m + c], a[col * m + c]);
      std::swap(inverse[pivot * m + c], inverse[col * m + c]);
    }
    const Gf scale = gfDiv(1, a[col * m + col]);
    for (std::size_t c = 0; c < m; ++c) {
      a[col * m + c] = gfMul(a[col * m + c], scale);
      inverse[col * m + c] = gfMul(inverse[col * m + c], scale);
    }
    for (std::size_t r = 0; r < m; ++r) {
      const Gf f = a[r * m + col];
      if (r == col || f == 0) continue;
      for (std::size_t c = 0; c < m; ++c) {
        a[r * m + c] ^= gfMul(f, a[col * m + c]);
        inverse[r * m + c] ^= gfMul(f, inverse[col * m + c]);
      }
    }
  }
  return true;
}

constexpr std::size_t kPiece = 1 << 20;

// Adds factors[k] * (the `real` bytes at `at` in the file, zeros after) to output k.
bool addFromFile(RegionAccumulator& acc, platform::File& in, std::uint64_t at, std::uint64_t real,
                 const std::vector<Gf>& factors, std::vector<std::uint8_t>& buffer,
                 platform::IoError& err) {
  if (!in.seek(static_cast<std::int64_t>(at), err)) return false;
  if (acc.batches()) {
    std::uint8_t* slot = acc.slot();
    std::memset(slot + real, 0, static_cast<std::size_t>(acc.sliceSize() - real));
    if (!in.readExact(slot, static_cast<std::int64_t>(real), err)) return false;
    acc.commit(factors);
    return true;
  }
  for (std::uint64_t done = 0; done < real;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, real - done));
    if (!in.readExact(buffer.data(), static_cast<std::int64_t>(n), err)) return false;
    const std::size_t even = (n + 1) / 2 * 2;  // only the last piece can be odd: pad it
    buffer[n] = 0;
    acc.addPiece(static_cast<std::size_t>(done), buffer.data(), even, factors);
    done += n;
  }
  return true;
}

// Copies `n` bytes at `at` from `in` to `out`, hashing them.
bool copyRange(platform::File& in, std::uint64_t at, std::uint64_t n, platform::File& out, Md5& md5,
               std::vector<std::uint8_t>& buffer, platform::IoError& err) {
  if (!in.seek(static_cast<std::int64_t>(at), err)) return false;
  for (std::uint64_t done = 0; done < n;) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, n - done));
    if (!in.readExact(buffer.data(), static_cast<std::int64_t>(piece), err) ||
        !out.writeAll(buffer.data(), static_cast<std::int64_t>(piece), err)) {
      return false;
    }
    md5.update(buffer.data(), piece);
    done += piece;
  }
  return true;
}

// out[k] = sum over j of inverse[k][j] * in[j], chunk by chunk, in place.
void applyInverse(RegionAccumulator& acc, const std::vector<Gf>& inverse) {
  const std::size_t m = acc.outputCount();
  std::vector<std::uint8_t> temp(m * kChunk);
  for (std::size_t at = 0; at < acc.sliceSize(); at += kChunk) {
    const std::size_t n = std::min(kChunk, acc.sliceSize() - at);
    std::fill(temp.begin(), temp.end(), 0);
    for (std::size_t k = 0; k < m; ++k) {
      for (std::size_t j = 0; j < m; ++j) mulAdd(inverse[k * m + j], acc.output(j) + at, temp.data() + k * kChunk, n);
    }
    for (std::size_t k = 0; k < m; ++k) std::memcpy(acc.output(k) + at, temp.data() + k * kChunk, n);
  }
}

enum class Written { Checked, Failed, Mismatch, Stopped };

// Writes a file's good slices (from its old self) and its solved ones into `output`, and
// keeps the new file only when its MD5 is the described one.
Written writeRebuilt(const SetFile& f, const FileCheck& c, const std::string& source,
                     const std::string& output, std::uint64_t sliceSize, RegionAccumulator& acc,
                     const std::map<std::uint32_t, std::size_t>& solved,
                     std::vector<std::uint8_t>& buffer, const Steering& steering,
                     platform::IoError& err) {
  platform::File in;
  if (c.goodSlices > 0) {
    in = platform::File::open(source, platform::File::Mode::Read, err);
    if (!in.isOpen()) return Written::Failed;
  }
  // Never in place of anything: whatever took the name since it was checked (another
  // repair's file, a user's) stays as it is, and this rebuild fails.
  platform::File out = platform::File::open(output, platform::File::Mode::CreateExclusive, err);
  if (!out.isOpen()) return Written::Failed;
  Md5 md5;
  bool ok = true;
  bool stopped = false;
  for (std::uint32_t s = 0; ok && !stopped && s < f.sliceCount; ++s) {
    const std::uint64_t at = s * sliceSize;
    const std::uint64_t real = std::min(sliceSize, f.description.length - at);
    if (c.sliceGood[s]) {
      ok = copyRange(in, at, real, out, md5, buffer, err);
    } else {
      const std::uint8_t* data = acc.output(solved.at(f.firstSlice + s));
      md5.update(data, static_cast<std::size_t>(real));
      ok = out.writeAll(data, static_cast<std::int64_t>(real), err);
    }
    steering.advance(real);
    stopped = steering.stop();
  }
  ok = ok && !stopped && out.sync(err) && out.close(err);
  const bool matches = ok && md5.finish() == f.description.hashFull;
  if (!matches) {
    out.closeQuietly();
    platform::IoError ignored;
    platform::removeFile(output, ignored);
  }
  if (stopped) return Written::Stopped;
  if (!ok) return Written::Failed;
  return matches ? Written::Checked : Written::Mismatch;
}

}  // namespace

bool solveMatrix(const std::vector<std::uint32_t>& lost, const std::vector<std::uint32_t>& exponents,
                 std::vector<std::size_t>& chosen, std::vector<Gf>& inverse) {
  const std::size_t m = lost.size();
  chosen.clear();
  std::vector<std::vector<Gf>> basis;  // reduced rows, each with its leading column
  std::vector<std::size_t> leads;
  std::vector<Gf> rows;                // the chosen rows as they are
  for (std::size_t e = 0; e < exponents.size() && chosen.size() < m; ++e) {
    std::vector<Gf> row(m);
    for (std::size_t k = 0; k < m; ++k) row[k] = gfPow(inputConstant(lost[k]), exponents[e]);
    std::vector<Gf> reduced = row;
    for (std::size_t b = 0; b < basis.size(); ++b) {
      const Gf f = gfDiv(reduced[leads[b]], basis[b][leads[b]]);
      if (f == 0) continue;
      for (std::size_t k = 0; k < m; ++k) reduced[k] ^= gfMul(f, basis[b][k]);
    }
    const auto lead = std::find_if(reduced.begin(), reduced.end(), [](Gf v) { return v != 0; });
    if (lead == reduced.end()) continue;  // depends on the rows chosen already
    leads.push_back(static_cast<std::size_t>(lead - reduced.begin()));
    basis.push_back(std::move(reduced));
    chosen.push_back(e);
    rows.insert(rows.end(), row.begin(), row.end());
  }
  if (chosen.size() < m) return false;
  return invert(rows, m, inverse);
}

RepairResult repairFiles(const RecoverySet& set, const SetCheck& check,
                         const std::vector<std::string>& sources,
                         const std::vector<std::string>& outputs, const RepairOptions& options) {
  if (check.stopped) return outcome(RepairStatus::Stopped, "the check was stopped: nothing is known to rebuild");
  if (check.allGood) return outcome(RepairStatus::NothingToDo, "every file is good");
  if (!set.complete() || check.files.size() != set.files().size()) {
    return outcome(RepairStatus::SetIncomplete, "the recovery set has lost a file description: nothing can be rebuilt");
  }
  const std::uint64_t sliceSize = set.sliceSize();
  std::vector<std::uint32_t> lost;
  std::vector<std::size_t> toWrite;
  for (std::size_t i = 0; i < set.files().size(); ++i) {
    const FileCheck& c = check.files[i];
    if (c.state == FileState::Good) continue;
    const std::string& name = set.files()[i].description.name;
    if (i >= outputs.size() || outputs[i].empty() || platform::pathExists(outputs[i]) ||
        std::find(sources.begin(), sources.end(), outputs[i]) != sources.end()) {
      return outcome(RepairStatus::BadOutput, "no new file to rebuild " + name + " into");
    }
    toWrite.push_back(i);
    for (std::uint32_t s = 0; s < c.sliceGood.size(); ++s) {
      if (!c.sliceGood[s]) lost.push_back(set.files()[i].firstSlice + s);
    }
  }
  const std::size_t m = lost.size();
  if (m > set.blocks().size()) {
    return outcome(RepairStatus::TooFewBlocks, std::to_string(m) + " slices lost, only " +
                   std::to_string(set.blocks().size()) + " recovery slices: nothing can be rebuilt");
  }
  if (m > 0 && sliceSize > options.memoryLimit / m) {
    return outcome(RepairStatus::TooMuchMemory, "rebuilding " + std::to_string(m) +
                   " slices needs more memory than allowed");
  }
  std::vector<std::uint32_t> exponents;
  for (const RecoveryBlock& b : set.blocks()) exponents.push_back(b.exponent);
  std::vector<std::size_t> chosen;
  std::vector<Gf> inverse;
  if (m > 0 && !solveMatrix(lost, exponents, chosen, inverse)) {
    return outcome(RepairStatus::TooFewBlocks, "the recovery slices at hand do not solve for the " +
                   std::to_string(m) + " lost slices");
  }
  RepairResult result;
  platform::IoError& err = result.err;
  auto failed = [&result]() {
    result.status = RepairStatus::IoFailed;
    result.message = result.err.message();
    return result;
  };
  const std::size_t bytes = static_cast<std::size_t>(sliceSize);
  RegionAccumulator acc(m, bytes, options.threads);
  std::vector<std::uint8_t> buffer(kPiece + 1);
  std::vector<Gf> factors(m, 0);
  // The chosen recovery slices, each as it is: R[j].
  for (std::size_t j = 0; j < chosen.size(); ++j) {
    const RecoveryBlock& b = set.blocks()[chosen[j]];
    platform::File in = platform::File::open(b.path, platform::File::Mode::Read, err);
    std::fill(factors.begin(), factors.end(), 0);
    factors[j] = 1;
    if (!in.isOpen() || !addFromFile(acc, in, b.dataOffset, sliceSize, factors, buffer, err)) return failed();
  }
  // Minus every good slice's part in them, which leaves the lost slices' part.
  for (std::size_t i = 0; m > 0 && i < set.files().size(); ++i) {
    const SetFile& f = set.files()[i];
    const FileCheck& c = check.files[i];
    if (c.goodSlices == 0) continue;
    platform::File in = platform::File::open(sources[i], platform::File::Mode::Read, err);
    if (!in.isOpen()) return failed();
    for (std::uint32_t s = 0; s < f.sliceCount; ++s) {
      if (!c.sliceGood[s]) continue;
      if (options.steering.stop()) return outcome(RepairStatus::Stopped, "stopped");
      const Gf constant = inputConstant(f.firstSlice + s);
      for (std::size_t j = 0; j < m; ++j) factors[j] = gfPow(constant, exponents[chosen[j]]);
      const std::uint64_t at = s * sliceSize;
      const std::uint64_t real = std::min(sliceSize, f.description.length - at);
      if (!addFromFile(acc, in, at, real, factors, buffer, err)) return failed();
      options.steering.advance(real);
    }
  }
  acc.flush();
  if (m > 0) applyInverse(acc, inverse);
  std::map<std::uint32_t, std::size_t> solved;
  for (std::size_t k = 0; k < m; ++k) solved[lost[k]] = k;

  for (std::size_t i : toWrite) {
    const Written w = writeRebuilt(set.files()[i], check.files[i], sources[i], outputs[i], sliceSize,
                                   acc, solved, buffer, options.steering, err);
    if (w == Written::Failed) return failed();
    if (w == Written::Stopped) {
      result.status = RepairStatus::Stopped;
      result.message = "stopped";
      return result;
    }
    if (w == Written::Mismatch) {
      result.status = RepairStatus::Mismatch;
      result.message = "the rebuilt " + set.files()[i].description.name +
                       " does not have the MD5 its description gives: a file changed while it was read, or the recovery data is unsound";
      return result;
    }
    result.rebuilt.push_back(i);
  }
  result.status = RepairStatus::Rebuilt;
  for (std::size_t i : result.rebuilt) {
    result.message += (result.message.empty() ? "rebuilt " : ", ") + set.files()[i].description.name;
  }
  return result;
}

}  // namespace par2

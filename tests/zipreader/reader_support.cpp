// Helpers of the archive reader tests.
#include "reader_support.h"

#include "zip/crc32.h"
#include "zip/zip_format.h"

namespace reader_test {

RunResult extract(const std::string& archive, const std::string& folder,
                  const std::vector<std::string>& masks, bool withProgress) {
  RunResult result;
  zip::TUnZip unzip;
  unzip.SetFName(archive);
  unzip.SetExtrPath(folder);
  unzip.Files = masks;
  unzip.OnError = [&](zip::ZipComponent&, const std::string& m) { result.messages.push_back(m); };
  if (withProgress) {
    unzip.OnProgress = [&](zip::ZipComponent&, std::int16_t p) { result.progress.push_back(p); };
  }
  result.executed = unzip.Execute();
  return result;
}

BitWriter& BitWriter::put(std::uint32_t value, int bits) {
  for (int i = 0; i < bits; ++i) {
    if (m_used == 8) {
      m_bytes.push_back(0);
      m_used = 0;
    }
    if ((value >> i) & 1)
      m_bytes.back() = static_cast<std::uint8_t>(m_bytes.back() | (1 << m_used));
    ++m_used;
  }
  return *this;
}

std::vector<std::uint8_t> BitWriter::bytes() const {
  return m_bytes;
}

Member storedMember(const std::string& name, const std::string& text) {
  Member m;
  m.name = name;
  m.data.assign(text.begin(), text.end());
  m.uncompressedSize = static_cast<std::uint32_t>(text.size());
  m.crc = zip::crc32(m.data.data(), m.data.size());
  return m;
}

std::vector<std::uint8_t> buildArchive(const std::vector<Member>& members,
                                       bool withCentralDirectory) {
  std::vector<std::uint8_t> out;
  std::vector<std::uint8_t> central;
  for (const Member& m : members) {
    zip::LocalHeader h;
    h.method = m.method;
    h.flags = m.flags;
    h.time = m.time;
    h.date = m.date;
    h.crc = m.crc;
    h.compressedSize = static_cast<std::uint32_t>(m.data.size());
    h.uncompressedSize = m.uncompressedSize;
    h.nameLength = static_cast<std::uint16_t>(m.name.size());
    h.extraLength = m.extraLength;
    const auto offset = static_cast<std::uint32_t>(out.size());
    std::uint8_t fixed[zip::kLocalHeaderSize];
    zip::LocalHeader local = h;
    // A streaming writer knows the values only after the data: zeros here, then the
    // descriptor (with its signature) after the data.
    if (m.flags & zip::kFlagDataDescriptor)
      local.crc = local.compressedSize = local.uncompressedSize = 0;
    zip::writeLocalHeader(fixed, local);
    out.insert(out.end(), fixed, fixed + sizeof fixed);
    out.insert(out.end(), m.name.begin(), m.name.end());
    out.insert(out.end(), m.extraLength, 0x55);
    out.insert(out.end(), m.data.begin(), m.data.end());
    if (m.flags & zip::kFlagDataDescriptor) {
      std::uint8_t descriptor[16];
      zip::put32(descriptor, 0x08074B50);
      zip::put32(descriptor + 4, h.crc);
      zip::put32(descriptor + 8, h.compressedSize);
      zip::put32(descriptor + 12, h.uncompressedSize);
      out.insert(out.end(), descriptor, descriptor + sizeof descriptor);
    }
    std::uint8_t c[zip::kCentralHeaderSize];
    zip::writeCentralHeader(c, zip::centralFromLocal(h, offset));
    central.insert(central.end(), c, c + sizeof c);
    central.insert(central.end(), m.name.begin(), m.name.end());
  }
  zip::EndRecord e;
  e.entriesOnDisk = e.totalEntries = static_cast<std::uint16_t>(members.size());
  e.centralDirectorySize = static_cast<std::uint32_t>(central.size());
  e.centralDirectoryOffset = static_cast<std::uint32_t>(out.size());
  if (withCentralDirectory) out.insert(out.end(), central.begin(), central.end());
  std::uint8_t end[zip::kEndRecordSize];
  zip::writeEndRecord(end, e);
  out.insert(out.end(), end, end + sizeof end);
  return out;
}

}  // namespace reader_test

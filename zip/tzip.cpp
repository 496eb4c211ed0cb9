// TZip: the file list, the entry list and the run; the member layout is in
// zip_layout.cpp.
#include "zip/tzip.h"

#include <algorithm>
#include <filesystem>
#include <new>

#include "platform/dir_search.h"
#include "platform/dos_time.h"
#include "platform/path.h"
#include "zip/deflate.h"
#include "zip/name_match.h"
#include "zip/shrink.h"
#include "zip/tzip_run.h"

namespace zip {
namespace {

// Puts a name back when the scope ends, also when it ends by an exception.
struct RestoreName {
  std::string& name;
  std::string saved;
  ~RestoreName() { name = std::move(saved); }
};

bool sameInode(const platform::FileIdentity& a, const platform::FileIdentity& b) {
  return a.device == b.device && a.inode == b.inode;
}

bool hasFolderPart(const std::string& path) {
  return std::any_of(path.begin(), path.end(), platform::isPathSeparator);
}

// The files a list line names. A line without wildcards names one file, which is
// looked up directly rather than by reading its whole folder (the expanded list of a
// large folder would otherwise cost a folder read per file).
std::vector<platform::DirEntry> searchFiles(const std::string& line) {
  if (line.find_first_of("*?") != std::string::npos) {
    return platform::findFiles(line, platform::SearchKind::Files);
  }
  std::vector<platform::DirEntry> found;
  platform::IoError err;
  platform::DirEntry entry;
  entry.name = platform::namePart(line);
  entry.size = platform::fileExists(line) ? platform::fileSize(line, err) : -1;
  if (entry.size >= 0 && !entry.name.empty() &&
      platform::fileModificationTime(line, entry.modified, err)) {
    found.push_back(std::move(entry));
  }
  return found;
}

}  // namespace

TZip::TZip() = default;
TZip::~TZip() = default;

void TZip::ReportError(const std::string& message) {
  if (OnError) {
    OnError(*this, message);
  } else {
    showWarningBox(message);
  }
}

bool TZip::Execute() {
  m_lastFailure.clear();
  m_lastFailureReported = false;
  try {
    Crunch(m_arcName, Files, SourcePath);
    return true;
  } catch (const TZipFailure& e) {
    m_lastFailure = e.what();
    m_lastFailureReported = e.reported();
  } catch (const std::exception& e) {
    m_lastFailure = e.what();
  } catch (...) {
    m_lastFailure = "unknown failure";
  }
  m_run.reset();
  return false;
}

std::string TZip::anotherNameMessage(const std::string& path) const {
  return printableName(path) + " is another name of the archive " + m_arcName + " ! Skip next...";
}

bool TZip::IsArchiveItself(const std::string& name) const {
  return sameArchiveName(m_arcName, name);
}

// The archive's name itself is not followed: a link there is replaced by the archive.
bool TZip::leadsToArchive(const std::string& path) const {
  const std::string folder = platform::folderPart(m_arcName);
  const std::string own = platform::withTrailingSeparator(platform::resolveLinks(
                              platform::absolutePath(folder.empty() ? "." : folder))) +
                          platform::namePart(m_arcName);
  return platform::resolveLinks(platform::absolutePath(path)) == own;
}

void TZip::AddEntry(const TZipEntry& entry) {
  try {
    // The last listed file of a name wins; the map keeps names in byte order.
    m_entries.insert_or_assign(entry.FileName, entry);
  } catch (const std::bad_alloc&) {
    ReportError("Not enough memory to process all filenames!");
  }
}

std::vector<TZipEntry> TZip::entries() const {
  std::vector<TZipEntry> list;
  list.reserve(m_entries.size());
  for (const auto& item : m_entries) list.push_back(item.second);
  return list;
}

void TZip::BuildEntryList(const std::vector<std::string>& expanded) {
  m_entries.clear();
  for (const std::string& line : expanded) {
    const std::string folder = platform::folderPart(line);
    for (const platform::DirEntry& found : searchFiles(line)) {
      if (IsArchiveItself(folder + found.name)) continue;
      if (leadsToArchive(folder + found.name)) {
        ReportError(anotherNameMessage(folder + found.name));
        continue;
      }
      const platform::DosDateTime dos = platform::toDosDateTime(found.modified);
      AddEntry({folder, found.name, found.size, dos.date, dos.time});
    }
  }
}

// Files of a folder come before those of its subfolders; the mask applies at every
// level. A link back to a folder being searched (a loop) is not followed; any other
// folder is searched each time a line reaches it.
void TZip::ExpandPattern(const std::string& pattern, std::vector<std::string>& out) {
  const std::string folder = platform::withTrailingSeparator(platform::folderPart(pattern));
  const std::string mask = platform::namePart(pattern);
  std::error_code ec;
  const std::string real = std::filesystem::canonical(folder.empty() ? "." : folder, ec).string();
  if (!ec) {
    if (std::find(m_visitedFolders.begin(), m_visitedFolders.end(), real) !=
        m_visitedFolders.end()) {
      return;
    }
    m_visitedFolders.push_back(real);
  }
  for (const platform::DirEntry& file :
       platform::findFiles(folder + mask, platform::SearchKind::Files)) {
    out.push_back(folder + file.name);
  }
  for (const platform::DirEntry& sub :
       platform::findFiles(folder + "*.*", platform::SearchKind::Folders)) {
    ExpandPattern(folder + sub.name + platform::kPathSeparator + mask, out);
  }
  if (!ec) m_visitedFolders.pop_back();  // only the folders on the current path count
}

bool TZip::PrepareFileList(const std::string& arcName, const std::vector<std::string>& files,
                           const std::string& sourcePath) {
  m_entries.clear();
  m_visitedFolders.clear();
  const RestoreName restore{m_arcName, m_arcName};
  m_arcName = arcName;  // the archive this list is for, as IsArchiveItself sees it
  if (platform::firstMatchIsFile(arcName) && !Overwrite) {
    ReportError("No overwite rights for file " + arcName + "!");
    return false;
  }
  const std::string source = platform::withTrailingSeparator(sourcePath);
  std::vector<std::string> expanded;
  if (!source.empty() && platform::folderExists(source)) {
    if (files.empty()) {
      ExpandPattern(source + "*.*", expanded);
    } else {
      for (const std::string& line : files) {
        if (line.find('*') == std::string::npos) {
          // Relative to the current folder, not to the source folder.
          if (platform::firstMatchIsFile(line)) expanded.push_back(line);
        } else if (!hasFolderPart(line)) {
          ExpandPattern(source + line, expanded);
        }
      }
    }
  } else {
    if (files.empty()) {
      ReportError("No files for compress !");
      return false;
    }
    for (const std::string& line : files) {
      if (platform::firstMatchIsFile(line)) expanded.push_back(line);
    }
  }
  BuildEntryList(expanded);
  return true;
}

// Refused before anything is written: more members than the end record can count.
// Sizes and offsets past the 32-bit fields are written as ZIP64 values.
void TZip::checkLimits() {
  if (m_entries.size() <= kZipMaxMembers) return;
  const std::string problem = "Cannot pack " + std::to_string(m_entries.size()) +
                              " files: a ZIP archive of this kind holds at most 65535";
  ReportError(problem);
  throw TZipFailure(problem, true);
}

void TZip::Crunch(const std::string& arcName, const std::vector<std::string>& files,
                  const std::string& sourcePath) {
  m_run.reset();
  // IsArchiveItself compares with the archive of this run; the property is restored
  // however the run ends.
  const RestoreName restore{m_arcName, m_arcName};
  m_arcName = arcName;
  if (!PrepareFileList(arcName, files, sourcePath)) return;
  auto run = std::make_unique<Run>();
  try {
    run->input.resize(kZipBufferSize);
  } catch (const std::bad_alloc&) {
    return;  // no message for the buffers
  }
  try {
    auto sink = [this](const std::uint8_t* data, std::size_t n) {
      writeArchive(data, static_cast<std::int64_t>(n));
    };
    if (Method == ZipMethod::Deflate) {
      run->deflater = std::make_unique<Deflater>(sink);
    } else {
      run->shrinker = std::make_unique<Shrinker>(sink, kZipBufferSize);
    }
  } catch (const std::bad_alloc&) {
    ReportError("Not enough memory to allocate LZW data structures!");
    return;
  }
  if (m_entries.empty()) {
    ReportError("Nejsou žádné soubory k smrsknutí !");
    return;
  }
  checkLimits();
  run->archivePath = arcName;
  m_run = std::move(run);
  // However the run ends, its temporary file goes with it.
  struct EndRun {
    std::unique_ptr<Run>& run;
    ~EndRun() { run.reset(); }
  } endRun{m_run};
  createArchive();
  try {
    for (const auto& item : m_entries) writeMember(item.second);
    WriteCentralDirectory();
    completeArchive();
  } catch (const TZipFailure& e) {
    // The user knows the archive by its own name, not by the temporary one.
    std::string text = e.what();
    const std::string& temporary = m_run->temporaryPath;
    for (std::size_t at; !temporary.empty() && (at = text.find(temporary)) != std::string::npos;) {
      text.replace(at, temporary.size(), arcName);
    }
    throw TZipFailure(text, e.reported());
  }
}

// A file the user may not write, or a folder, at the archive's name is refused as the
// system refuses to create over it; anything else there (a file, a link, another name of
// a source) stays untouched until the new archive is complete.
void TZip::createArchive() {
  Run& r = *m_run;
  if (platform::folderExists(r.archivePath) || !platform::mayReplaceFile(r.archivePath)) {
    r.createError = {"create", r.archivePath, platform::errorCode(platform::ErrorKind::Denied), {}};
  } else {
    r.archive = platform::createTemporaryBeside(r.archivePath, r.createError);
  }
  if (!r.archive.isOpen()) {
    r.createError.path = r.archivePath;  // not the temporary name nobody asked for
    ReportError("Chyba při otevítání souboru");
    return;
  }
  r.temporaryPath = r.archive.path();
  r.archive.identify(r.archiveId);
}

// The old file at the name is replaced in one step; its permission bits go to the new
// archive, and the new bytes are on the disk before the old ones are given up.
void TZip::completeArchive() {
  Run& r = *m_run;
  platform::IoError err;
  const int permissions = platform::filePermissions(r.archivePath);
  if (permissions >= 0 &&
      (!platform::setFilePermissions(r.archive, permissions, err) || !r.archive.sync(err))) {
    throw TZipFailure(err.message());
  }
  if (!r.archive.close(err)) throw TZipFailure(err.message());
  if (!platform::renameReplacing(r.temporaryPath, r.archivePath, err)) {
    throw TZipFailure(err.message());
  }
  r.temporaryPath.clear();
}

void TZip::writeMember(const TZipEntry& entry) {
  platform::IoError err;
  platform::File input =
      platform::File::open(entry.Path + entry.FileName, platform::File::Mode::Read, err);
  if (!input.isOpen()) {
    ReportError("Nejde otevřít " + printableName(entry.FileName) + ".  Překračuji ...");
    return;
  }
  // The archive being written under another name (a link made during the run) is never
  // packed: reading it while it grows would not end.
  platform::FileIdentity id;
  if (input.identify(id) && sameInode(id, m_run->archiveId)) {
    ReportError(anotherNameMessage(entry.Path + entry.FileName));
    return;
  }
  m_run->sizeAtStart = input.size(err);
  if (m_run->sizeAtStart < 0) throw TZipFailure(err.message());
  m_run->changed = false;
  if (m_run->shrinker) m_run->shrinker->InitTable();
  WriteLocalHeader(entry);
  ShrinkFile(input, entry);
  FinishMember(input, entry);
  input.closeQuietly();  // read only: nothing to lose
}

}  // namespace zip

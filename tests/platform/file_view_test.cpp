// Views of files: the bytes at any offset, and a file cut short under its view read as a
// failure instead of ending the process.
#include "platform/file_view.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

using platform::File;
using platform::FileView;
using platform::IoError;
using testing_support::TempDir;

namespace {

TEST(FileView, ShowsTheBytesOfARangeAndFailsWhenTheFileIsCutShort) {
  TempDir dir;
  std::string bytes(3 * 65536 + 123, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 4096);
  testing_support::writeText(dir.file("f"), bytes);
  IoError err;
  File file = File::open(dir.file("f"), File::Mode::Read, err);
  ASSERT_TRUE(file.isOpen());
  if (!FileView::available(file, file)) GTEST_SKIP() << "no views on this platform";
  // Offsets on and off a page boundary, and a range that ends with the file.
  for (const std::int64_t offset : {std::int64_t{0}, std::int64_t{4096}, std::int64_t{5000},
                                    std::int64_t{65536 + 1}}) {
    const std::int64_t n = static_cast<std::int64_t>(bytes.size()) - offset;
    FileView view;
    ASSERT_TRUE(view.map(file, offset, n, err)) << err.message();
    std::string seen;
    EXPECT_TRUE(platform::readViews([&] { seen.assign(view.data(), view.size()); }));
    EXPECT_EQ(seen, bytes.substr(static_cast<std::size_t>(offset))) << offset;
  }
#ifndef _WIN32
  // Another process cuts the file short: the pages past its new end are gone.
  FileView view;
  ASSERT_TRUE(view.map(file, 0, static_cast<std::int64_t>(bytes.size()), err));
  File writer = File::open(dir.file("f"), File::Mode::ReadWrite, err);
  ASSERT_TRUE(writer.isOpen()) << err.message();
  ASSERT_TRUE(writer.truncate(100, err));
  std::size_t sum = 0;
  EXPECT_FALSE(platform::readViews([&] {
    for (std::size_t i = 0; i < view.size(); i += 4096) sum += static_cast<unsigned char>(view.data()[i]);
  }));
  // A later look that stays within the file still works on this thread.
  EXPECT_TRUE(platform::readViews([&] { sum += static_cast<unsigned char>(view.data()[10]); }));
  EXPECT_EQ(view.data()[10], bytes[10]);
#endif
}

}  // namespace

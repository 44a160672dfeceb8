#include <gtest/gtest.h>

#include <sys/stat.h>

#include "base/file.h"
#include "base/path.h"
#include "test_support.h"

namespace tavrin {
namespace {

TEST(Path, JoinsWithOneSeparator) {
  EXPECT_EQ(joinPath("/data/shop", "t1.frm"), "/data/shop/t1.frm");
  EXPECT_EQ(joinPath("/data/shop/", "t1.frm"), "/data/shop/t1.frm");
  EXPECT_EQ(joinPath("/data//shop//", "/t1.frm"), "/data/shop/t1.frm");
  EXPECT_EQ(stripTrailingSeparators("/logs//"), "/logs");
  EXPECT_EQ(stripTrailingSeparators("/"), "/");
  EXPECT_EQ(lastComponent("/data/shop"), "shop");
  EXPECT_EQ(lowerExtension("T1.FRM"), "frm");
  EXPECT_EQ(lowerExtension("t1.frm.bak"), "bak");
  EXPECT_EQ(lowerExtension("ibdata1"), "");
}

TEST(Path, TableFilesAreFoundWhateverTheCaseOfTheirExtension) {
  test::ScratchFolder folder;
  folder.write("t1.frm", "x");
  folder.write("t1.MYD", "x");
  folder.write("t1.MYI", "x");
  folder.write("Other.MYD", "x");
  folder.write("other.myd", "x");
  folder.write("Mixed.Myd", "x");
  EXPECT_EQ(findTableFile(folder.path(), "t1", ".myd"), folder.path() + "/t1.MYD");
  EXPECT_EQ(findTableFile(folder.path(), "t1", ".frm"), folder.path() + "/t1.frm");
  // Two tables whose names differ only in case keep their own files.
  EXPECT_EQ(findTableFile(folder.path(), "Other", ".MYD"), folder.path() + "/Other.MYD");
  EXPECT_EQ(findTableFile(folder.path(), "other", ".MYD"), folder.path() + "/other.myd");
  EXPECT_EQ(findTableFile(folder.path(), "mixed", ".MYD"), folder.path() + "/Mixed.Myd");
  EXPECT_FALSE(findTableFile(folder.path(), "t2", ".frm"));
}

TEST(File, ReadsSayHowManyBytesTheyGot) {
  test::ScratchFolder folder;
  std::string path = folder.write("f", "abcdef");
  auto file = ReadOnlyFile::open(path);
  ASSERT_TRUE(file) << file.reason();
  EXPECT_EQ(file->size(), 6u);
  uint8_t buffer[10];
  EXPECT_EQ(file->readAt(4, buffer, 10), 2u);
  EXPECT_EQ(file->readAt(10, buffer, 10), 0u);
  EXPECT_EQ(file->readAt(1, 3), (std::vector<uint8_t>{'b', 'c', 'd'}));
  EXPECT_FALSE(file->readAll(5));

  EXPECT_FALSE(ReadOnlyFile::open(folder.path() + "/missing"));
  EXPECT_FALSE(ReadOnlyFile::open(folder.path()));  // a folder is no file
  EXPECT_EQ(ReadOnlyFile::open(folder.path() + "/missing").kind(), ErrorKind::Missing);
  // A FIFO is refused at once, not waited on for a writer.
  const std::string fifo = folder.path() + "/t.frm";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto opened = ReadOnlyFile::open(fifo);
  EXPECT_FALSE(opened);
  EXPECT_EQ(opened.reason(), fifo + " is not a regular file");
}

TEST(File, ReadOnlyFilesOpen) {
  // A file of an older server opens for reading.
  auto file = ReadOnlyFile::open(test::realFixtures() + "/frm-versions/actor.frm");
  ASSERT_TRUE(file) << file.reason();
  EXPECT_EQ(file->size(), 8694u);
}

}  // namespace
}  // namespace tavrin

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/core/classes.h"
#include "test_util.h"

namespace {

std::string ReadRaw(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

TEST(MemoryStream, SeekOriginsSizeAndShortReads) {
  TMemoryStream m;
  m.WriteString("0123456789");
  EXPECT_EQ(m.Size(), 10);
  EXPECT_EQ(m.Position(), 10);
  EXPECT_EQ(m.Seek(2, soFromBeginning), 2);
  EXPECT_EQ(m.Seek(3, soFromCurrent), 5);
  EXPECT_EQ(m.Seek(-4, soFromEnd), 6);
  // ReadBuffer below asks for more than the stream holds: the buffer must hold what is asked for,
  // since the bytes that are there arrive before the error is raised.
  char buf[16] = {};
  EXPECT_EQ(m.Read(buf, 8), 4);  // only four bytes are left
  EXPECT_EQ(std::string(buf, 4), "6789");
  EXPECT_EQ(m.Read(buf, 8), 0);
  EXPECT_THROW(m.Seek(-1, soFromBeginning), EStreamError);
  m.SetPosition(0);
  EXPECT_THROW(m.ReadBuffer(buf, 11), EReadError);
  EXPECT_EQ(std::string(buf, 10), "0123456789");
  // Writing past the end fills the gap with zeros.
  m.Seek(12, soFromBeginning);
  m.WriteString("X");
  EXPECT_EQ(m.Size(), 13);
  EXPECT_EQ(m.Memory()[10], 0);
  EXPECT_EQ(m.Memory()[12], 'X');
  // Shrinking pulls the position back.
  m.SetSize(4);
  EXPECT_EQ(m.Position(), 4);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Memory()), 4), "0123");
  m.Clear();
  EXPECT_EQ(m.Size(), 0);
  EXPECT_EQ(m.Position(), 0);
}

TEST(MemoryStream, CopyFromAndStringStream) {
  TStringStream src("hello world");
  TMemoryStream dst;
  EXPECT_EQ(dst.CopyFrom(&src, 0), 11);  // whole source from its start
  src.SetPosition(6);
  EXPECT_EQ(dst.CopyFrom(&src, 5), 5);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(dst.Memory()), 16), "hello worldworld");
  src.SetPosition(8);
  EXPECT_THROW(dst.CopyFrom(&src, 10), EReadError);
  TStringStream out;
  out.WriteString("abc");
  EXPECT_EQ(out.DataString(), "abc");
}

TEST(FileStream, CreateWriteReopenAndErrors) {
  TTempDir tmp;
  const std::string path = tmp.Path() + "data.bin";
  {
    TFileStream f(path, fmCreate);
    f.WriteString("abcdef");
    EXPECT_EQ(f.Size(), 6);
    f.SetSize(4);
    EXPECT_EQ(f.Size(), 4);
  }
  EXPECT_EQ(ReadRaw(path), "abcd");
  {
    TFileStream f(path, fmOpenReadWrite | fmShareDenyNone);
    f.Seek(-1, soFromEnd);
    f.WriteString("Z!");
    f.SetPosition(0);
    EXPECT_EQ(f.ReadString(100), "abcZ!");
  }
  {
    TFileStream f(path, fmOpenRead);
    EXPECT_EQ(f.Write("x", 1), 0);  // read-only: nothing written
    EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);
  }
  try {
    TFileStream f(tmp.Path() + "missing.txt", fmOpenRead);
    ADD_FAILURE();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot open file \"" + tmp.Path() + "missing.txt\". ", 0), 0u) << e.Message();
    EXPECT_EQ(e.ClassName(), "EFOpenError");
  }
  EXPECT_THROW(TFileStream(tmp.Path() + "no/such/dir/x", fmCreate), EFCreateError);
  EXPECT_THROW(TFileStream(tmp.Path(), fmOpenRead), EFOpenError);  // a folder is not a file
}

TEST(StringListFiles, SaveWritesCrLfAndLoadReadsAnyLineEnd) {
  TTempDir tmp;
  TStringList l;
  l.Add("one");
  l.Add("two");
  l.SaveToFile(tmp.Path() + "list.txt");
  EXPECT_EQ(ReadRaw(tmp.Path() + "list.txt"), "one\r\ntwo\r\n");
  {
    std::ofstream f(tmp.Path() + "unix.txt", std::ios::binary);
    f << "a\nb\rc\r\nd";
  }
  TStringList r;
  r.LoadFromFile(tmp.Path() + "unix.txt");
  ASSERT_EQ(r.Count(), 4);
  EXPECT_EQ(r.Strings(3), "d");
  EXPECT_THROW(r.LoadFromFile(tmp.Path() + "none.txt"), EFOpenError);
  TMemoryStream m;
  m.LoadFromFile(tmp.Path() + "list.txt");
  EXPECT_EQ(m.Size(), 10);
  m.SaveToFile(tmp.Path() + "copy.txt");
  EXPECT_EQ(ReadRaw(tmp.Path() + "copy.txt"), "one\r\ntwo\r\n");
}

}  // namespace

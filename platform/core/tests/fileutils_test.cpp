#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <vector>

#include "platform/core/classes.h"
#include "platform/core/cp1250.h"
#include "platform/core/fileutils.h"
#include "test_util.h"

namespace {

void Touch(const std::string& OsPath, const std::string& Content = "x") {
  std::ofstream f(OsPath, std::ios::binary);
  f << Content;
}

TEST(Paths, ResolvesEveryComponentWithoutCase) {
  TTempDir tmp;
  ::mkdir((tmp.Path() + "help").c_str(), 0777);
  Touch(tmp.Path() + "help/help_lesson.htm", "<html>");
  ::mkdir((tmp.Path() + "Courses").c_str(), 0777);
  ::mkdir((tmp.Path() + "Courses/full").c_str(), 0777);
  Touch(tmp.Path() + "Courses/full/L_01.TXT");
  // A Polish name on disk is UTF-8; the program spells it in CP1250 and in another case.
  Touch(tmp.Path() + "help/zażółć.txt");

  EXPECT_EQ(ResolvePath(tmp.Path() + "Help\\HELP_lesson.HTM"), tmp.Path() + "help/help_lesson.htm");
  EXPECT_EQ(ResolvePath(tmp.Path() + "courses\\FULL\\l_01.txt"), tmp.Path() + "Courses/full/L_01.TXT");
  EXPECT_EQ(ResolvePath(tmp.Path() + Utf8ToCp1250("HELP/ZAŻÓŁĆ.TXT")), tmp.Path() + Utf8ToCp1250("help/zażółć.txt"));
  EXPECT_EQ(ToOsPath(tmp.Path() + Utf8ToCp1250("HELP/ZAŻÓŁĆ.TXT")), tmp.Path() + "help/zażółć.txt");
  // A missing part is kept as written, the existing part still resolved.
  EXPECT_EQ(ResolvePath(tmp.Path() + "HELP\\New\\File.txt"), tmp.Path() + "help/New/File.txt");
  EXPECT_TRUE(FileExists(tmp.Path() + "Help\\HELP_lesson.HTM"));
  EXPECT_FALSE(FileExists(tmp.Path() + "Help"));
  EXPECT_TRUE(DirectoryExists(tmp.Path() + "HELP"));
  EXPECT_FALSE(DirectoryExists(tmp.Path() + "help\\help_lesson.htm"));
  // Files open through the resolver.
  TStringList l;
  l.LoadFromFile(tmp.Path() + "HELP\\Help_Lesson.htm");
  EXPECT_EQ(l.Strings(0), "<html>");
  EXPECT_EQ(FileSizeOf(tmp.Path() + "help\\HELP_LESSON.HTM"), 6);
  EXPECT_EQ(FileSizeOf(tmp.Path() + "nothing"), -1);
}

TEST(Paths, ExactNameWinsOverACaseVariant) {
  TTempDir tmp;
  Touch(tmp.Path() + "Data.txt", "upper");
  Touch(tmp.Path() + "data.txt", "lower");
  TStringList l;
  l.LoadFromFile(tmp.Path() + "data.txt");
  EXPECT_EQ(l.Strings(0), "lower");
  l.LoadFromFile(tmp.Path() + "Data.txt");
  EXPECT_EQ(l.Strings(0), "upper");
  // Neither spelling matches exactly: the first in byte order.
  EXPECT_EQ(ResolvePath(tmp.Path() + "DATA.TXT"), tmp.Path() + "Data.txt");
}

TEST(Paths, FileOperations) {
  TTempDir tmp;
  EXPECT_TRUE(ForceDirectories(tmp.Path() + "a\\b/c"));
  EXPECT_TRUE(DirectoryExists(tmp.Path() + "a/b/c"));
  EXPECT_TRUE(ForceDirectories(tmp.Path() + "A/B/c/d"));  // reuses a/b/c
  EXPECT_TRUE(DirectoryExists(tmp.Path() + "a/b/c/d"));
  Touch(tmp.Path() + "a/one.txt");
  EXPECT_TRUE(RenameFile(tmp.Path() + "A\\ONE.TXT", tmp.Path() + "a/two.txt"));
  EXPECT_TRUE(FileExists(tmp.Path() + "a/two.txt"));
  EXPECT_FALSE(FileExists(tmp.Path() + "a/one.txt"));
  EXPECT_TRUE(DeleteFile(tmp.Path() + "A/Two.TXT"));
  EXPECT_FALSE(DeleteFile(tmp.Path() + "a/two.txt"));
  EXPECT_TRUE(RemoveDir(tmp.Path() + "a/b/c/d"));
}

TEST(Paths, NameParts) {
  struct Case {
    const char* In;
    const char* Path;
    const char* Dir;
    const char* Name;
    const char* Ext;
  };
  const Case cases[] = {
      {"C:\\vx\\help\\page.htm", "C:\\vx\\help\\", "C:\\vx\\help", "page.htm", ".htm"},
      {"/opt/vx/vx", "/opt/vx/", "/opt/vx", "vx", ""},
      {"courses/full/l_1.txt", "courses/full/", "courses/full", "l_1.txt", ".txt"},
      {"archive.tar.gz", "", "", "archive.tar.gz", ".gz"},
      {"dir.d/file", "dir.d/", "dir.d", "file", ""},
      {"/file", "/", "/", "file", ""},
      {"", "", "", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.In), c.Path) << c.In;
    EXPECT_EQ(ExtractFileDir(c.In), c.Dir) << c.In;
    EXPECT_EQ(ExtractFileName(c.In), c.Name) << c.In;
    EXPECT_EQ(ExtractFileExt(c.In), c.Ext) << c.In;
  }
  EXPECT_EQ(ChangeFileExt("/x/vx", ".log"), "/x/vx.log");
  EXPECT_EQ(ChangeFileExt("/x/vx.exe", ".log"), "/x/vx.log");
  EXPECT_EQ(ChangeFileExt("a.b/c", ".d"), "a.b/c.d");
  EXPECT_EQ(ChangeFileExt("a.txt", ""), "a");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp"), "/tmp/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("c:\\x\\"), "c:\\x\\");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/tmp//"), "/tmp");
  EXPECT_EQ(JoinPath("/a/", "/b"), "/a/b");
}

TEST(Paths, ExpandFileNameFoldsDotsAndAnchorsRelativeNames) {
  struct {
    std::string In, Out;
  } Cases[] = {
      {"/a/b/../c/./d.htm", "/a/c/d.htm"}, {"/a\\b\\c", "/a/b/c"}, {"/../x", "/x"},
      {"/a/b/", "/a/b"},                   {"/", "/"},               {"", ""},
  };
  for (const auto& C : Cases) EXPECT_EQ(ExpandFileName(C.In), C.Out) << C.In;
  EXPECT_EQ(ExpandFileName("x/../y.htm"), ExpandFileName(GetCurrentDir() + "/y.htm"));
  EXPECT_EQ(ExpandFileName("y.htm").front(), '/');
}

TEST(Paths, ProgramFileAndFolder) {
  const std::string exe = ProgramFileName();
  EXPECT_EQ(ExtractFileName(exe), "platform_core_tests");
  EXPECT_EQ(ProgramPath("help\\x.htm"), ExtractFilePath(exe) + "help\\x.htm");
  EXPECT_TRUE(FileExists(exe));
}

TEST(Search, MasksMatchWithoutCase) {
  struct Case {
    const char* Name;
    const char* Mask;
    bool Match;
  };
  const Case cases[] = {
      {"L_01.TXT", "l_*.txt", true}, {"l_01.txt", "L_??.TXT", true}, {"l_1.txt", "l_??.txt", false},
      {"readme", "*.*", true},       {"a.b.c", "*.c", true},         {"abc", "a*c*", true},
      {"abc", "a*d", false},         {"", "*", true},                {"x.txt", "*.htm", false},
      {"mt_07.txt", "mt_*.txt", true}, {"ph_.txt", "ph_*.txt", true}, {"aaab", "*a*b", true},
  };
  for (const Case& c : cases) EXPECT_EQ(MatchesMask(c.Name, c.Mask), c.Match) << c.Name << " ~ " << c.Mask;
  EXPECT_TRUE(MatchesMask(Utf8ToCp1250("Łódź.txt"), Utf8ToCp1250("łÓDŹ.*")));
}

TEST(Search, FindFirstListsMatchingEntriesInOrder) {
  TTempDir tmp;
  ::mkdir((tmp.Path() + "Courses").c_str(), 0777);
  ::mkdir((tmp.Path() + "Courses/Full").c_str(), 0777);
  ::mkdir((tmp.Path() + "Courses/Full/l_sub").c_str(), 0777);
  Touch(tmp.Path() + "Courses/Full/l_02.txt", "12345");
  Touch(tmp.Path() + "Courses/Full/L_01.TXT");
  Touch(tmp.Path() + "Courses/Full/x_03.txt");
  Touch(tmp.Path() + "Courses/Full/.l_hidden.txt");

  TSearchRec sr;
  std::vector<std::string> names;
  ASSERT_EQ(FindFirst(tmp.Path() + "courses\\full\\l_*.txt", faAnyFile & ~faDirectory, sr), 0);
  do {
    names.push_back(sr.Name);
    EXPECT_EQ(sr.Attr & faDirectory, 0);
  } while (FindNext(sr) == 0);
  FindClose(sr);
  EXPECT_EQ(names, (std::vector<std::string>{"L_01.TXT", "l_02.txt"}));

  ASSERT_EQ(FindFirst(tmp.Path() + "courses/full/l_02.*", faAnyFile, sr), 0);
  EXPECT_EQ(sr.Size, 5);
  EXPECT_NE(sr.Time, 0);
  EXPECT_GT(FileDateToDateTime(sr.Time), 40000.0);
  EXPECT_EQ(FindNext(sr), 18);
  FindClose(sr);

  // Folders only when asked for.
  names.clear();
  ASSERT_EQ(FindFirst(tmp.Path() + "courses/full/l_*", faDirectory, sr), 0);
  do names.push_back(sr.Name);
  while (FindNext(sr) == 0);
  EXPECT_EQ(names, (std::vector<std::string>{"L_01.TXT", "l_02.txt", "l_sub"}));
  EXPECT_EQ(FindFirst(tmp.Path() + "courses/full/*.htm", faAnyFile, sr), 2);
  EXPECT_EQ(FindFirst(tmp.Path() + "nowhere/*.*", faAnyFile, sr), 3);
}

TEST(System, TempDirNamesAndTicks) {
  const char* saved = std::getenv("TMPDIR");
  const std::string keep = saved ? saved : "";
  ::setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(GetTempDir(), "/var/tmp/");
  ::unsetenv("TMPDIR");
  EXPECT_EQ(GetTempDir(), "/tmp/");
  if (saved) ::setenv("TMPDIR", keep.c_str(), 1);

  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  const std::string h = host;
  EXPECT_EQ(GetComputerNameStr(), h.size() <= 14 ? h : std::string());
  const std::string user = GetUserNameStr();
  EXPECT_LE(user.size(), 49u);

  const uint32_t a = GetTickCount();
  Sleep(2);
  const uint32_t b = GetTickCount();
  EXPECT_GE(static_cast<uint32_t>(b - a), 2u);  // wrap-safe difference
}

TEST(FileUtils, TickSourceCanBeReplacedAndRestored) {
  static uint32_t now = 0xFFFFFFF0u;
  EXPECT_EQ(SetTickSource([] { return now; }), nullptr);
  const uint32_t a = GetTickCount();
  now += 0x20;  // across the wrap
  EXPECT_EQ(static_cast<uint32_t>(GetTickCount() - a), 0x20u);
  SetTickSource(nullptr);
  EXPECT_NE(GetTickCount(), now);
}

TEST(FileUtils, ProgramFolderOverride) {
  const std::string real = ProgramPath("x.zlb");
  SetProgramFolder("/tmp/install");
  EXPECT_EQ(ProgramPath("data"), "/tmp/install/data");
  SetProgramFolder("");
  EXPECT_EQ(ProgramPath("x.zlb"), real);
}

}  // namespace

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/core/cp1250.h"
#include "platform/core/fileutils.h"
#include "platform/core/inifiles.h"
#include "test_util.h"

namespace {

std::string ReadRaw(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void WriteRaw(const std::string& Path, const std::string& Content) {
  std::ofstream f(Path, std::ios::binary);
  f << Content;
}

TEST(MemIniFile, BlanksCaseCommentsAndDuplicates) {
  TStringList l;
  l.SetText(
      "junk before any section\n"
      "  [ Levels ]  \n"
      "; a comment\n"
      "  Speed  =  1, 2 ,3  \n"
      "speed=9\n"
      "no equals sign\n"
      "Empty=\n"
      "Quoted=\"a b\"\n"
      "Hex=$1F\n"
      "HexC=0x10\n"
      "Bad=12a\n"
      "Float=2,5\n"
      "[other]\n"
      "x=1\n"
      "[LEVELS]\n"
      "Extra=yes\n"
      "[broken\n"
      "k=v\n");
  TMemIniFile ini;
  ini.SetStrings(&l);
  EXPECT_EQ(ini.ReadString("levels", "SPEED", "d"), "1, 2 ,3");
  EXPECT_EQ(ini.ReadString("Levels", "Empty", "d"), "");
  EXPECT_EQ(ini.ReadString("Levels", "Missing", "d"), "d");
  EXPECT_EQ(ini.ReadString("Levels", "Quoted", ""), "\"a b\"");
  EXPECT_EQ(ini.ReadString("Levels", "Extra", ""), "yes");  // the repeated section continues the first
  EXPECT_EQ(ini.ReadInteger("Levels", "Hex", 0), 31);
  EXPECT_EQ(ini.ReadInteger("Levels", "HexC", 0), 16);
  EXPECT_EQ(ini.ReadInteger("Levels", "Bad", -5), -5);
  EXPECT_EQ(ini.ReadInteger("Levels", "Empty", -5), -5);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("Levels", "Float", 0), 2.5);
  EXPECT_TRUE(ini.ReadBool("nowhere", "x", true));
  EXPECT_TRUE(ini.ReadBool("OTHER", "X", false));
  EXPECT_EQ(ini.ReadString("broken", "k", "none"), "v");
  EXPECT_EQ(ini.ReadString("Levels", "no equals sign", "none"), "none");

  TStringList names;
  ini.ReadSections(&names);
  EXPECT_EQ(names.CommaText(), "Levels,other,broken");
  ini.ReadSection("levels", &names);
  EXPECT_EQ(names.CommaText(), "Speed,Empty,Quoted,Hex,HexC,Bad,Float,Extra");
  ini.ReadSectionValues("other", &names);
  EXPECT_EQ(names.Text(), "x=1\r\n");
  EXPECT_TRUE(ini.SectionExists("OTHER"));
  EXPECT_FALSE(ini.SectionExists("none"));
  EXPECT_TRUE(ini.ValueExists("levels", "empty"));
  EXPECT_FALSE(ini.ValueExists("levels", "junk before any section"));
}

TEST(MemIniFile, WritesAndUpdatesTheFile) {
  TTempDir tmp;
  const std::string path = tmp.Path() + "game.ini";
  {
    TMemIniFile ini(path);  // missing file: empty
    EXPECT_FALSE(ini.SectionExists("a"));
    ini.WriteString("Main", "Name", Utf8ToCp1250("Łódź"));
    ini.WriteInteger("Main", "Count", -3);
    ini.WriteBool("Main", "On", true);
    ini.WriteString("Second", "k", "v");
    ini.WriteString("main", "NAME", "Kraków");  // same entry, other case
    ini.DeleteKey("Second", "k");
    ini.UpdateFile();
  }
  EXPECT_EQ(ReadRaw(path), "[Main]\r\nName=Krak\xC3\xB3w\r\nCount=-3\r\nOn=1\r\n\r\n[Second]\r\n");
  TMemIniFile again(path);
  EXPECT_EQ(again.ReadInteger("MAIN", "count", 0), -3);
  again.EraseSection("main");
  EXPECT_FALSE(again.SectionExists("Main"));
  // A file that cannot be written raises; the old file is untouched.
  TMemIniFile bad(path + "/x.ini");
  bad.WriteString("a", "b", "c");
  EXPECT_THROW(bad.UpdateFile(), EFCreateError);
  EXPECT_EQ(ReadRaw(path).substr(0, 6), "[Main]");
}

// Each test gets its own settings folder.
class PrgRegTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    FHadOld = old != nullptr;
    if (old) FOld = old;
    ::setenv("XDG_CONFIG_HOME", Dir.Path().c_str(), 1);
  }
  void TearDown() override {
    if (FHadOld) ::setenv("XDG_CONFIG_HOME", FOld.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
  }
  std::string File() const { return Dir.Path() + "Velmora/VX2.ini"; }
  TTempDir Dir;

 private:
  bool FHadOld = false;
  std::string FOld;
};

TEST_F(PrgRegTest, LivesUnderTheConfigFolder) {
  EXPECT_EQ(TPrgReg::DefaultFileName(), File());
  ::setenv("XDG_CONFIG_HOME", "", 1);
  const char* home = std::getenv("HOME");
  if (home && *home) {
    EXPECT_EQ(TPrgReg::DefaultFileName(), std::string(home) + "/.config/Velmora/VX2.ini");
  }
}

TEST_F(PrgRegTest, MissingFileGivesEveryDefault) {
  TPrgReg reg;
  EXPECT_TRUE(reg.ReadBool("DbOptions", "DBLocal", true));
  EXPECT_FALSE(reg.ReadBool("Options", "KeybHints", false));
  EXPECT_EQ(reg.ReadString("DbOptions", "DBPath", "data"), "data");
  EXPECT_EQ(reg.ReadInteger("Options", "LastID_STUDENT", -1), -1);
  EXPECT_EQ(reg.ReadInteger("Options", "BcgColor", 0xFFFFFF), 0xFFFFFF);
  struct stat st;
  EXPECT_NE(::stat(File().c_str(), &st), 0);  // reading creates nothing
}

TEST_F(PrgRegTest, RoundTripsThroughAUtf8File) {
  {
    TPrgReg reg;
    EXPECT_TRUE(reg.WriteBool("DbOptions", "DBLocal", false));
    EXPECT_TRUE(reg.WriteString("DbOptions", "DBPath", Utf8ToCp1250("\\\\serwer\\dane ćwiczeń")));
    EXPECT_TRUE(reg.WriteInteger("Options", "LastID_STUDENT", 42));
    EXPECT_TRUE(reg.WriteInteger("Options", "ErrColor", -16777201));
    EXPECT_TRUE(reg.WriteString("Options", "LessonFont", " Courier New "));
    EXPECT_TRUE(reg.WriteString("Options", "Quote", "\"x\""));
    EXPECT_TRUE(reg.WriteString("Options", "Lines", "a\r\nb"));
    EXPECT_TRUE(reg.WriteBool("Options", "SoundOn", true));
  }
  const std::string raw = ReadRaw(File());
  EXPECT_NE(raw.find("DBPath=\\\\serwer\\dane ćwiczeń\n"), std::string::npos) << raw;
  EXPECT_NE(raw.find("DBLocal=0\n"), std::string::npos);
  EXPECT_NE(raw.find("SoundOn=1\n"), std::string::npos);
  EXPECT_NE(raw.find("[Options]\n"), std::string::npos);
  struct stat st;
  ASSERT_EQ(::stat(File().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0077, 0u);  // private to the user

  TPrgReg reg;
  EXPECT_FALSE(reg.ReadBool("dboptions", "dblocal", true));
  EXPECT_EQ(reg.ReadString("DbOptions", "DBPath", ""), Utf8ToCp1250("\\\\serwer\\dane ćwiczeń"));
  EXPECT_EQ(reg.ReadInteger("Options", "LastID_STUDENT", -1), 42);
  EXPECT_EQ(reg.ReadInteger("Options", "ErrColor", 0), -16777201);
  EXPECT_EQ(reg.ReadString("Options", "LessonFont", ""), " Courier New ");
  EXPECT_EQ(reg.ReadString("Options", "Quote", ""), "\"x\"");
  EXPECT_EQ(reg.ReadString("Options", "Lines", ""), "a  b");
  EXPECT_TRUE(reg.ReadBool("Options", "SoundOn", false));
  // No temporary files are left behind.
  TSearchRec sr;
  ASSERT_EQ(FindFirst(Dir.Path() + "Velmora/*", faAnyFile, sr), 0);
  EXPECT_EQ(sr.Name, "VX2.ini");
  EXPECT_NE(FindNext(sr), 0);
}

TEST_F(PrgRegTest, ConversionRulesOfStoredTexts) {
  ::mkdir((Dir.Path() + "Velmora").c_str(), 0700);
  WriteRaw(File(),
           "[Options]\n"
           "Metronom=2\n"
           "Autopause=five\n"
           "KeybHints=-1\n"
           "SoundOn=0\n"
           "Keyboard= 3 \n"
           "HintNumber=\n"
           "LessonFontBold=yes\n");
  TPrgReg reg;
  EXPECT_TRUE(reg.ReadBool("Options", "Metronom", false));         // any non-zero is true
  EXPECT_EQ(reg.ReadInteger("Options", "Autopause", 5), 5);        // not a number: the default
  EXPECT_TRUE(reg.ReadBool("Options", "KeybHints", false));
  EXPECT_FALSE(reg.ReadBool("Options", "SoundOn", true));
  EXPECT_EQ(reg.ReadInteger("Options", "Keyboard", 0), 3);
  EXPECT_EQ(reg.ReadInteger("Options", "HintNumber", 7), 7);
  EXPECT_TRUE(reg.ReadBool("Options", "LessonFontBold", true));    // not a number: the default
  EXPECT_FALSE(reg.ReadBool("Options", "LessonFontBold", false));
  EXPECT_EQ(reg.ReadString("Options", "HintNumber", "x"), "");     // present but empty
}

TEST_F(PrgRegTest, GarbageFilesNeverBreakReadingAndWritingRepairsThem) {
  ::mkdir((Dir.Path() + "Velmora").c_str(), 0700);
  static const char head[] = "\x00\x01\xFF\xFE[[[\n==\n[Options\nLastID_GROUP=7\n\x89PNG\r\n\x1A\n";
  std::string garbage(head, sizeof head - 1);
  garbage += std::string("\0\0\0", 3) + "ShowHintAtStartup=0\n[Options]\nWeird=\xB3\xF3\n";
  WriteRaw(File(), garbage);
  {
    TPrgReg reg;
    EXPECT_EQ(reg.ReadInteger("Options", "LastID_GROUP", -1), 7);
    EXPECT_EQ(reg.ReadString("Options", "Weird", ""), "\xB3\xF3");  // not UTF-8: taken as CP1250
    EXPECT_TRUE(reg.ReadBool("Options", "ShowLogonAtStartup", true));
    EXPECT_TRUE(reg.WriteInteger("Options", "HintNumber", 3));
  }
  TPrgReg reg;
  EXPECT_EQ(reg.ReadInteger("Options", "HintNumber", 0), 3);
  EXPECT_EQ(reg.ReadInteger("Options", "LastID_GROUP", -1), 7);
  EXPECT_TRUE(IsValidUtf8(ReadRaw(File())));
}

TEST_F(PrgRegTest, UnreadableOrUnwritableLocationsGiveDefaults) {
  // The settings path is a folder: nothing can be read or written, nothing raises.
  ::mkdir((Dir.Path() + "Velmora").c_str(), 0700);
  ::mkdir(File().c_str(), 0700);
  TPrgReg reg;
  EXPECT_EQ(reg.ReadInteger("Options", "MetronomSpeed", 120), 120);
  EXPECT_FALSE(reg.WriteInteger("Options", "MetronomSpeed", 90));
  // The config folder is a file: the write fails without raising.
  TTempDir other;
  WriteRaw(other.Path() + "file", "x");
  TPrgReg blocked(other.Path() + "file/Velmora/VX2.ini");
  EXPECT_FALSE(blocked.WriteBool("Options", "SoundOn", false));
  // The value still holds for this run.
  EXPECT_FALSE(blocked.ReadBool("Options", "SoundOn", true));
}

TEST_F(PrgRegTest, WritesKeepChangesOfAnotherCopy) {
  TPrgReg first;
  TPrgReg second;
  EXPECT_TRUE(first.WriteInteger("Options", "LastID_STUDENT", 5));
  EXPECT_TRUE(second.WriteInteger("Options", "LastID_GROUP", 6));
  TPrgReg check;
  EXPECT_EQ(check.ReadInteger("Options", "LastID_STUDENT", -1), 5);
  EXPECT_EQ(check.ReadInteger("Options", "LastID_GROUP", -1), 6);
  EXPECT_TRUE(check.DeleteKey("options", "lastid_group"));
  TPrgReg after;
  EXPECT_FALSE(after.ValueExists("Options", "LastID_GROUP"));
  EXPECT_TRUE(after.ValueExists("Options", "LastID_STUDENT"));
}

}  // namespace

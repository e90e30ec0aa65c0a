// A throw-away installation folder for tests of the program: the archives the start-up reads
// (built with the test archive writer: a message table, form texts, plain pictures with the green
// transparent corner, a keyboard layout, levels, tips), the help pages and a database made with
// the database creator. A test points the program folder at it and the settings store at its
// own file, so nothing of the developer's machine is read or written.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tutor/tests/test_archive.h"

struct TInstallOptions {
  bool Data = true;           // the data directory with the tables
  std::string SharedGroup;    // a shared database's group id (config rows "id_group" and "group")
  bool Hints = true;          // hints.zlb with Tips tips
  int Tips = 5;
  bool Help = true;           // help/index.htm, help/about.htm, help/help_logon.htm
  // Config rows replacing the creator's value or added (an empty value deletes the row).
  std::vector<std::pair<std::string, std::string>> Config;
};

// A 24-bit BMP of one colour (0xBBGGRR) whose bottom-left pixel is pure green when Corner is set.
std::string MakeTestBmp(int Width, int Height, unsigned Color, bool Corner = true);

class TInstallFolder {
 public:
  explicit TInstallFolder(const TInstallOptions& Options = TInstallOptions());
  ~TInstallFolder();
  TInstallFolder(const TInstallFolder&) = delete;
  TInstallFolder& operator=(const TInstallFolder&) = delete;

  // The folder with a trailing '/'.
  const std::string& Path() const { return FPath; }
  std::string DataPath() const { return FPath + "data/"; }
  // The settings file a test hands to TPrgReg.
  std::string IniPath() const { return FPath + "VX2.ini"; }
  // The message table's text of Id as the fixture writes it.
  static std::string Message(const std::string& Id);

  // Runs SQL statements on the data directory (rows a scenario needs before the start).
  void Exec(const std::vector<std::string>& Statements) const;
  // The values of the fields (a ';'-list) of every row of a table, in its natural order, each row
  // as "v1|v2|...".
  std::vector<std::string> Rows(const std::string& Table, const std::string& Fields) const;
  // Adds a student row; returns its ID_STUDENT.
  int AddStudent(const std::string& Name, int Group = -1, const std::string& Sex = "M", int Course = -1) const;

 private:
  TTempDir FDir;
  std::string FPath;
};

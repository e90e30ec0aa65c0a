// INI files in memory, and the program's per-user settings store.
//
// Text layout read by both (and written back the same way):
//   [Section]
//   Name=Value
// * Each line is trimmed (characters <= ' ') at both ends before it is looked at; empty lines
//   and lines beginning with ';' are comments.
// * A line beginning with '[' starts a section named by the text up to the first ']' (or the
//   end of the line), trimmed. A section that appears twice continues the first one.
// * Any other line inside a section with an '=' is an entry: the name is the text before the
//   first '=' and the value the text after it, both trimmed. Other lines, and entries before
//   the first section, are skipped.
// * Section and entry names compare without regard to case (CP1250 letters included); when a
//   name appears twice in a section, the first one counts.
// * Values are kept as written: TMemIniFile does not remove quotes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/core/classes.h"

// The parsed content of an INI text (CP1250).
class TIniData {
 public:
  struct Entry {
    std::string Name, Value;
  };
  struct Section {
    std::string Name;
    std::vector<Entry> Entries;
  };
  void Parse(const TStrings* Lines);
  void Clear() { FSections.clear(); }
  // Lines as written by Save: sections separated by an empty line.
  void Save(TStrings* Lines) const;
  Section* FindSection(std::string_view Name);
  const Section* FindSection(std::string_view Name) const;
  Section& AddSection(std::string_view Name);
  static Entry* FindEntry(Section& S, std::string_view Name);
  static const Entry* FindEntry(const Section& S, std::string_view Name);
  void SetValue(std::string_view Section, std::string_view Name, const std::string& Value);
  bool DeleteKey(std::string_view Section, std::string_view Name);
  bool EraseSection(std::string_view Section);
  const std::vector<Section>& Sections() const { return FSections; }

 private:
  std::vector<Section> FSections;
};

// An INI file held in memory. Reading never touches the disk after loading; UpdateFile writes
// the content back (CP1250 bytes, CR LF lines).
class TMemIniFile : public TObject {
 public:
  TMemIniFile() = default;
  // Loads the file when it exists (a missing file gives an empty INI).
  explicit TMemIniFile(const std::string& FileName);
  std::string ClassName() const override { return "TMemIniFile"; }

  const std::string& FileName() const { return FFileName; }
  void SetStrings(const TStrings* List);
  void GetStrings(TStrings* List) const;
  void Clear() { FData.Clear(); }

  // The value, or Default when the entry is missing (an entry with an empty value gives "").
  std::string ReadString(std::string_view Section, std::string_view Ident, const std::string& Default) const;
  // Decimal or hex ($FF, 0xFF) text; Default when missing or not a number.
  int32_t ReadInteger(std::string_view Section, std::string_view Ident, int32_t Default) const;
  // Reads an integer (Default as 1 or 0); true for any non-zero value.
  bool ReadBool(std::string_view Section, std::string_view Ident, bool Default) const;
  // With the program's decimal separator; Default when missing or not a number.
  double ReadFloat(std::string_view Section, std::string_view Ident, double Default) const;
  void WriteString(std::string_view Section, std::string_view Ident, const std::string& Value);
  void WriteInteger(std::string_view Section, std::string_view Ident, int32_t Value);
  void WriteBool(std::string_view Section, std::string_view Ident, bool Value);  // "1" / "0"
  void WriteFloat(std::string_view Section, std::string_view Ident, double Value);

  // Entry names of a section (cleared first).
  void ReadSection(std::string_view Section, TStrings* Strings) const;
  // Section names (cleared first).
  void ReadSections(TStrings* Strings) const;
  // Name=Value lines of a section (cleared first).
  void ReadSectionValues(std::string_view Section, TStrings* Strings) const;
  bool SectionExists(std::string_view Section) const;
  bool ValueExists(std::string_view Section, std::string_view Ident) const;
  void EraseSection(std::string_view Section);
  void DeleteKey(std::string_view Section, std::string_view Ident);
  // Writes the file (raises EFCreateError when it cannot be written).
  void UpdateFile();

 private:
  std::string FFileName;
  TIniData FData;
};

// The per-user settings store: an INI file at $XDG_CONFIG_HOME/Velmora/VX2.ini (or
// ~/.config/Velmora/VX2.ini when XDG_CONFIG_HOME is unset or empty), sections "Options" and
// "DbOptions".
// * Every value is a string; integers are written in decimal and Booleans as "1" / "0".
// * Every read names its default: a missing entry gives the default; ReadInteger gives it for a
//   text that is not a number; ReadBool reads an integer and is true for any non-zero value
//   ("2" reads true, "yes" reads the default).
// * The file is UTF-8; values are converted to and from CP1250. A line that is not valid UTF-8
//   is taken as CP1250 bytes. A value written with blanks at its ends, or starting and ending
//   with '"', is stored in double quotes, which reading removes. Line breaks inside a name or
//   value are stored as blanks.
// * A missing, unreadable or corrupt file never raises: unusable lines are skipped and the
//   defaults apply.
// * Each write reloads the file (so changes made by another copy of the program survive),
//   changes the one value and replaces the file durably: a temporary file in the same folder is
//   written and flushed to disk, then renamed over the old one. A write that fails leaves the
//   file as it was and returns false; the value still holds in memory for this run.
class TPrgReg : public TObject {
 public:
  TPrgReg();  // the per-user file above
  // A given file (an OS path); for tests and tools.
  explicit TPrgReg(const std::string& OsFileName);
  std::string ClassName() const override { return "TPrgReg"; }
  // $XDG_CONFIG_HOME/Velmora/VX2.ini or its fallback (an OS path).
  static std::string DefaultFileName();
  const std::string& FileName() const { return FFileName; }

  std::string ReadString(std::string_view Section, std::string_view Name, const std::string& Default) const;
  int32_t ReadInteger(std::string_view Section, std::string_view Name, int32_t Default) const;
  bool ReadBool(std::string_view Section, std::string_view Name, bool Default) const;
  bool WriteString(std::string_view Section, std::string_view Name, const std::string& Value);
  bool WriteInteger(std::string_view Section, std::string_view Name, int32_t Value);
  bool WriteBool(std::string_view Section, std::string_view Name, bool Value);
  bool ValueExists(std::string_view Section, std::string_view Name) const;
  bool DeleteKey(std::string_view Section, std::string_view Name);
  // Reads the file again.
  void Reload();

 private:
  bool Save();
  std::string FFileName;
  TIniData FData;
};

// Replaces OsFileName durably with Bytes: a temporary file in the same folder, flushed, then
// renamed over it; the folder is created when missing. False (and the old file untouched) on
// failure.
bool WriteFileDurably(const std::string& OsFileName, std::string_view Bytes);

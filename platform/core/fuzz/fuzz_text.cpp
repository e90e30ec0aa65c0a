// Feeds arbitrary bytes to the text parsers of the core library: line splitting, INI parsing,
// the settings store's file reader, UTF-8 decoding, number and date parsing, Format,
// FormatFloat, FormatDateTime and the word wrap. Only the program's own exceptions may escape
// a call; anything else (a crash, a sanitizer report) is a fault.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "platform/core/cp1250.h"
#include "platform/core/datetime.h"
#include "platform/core/inifiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string s(reinterpret_cast<const char*>(Data), Size);
  const int width = Size ? Data[0] % 90 : 10;

  TStringList lines;
  lines.SetText(s);
  TMemIniFile ini;
  ini.SetStrings(&lines);
  TStringList out;
  ini.ReadSections(&out);
  for (int i = 0; i < out.Count(); ++i) {
    TStringList vals;
    ini.ReadSectionValues(out.Strings(i), &vals);
    for (int k = 0; k < vals.Count(); ++k) {
      ini.ReadInteger(out.Strings(i), vals.Names(k), 0);
      ini.ReadFloat(out.Strings(i), vals.Names(k), 0);
    }
  }
  lines.Values("a");
  lines.SetCommaText(s);
  (void)lines.CommaText();
  lines.Sort();

  // The settings store reads the same bytes from a file.
  char path[] = "/tmp/vxcore-fuzz-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd >= 0) {
    if (::write(fd, s.data(), s.size()) == static_cast<ssize_t>(s.size())) {
      TPrgReg reg(path);
      reg.ReadBool("Options", "SoundOn", true);
      reg.ReadString("DbOptions", "DBPath", "data");
    }
    ::close(fd);
    ::unlink(path);
  }

  (void)Cp1250ToUtf8(Utf8ToCp1250(s));
  (void)Utf16ToCp1250(Cp1250ToUtf16(s));
  (void)AnsiUpperCase(s);
  (void)AnsiCompareText(s, lines.Text());
  (void)StrToIntDef(s, 0);
  (void)StrToInt64Def(s, 0);
  (void)StrToFloatDef(s, 0);
  (void)WrapText(s, width);
  (void)ExtractField(s, ';', width);
  (void)StringReplace(s, s.substr(0, Size / 3), "xy", rfReplaceAll | rfIgnoreCase);
  TDateTime d;
  (void)TryStrToDateTime(s, d, FormatSettings);
  try {
    (void)Format(s, {1, "two", 3.5, 'c', -4LL});
  } catch (const EConvertError&) {
  }
  (void)FormatFloat(s, -1234.5678);
  (void)FormatFloat(s, 0);
  (void)FormatDateTime(s, 45000.75);
  return 0;
}

// Feeds arbitrary bytes to the engine's text routines that see user data: the LIKE matcher, the
// locale comparison and case mapping, key building from a record value, and the decimal form.
// Layout of an input: byte 0 picks the language, then text and pattern separated by a zero byte.
#include <cstdint>
#include <cstring>
#include <string>

#include "dbengine/storage/collation.h"
#include "dbengine/storage/engine_decimal.h"
#include "dbengine/storage/engine_keys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 1) return 0;
  static const uint16_t Languages[] = {0, 0x0415, 0x0407, 0x0419, 0x0408, 0x041F, 0x040D, 0x0401, 0x041E, 0x042A, 0x0425};
  const uint16_t Language = Languages[Data[0] % (sizeof(Languages) / sizeof(Languages[0]))];
  const uint16_t Sort = (Data[0] >> 7) & 1;
  std::string Rest(reinterpret_cast<const char*>(Data + 1), Size - 1);
  size_t Zero = Rest.find('\0');
  std::string Text = Rest.substr(0, Zero).substr(0, 255);
  std::string Pattern = Zero == std::string::npos ? std::string() : Rest.substr(Zero + 1).substr(0, 255);
  Pattern = Pattern.substr(0, Pattern.find('\0'));

  MatchLikePattern(Language, Sort, Text.c_str(), Pattern.c_str());
  std::string A = Text, B = Pattern;
  CompareLocaleStrings(Language, Sort, A.data(), (Data[0] & 1) != 0, 0, B.data());
  LocaleUpperCase(Language, Sort, Text);
  uint8_t Map[256];
  GetCharMap(Language, Sort, Map);

  // A string field of a random size: the key part never grows beyond the field.
  uint8_t Descriptor[768] = {};
  Descriptor[kFieldDescTypeOffset] = ftString;
  Descriptor[kFieldDescDeclaredSizeOffset] = static_cast<uint8_t>(Size % 251);
  SetFieldStorageSize(Descriptor);
  uint8_t Value[256] = {};
  memcpy(Value, Text.data(), Text.size() < sizeof(Value) ? Text.size() : sizeof(Value));
  uint8_t Key[260];
  BuildIndexKey(Descriptor, Value, Key, 0, Sort, Language, (Data[0] & 2) != 0, (Data[0] & 4) != 0);

  int64_t E = 0;
  memcpy(&E, Data, Size < sizeof(E) ? Size : sizeof(E));
  EngineBCDToFloat(E);
  double D;
  memcpy(&D, &E, sizeof(D));
  FloatToEngineBCD(Data[0] % 10, D);
  return 0;
}

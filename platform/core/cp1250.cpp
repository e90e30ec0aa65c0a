#include "platform/core/cp1250.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <unordered_map>

namespace {

// Upper half of the code page, 0x80..0xFF. Unmapped bytes carry their own value (a C1 control).
constexpr char16_t High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // F8
};

bool IsUnmapped(unsigned char c) { return c == 0x81 || c == 0x83 || c == 0x88 || c == 0x90 || c == 0x98; }

const std::unordered_map<char32_t, unsigned char>& ReverseMap() {
  static const std::unordered_map<char32_t, unsigned char> Map = [] {
    std::unordered_map<char32_t, unsigned char> m;
    for (int i = 0; i < 128; ++i) m.emplace(char32_t(High[i]), static_cast<unsigned char>(0x80 + i));
    return m;
  }();
  return Map;
}

struct CaseTables {
  std::array<unsigned char, 256> Up{}, Lo{};
  std::array<bool, 256> Letter{};
};

// Lower-case letter -> its upper-case partner in the upper half of the code page.
constexpr unsigned char CasePairs[][2] = {
    {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9D, 0x8D}, {0x9E, 0x8E}, {0x9F, 0x8F}, {0xB3, 0xA3},
    {0xB9, 0xA5}, {0xBA, 0xAA}, {0xBE, 0xBC}, {0xBF, 0xAF},
};

const CaseTables& Cases() {
  static const CaseTables T = [] {
    CaseTables t;
    for (int i = 0; i < 256; ++i) t.Up[i] = t.Lo[i] = static_cast<unsigned char>(i);
    auto pair = [&t](int lo, int up) {
      t.Up[lo] = static_cast<unsigned char>(up);
      t.Lo[up] = static_cast<unsigned char>(lo);
      t.Letter[lo] = t.Letter[up] = true;
    };
    for (int c = 'a'; c <= 'z'; ++c) pair(c, c - 32);
    for (const auto& p : CasePairs) pair(p[0], p[1]);
    for (int c = 0xE0; c <= 0xFE; ++c)
      if (c != 0xF7) pair(c, c - 32);
    t.Letter[0xDF] = true;  // ß has no upper-case form in the code page
    return t;
  }();
  return T;
}

void AppendUtf8(std::string& Out, char32_t Cp) {
  if (Cp < 0x80) {
    Out += static_cast<char>(Cp);
  } else if (Cp < 0x800) {
    Out += static_cast<char>(0xC0 | (Cp >> 6));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  } else if (Cp < 0x10000) {
    Out += static_cast<char>(0xE0 | (Cp >> 12));
    Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (Cp >> 18));
    Out += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at S[i]; advances i. Returns false (and advances one byte) for a
// malformed sequence.
bool DecodeUtf8(std::string_view S, std::size_t& i, char32_t& Cp) {
  const unsigned char b0 = static_cast<unsigned char>(S[i]);
  int len;
  char32_t min;
  if (b0 < 0x80) {
    Cp = b0;
    ++i;
    return true;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2, min = 0x80, Cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, min = 0x800, Cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, min = 0x10000, Cp = b0 & 0x07;
  } else {
    ++i;
    return false;
  }
  if (i + len > S.size()) {
    ++i;
    return false;
  }
  for (int k = 1; k < len; ++k) {
    const unsigned char b = static_cast<unsigned char>(S[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return false;
    }
    Cp = (Cp << 6) | (b & 0x3F);
  }
  if (Cp < min || Cp > 0x10FFFF || (Cp >= 0xD800 && Cp <= 0xDFFF)) {
    ++i;
    return false;
  }
  i += len;
  return true;
}

char EncodeOrQuestion(char32_t Cp) {
  unsigned char c;
  return UnicodeToCp1250(Cp, c) ? static_cast<char>(c) : '?';
}

}  // namespace

char32_t Cp1250ToUnicode(unsigned char Ch) { return Ch < 0x80 ? char32_t(Ch) : char32_t(High[Ch - 0x80]); }

bool Cp1250IsMapped(unsigned char Ch) { return !IsUnmapped(Ch); }

bool UnicodeToCp1250(char32_t Cp, unsigned char& Ch) {
  if (Cp < 0x80) {
    Ch = static_cast<unsigned char>(Cp);
    return true;
  }
  const auto& m = ReverseMap();
  auto it = m.find(Cp);
  if (it == m.end()) return false;
  Ch = it->second;
  return true;
}

std::string Cp1250ToUtf8(std::string_view S) {
  std::string Out;
  Out.reserve(S.size() + S.size() / 4);
  for (char c : S) AppendUtf8(Out, Cp1250ToUnicode(static_cast<unsigned char>(c)));
  return Out;
}

std::string Utf8ToCp1250(std::string_view S) {
  std::string Out;
  Out.reserve(S.size());
  std::size_t i = 0;
  while (i < S.size()) {
    char32_t Cp;
    Out += DecodeUtf8(S, i, Cp) ? EncodeOrQuestion(Cp) : '?';
  }
  return Out;
}

bool IsValidUtf8(std::string_view S) {
  std::size_t i = 0;
  char32_t Cp;
  while (i < S.size())
    if (!DecodeUtf8(S, i, Cp)) return false;
  return true;
}

std::u16string Cp1250ToUtf16(std::string_view S) {
  std::u16string Out;
  Out.reserve(S.size());
  for (char c : S) Out += static_cast<char16_t>(Cp1250ToUnicode(static_cast<unsigned char>(c)));
  return Out;
}

std::string Utf16ToCp1250(std::u16string_view S) {
  std::string Out;
  Out.reserve(S.size());
  for (std::size_t i = 0; i < S.size(); ++i) {
    const char16_t u = S[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < S.size() && S[i + 1] >= 0xDC00 && S[i + 1] <= 0xDFFF) {
      ++i;  // a supplementary character: never in the code page
      Out += '?';
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      Out += '?';
    } else {
      Out += EncodeOrQuestion(u);
    }
  }
  return Out;
}

char Cp1250UpCase(char Ch) { return static_cast<char>(Cases().Up[static_cast<unsigned char>(Ch)]); }
char Cp1250LoCase(char Ch) { return static_cast<char>(Cases().Lo[static_cast<unsigned char>(Ch)]); }
bool Cp1250IsLetter(char Ch) { return Cases().Letter[static_cast<unsigned char>(Ch)]; }

std::string UnicodeToCodePage(uint32_t Code, int CodePage) {
  if (Code < 128) return std::string(1, static_cast<char>(Code));
  if (CodePage == 1250 || CodePage == 0) {
    unsigned char B;
    if (UnicodeToCp1250(static_cast<char32_t>(Code), B)) return std::string(1, static_cast<char>(B));
    return "?";
  }
  // Code page 1 is the OEM code page, which for a Polish system is 852.
  std::string Name = "CP" + std::to_string(CodePage == 1 ? 852 : CodePage);
  iconv_t Cd = iconv_open(Name.c_str(), "UTF-32LE");
  if (Cd == reinterpret_cast<iconv_t>(-1)) return "?";
  char In[4] = {static_cast<char>(Code & 0xFF), static_cast<char>((Code >> 8) & 0xFF),
                static_cast<char>((Code >> 16) & 0xFF), static_cast<char>(Code >> 24)};
  char Out[8];
  char* InP = In;
  char* OutP = Out;
  size_t InLeft = 4, OutLeft = sizeof Out;
  size_t R = iconv(Cd, &InP, &InLeft, &OutP, &OutLeft);
  iconv_close(Cd);
  size_t N = sizeof Out - OutLeft;
  if (R == static_cast<size_t>(-1) || N == 0) return "?";
  return std::string(Out, N < 2 ? N : 2);
}

bool CharsetToCp1250(std::string_view Text, std::string_view Charset, std::string& Out) {
  // Only plain names reach iconv: no empty name (the locale's set) and no "//" suffixes.
  std::string Name;
  for (char C : Charset) {
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
    if (!((C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '-' || C == '_' || C == '.' || C == ':'))
      return false;
    Name += C;
  }
  if (Name.empty() || Name.size() > 40) return false;
  if (Name == "utf-8" || Name == "utf8") {
    Out = Utf8ToCp1250(Text);
    return true;
  }
  if (Name == "windows-1250" || Name == "cp1250" || Name == "x-cp1250") {
    Out.assign(Text);
    return true;
  }
  iconv_t Cd = iconv_open("UTF-32LE", Name.c_str());
  if (Cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string Result;
  Result.reserve(Text.size());
  std::string In(Text);
  char* InP = In.data();
  size_t InLeft = In.size();
  char Buf[1024];
  auto Flush = [&](const char* End) {
    for (const char* P = Buf; P + 4 <= End; P += 4) {
      const auto* U = reinterpret_cast<const unsigned char*>(P);
      const char32_t Cp = static_cast<char32_t>(U[0] | (U[1] << 8) | (U[2] << 16) | (static_cast<uint32_t>(U[3]) << 24));
      unsigned char B;
      Result += UnicodeToCp1250(Cp, B) ? static_cast<char>(B) : '?';
    }
  };
  while (InLeft > 0) {
    char* OutP = Buf;
    size_t OutLeft = sizeof Buf;
    const size_t R = iconv(Cd, &InP, &InLeft, &OutP, &OutLeft);
    Flush(OutP);
    if (R != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // A byte the set does not define, or a sequence cut off at the end.
    Result += '?';
    if (errno == EILSEQ) {
      ++InP;
      --InLeft;
      iconv(Cd, nullptr, nullptr, nullptr, nullptr);
    } else {
      break;
    }
  }
  // Stateful sets (ISO-2022-*) may owe a last sequence.
  char* OutP = Buf;
  size_t OutLeft = sizeof Buf;
  iconv(Cd, nullptr, nullptr, &OutP, &OutLeft);
  Flush(OutP);
  iconv_close(Cd);
  Out = std::move(Result);
  return true;
}

#include "dbengine/storage/collation.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "dbengine/storage/collation_data.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/engine_heap.h"
#include "dbengine/storage/system_list.h"

namespace {

const std::vector<TLanguageEntry> kLanguages = {
    {"ANSI Standard", 0, 0},
    {"Afrikaans", 1078, 1252},
    {"Albanian", 1052, 1250},
    {"Arabic (Saudi Arabia)", 1025, 1256},
    {"Arabic (Iraq)", 2049, 1256},
    {"Arabic (Egypt)", 3073, 1256},
    {"Arabic (Libya)", 4097, 1256},
    {"Arabic (Algeria)", 5121, 1256},
    {"Arabic (Morocco)", 6145, 1256},
    {"Arabic (Tunisia)", 7169, 1256},
    {"Arabic (Oman)", 8193, 1256},
    {"Arabic (Yemen)", 9217, 1256},
    {"Arabic (Syria)", 10241, 1256},
    {"Arabic (Jordan)", 11265, 1256},
    {"Arabic (Lebanon)", 12289, 1256},
    {"Arabic (Kuwait)", 13313, 1256},
    {"Arabic (U.A.E)", 14337, 1256},
    {"Arabic (Bahrain)", 15361, 1256},
    {"Arabic (Qatar)", 16385, 1256},
    {"Basque", 1069, 1252},
    {"Belarusian", 1059, 1251},
    {"Bulgarian", 1026, 1251},
    {"Catalan", 1027, 1252},
    {"Croatian", 1050, 1250},
    {"Czech", 1029, 1250},
    {"Danish", 1030, 1252},
    {"Dutch (Standard)", 1043, 1252},
    {"Dutch (Belgian)", 2067, 1252},
    {"English (USA)", 1033, 1252},
    {"English (UK)", 2057, 1252},
    {"English (Australian)", 3081, 1252},
    {"English (Canadian)", 4105, 1252},
    {"English (New Zealand)", 5129, 1252},
    {"English (Irish)", 6153, 1252},
    {"English (South Africa)", 7177, 1252},
    {"English (Jamaica)", 8201, 1252},
    {"English (Caribbean)", 9225, 1252},
    {"English (Belize)", 10249, 1252},
    {"English (Trinidad)", 11273, 1252},
    {"Estonian", 1061, 1257},
    {"Faeroese", 1080, 1252},
    {"Farsi", 1065, 1256},
    {"Finnish", 1035, 1252},
    {"French (Standard)", 1036, 1252},
    {"French (Belgian)", 2060, 1252},
    {"French (Canadian)", 3084, 1252},
    {"French (Swiss)", 4108, 1252},
    {"French (Luxembourg)", 5132, 1252},
    {"German (Standard)", 1031, 1252},
    {"German (Swiss)", 2055, 1252},
    {"German (Austrian)", 3079, 1252},
    {"German (Luxembourg)", 4103, 1252},
    {"German (Liechtenstein)", 5127, 1252},
    {"Greek", 1032, 1253},
    {"Hebrew", 1037, 1255},
    {"Hungarian", 1038, 1250},
    {"Icelandic", 1039, 1252},
    {"Indonesian", 1057, 1252},
    {"Italian (Standard)", 1040, 1252},
    {"Italian (Swiss)", 2064, 1252},
    {"Latvian", 1062, 1257},
    {"Lithuanian", 1063, 1257},
    {"Norwegian (Bokmal)", 1044, 1252},
    {"Norwegian (Nynorsk)", 2068, 1252},
    {"Polish", 1045, 1250},
    {"Portuguese (Standard)", 2070, 1252},
    {"Portuguese (Brazilian)", 1046, 1252},
    {"Romanian", 1048, 1250},
    {"Russian", 1049, 1251},
    {"Serbian (Latin)", 2074, 1250},
    {"Serbian (Cyrillic)", 3098, 1251},
    {"Slovak", 1051, 1250},
    {"Slovenian", 1060, 1250},
    {"Spanish (Castilian)", 1034, 1252},
    {"Spanish (Mexican)", 2058, 1252},
    {"Spanish (Modern)", 3082, 1252},
    {"Spanish (Guatemala)", 4106, 1252},
    {"Spanish (Costa Rica)", 5130, 1252},
    {"Spanish (Panama)", 6154, 1252},
    {"Spanish (Dominican Republic)", 7178, 1252},
    {"Spanish (Venezuela)", 8202, 1252},
    {"Spanish (Colombia)", 9226, 1252},
    {"Spanish (Peru)", 10250, 1252},
    {"Spanish (Argentina)", 11274, 1252},
    {"Spanish (Ecuador)", 12298, 1252},
    {"Spanish (Chile)", 13322, 1252},
    {"Spanish (Uruguay)", 14346, 1252},
    {"Spanish (Paraguay)", 15370, 1252},
    {"Spanish (Bolivia)", 16394, 1252},
    {"Spanish (El Salvador)", 17418, 1252},
    {"Spanish (Honduras)", 18442, 1252},
    {"Spanish (Nicaragua)", 19466, 1252},
    {"Spanish (Puerto Rico)", 20490, 1252},
    {"Swedish (Standard)", 1053, 1252},
    {"Swedish (Finland)", 2077, 1252},
    {"Thai", 1054, 874},
    {"Turkish", 1055, 1254},
    {"Ukranian", 1058, 1251},
    {"Vietnamese", 1066, 1258},
};

constexpr int kFirstGerman = 48;
constexpr int kLastGerman = 52;
constexpr uint16_t kPrimaryGerman = 7;

const TCodePageData* CodePageData(uint16_t CodePage) {
  for (int I = 0; I < kCodePageDataCount; ++I)
    if (kCodePageData[I].CodePage == CodePage) return &kCodePageData[I];
  return nullptr;
}

using TElements = const uint32_t (*)[2];

// The collation table of a listed, non-zero language; nullptr when the engine has none.
TElements CollationTable(uint16_t Language, uint16_t Sort) {
  if (Language == kLanguagePolish) return kPolishCollation;
  if ((Language & 0x3FF) == kPrimaryGerman && Sort == 1) return kPhoneBookCollation;
  const TCodePageData* D = CodePageData(LanguageCodePage(Language));
  return D ? D->Generic : nullptr;
}

// Collation elements of a byte string.
void Expand(TElements T, const uint8_t* S, int Length, std::vector<uint32_t>& Out) {
  Out.clear();
  for (int I = 0; I < Length; ++I) {
    Out.push_back(T[S[I]][0]);
    if (T[S[I]][1]) Out.push_back(T[S[I]][1]);
  }
}

int CompareLevel(const std::vector<uint32_t>& A, const std::vector<uint32_t>& B, int Shift, uint32_t Mask) {
  size_t N = std::min(A.size(), B.size());
  for (size_t I = 0; I < N; ++I) {
    uint32_t X = (A[I] >> Shift) & Mask, Y = (B[I] >> Shift) & Mask;
    if (X != Y) return X < Y ? -1 : 1;
  }
  if (A.size() != B.size()) return A.size() < B.size() ? -1 : 1;
  return 0;
}

const uint8_t* CaseMap(uint16_t Language, bool Upper) {
  const TCodePageData* D = CodePageData(LanguageCodePage(Language == 0 ? kLanguageEnglishUSA : Language));
  if (!D) D = CodePageData(1252);
  return Upper ? D->Upper : D->Lower;
}

void MapCase(uint16_t Language, bool Upper, const char* Source, char* Dest) {
  const uint8_t* M = CaseMap(Language, Upper);
  size_t N = strlen(Source);
  // Through a temporary buffer so that Dest may overlap Source.
  uint8_t* Tmp = static_cast<uint8_t*>(EngineAlloc(static_cast<intptr_t>(N + 1)));
  for (size_t I = 0; I < N; ++I) Tmp[I] = M[static_cast<uint8_t>(Source[I])];
  memcpy(Dest, Tmp, N + 1);
  EngineFree(Tmp);
}

// ---- Character-map cache ----
struct TCharMapEntry {
  uint16_t Language;
  uint16_t Sort;
  uint8_t Map[256];
};

std::mutex gCharMapLock;
std::vector<TCharMapEntry>* gCharMaps = nullptr;

}  // namespace

uint32_t MakeLocaleId(uint16_t Language, uint16_t Sort) { return static_cast<uint32_t>(Sort) * 65536u + Language; }

uint16_t MakeLangId(uint16_t Primary, uint16_t Sub) { return static_cast<uint16_t>(Sub * 1024 + Primary); }

const std::vector<TLanguageEntry>& LanguageList() { return kLanguages; }

bool IsValidLanguageName(const std::string& Name) {
  for (const TLanguageEntry& L : kLanguages)
    if (AnsiSameText(L.Name, Trim(Name))) return true;
  return false;
}

uint16_t LanguageIdFromName(const std::string& Name) {
  for (const TLanguageEntry& L : kLanguages)
    if (AnsiSameText(L.Name, Trim(Name))) return L.LanguageId;
  return 0;
}

int LanguageNameIndex(uint16_t LanguageId) {
  for (size_t I = 0; I < kLanguages.size(); ++I)
    if (kLanguages[I].LanguageId == LanguageId) return static_cast<int>(I);
  return -1;
}

bool IsLanguageAvailable(uint16_t LanguageId) { return LanguageNameIndex(LanguageId) >= 0; }

void CheckLanguageAvailable(uint16_t LanguageId, const std::string& TableName) {
  if (!IsLanguageAvailable(LanguageId)) RaiseEngineError(ecNoLanguageDriver, TableName);
}

uint16_t LanguageCodePage(uint16_t LanguageId) {
  if (LanguageId == 0) return 1252;
  int I = LanguageNameIndex(LanguageId);
  return I < 0 ? 0 : kLanguages[static_cast<size_t>(I)].CodePage;
}

std::vector<std::string> SortNames(int Position) {
  std::vector<std::string> L{"Default Order"};
  if (Position >= kFirstGerman && Position <= kLastGerman) L.push_back("German Phone Book Order");
  return L;
}

void FillSortNames(int Position, std::vector<std::string>& List) { List = SortNames(Position); }

bool IsValidSortName(uint16_t LanguageId, const std::string& Name) {
  for (const std::string& S : SortNames(LanguageNameIndex(LanguageId)))
    if (AnsiSameText(S, Trim(Name))) return true;
  return false;
}

uint16_t SortIdFromName(uint16_t LanguageId, const std::string& Name) {
  std::vector<std::string> L = SortNames(LanguageNameIndex(LanguageId));
  for (size_t I = 0; I < L.size(); ++I)
    if (AnsiSameText(L[I], Trim(Name))) return static_cast<uint16_t>(I);
  return 0;
}

int CollateStrings(uint16_t Language, uint16_t Sort, const char* A, int LengthA, const char* B, int LengthB,
                   uint32_t Flags) {
  TElements T = Language == 0 ? nullptr : CollationTable(Language, Sort);
  if (!T) {
    int N = std::min(LengthA, LengthB);
    int R = CompareBuffers(A, B, N, false);
    if (R != 0 || LengthA == LengthB) return R;
    return LengthA < LengthB ? -1 : 1;
  }
  // Each byte has elements of its own, so the bytes both strings begin with weigh the same at
  // every level: only what follows them is compared (keys of one index share long beginnings).
  int Same = 0;
  for (const int N = std::min(LengthA, LengthB); Same < N && A[Same] == B[Same];) ++Same;
  if (Same == LengthA && Same == LengthB) return 0;
  thread_local std::vector<uint32_t> EA, EB;
  Expand(T, reinterpret_cast<const uint8_t*>(A) + Same, LengthA - Same, EA);
  Expand(T, reinterpret_cast<const uint8_t*>(B) + Same, LengthB - Same, EB);
  int R = CompareLevel(EA, EB, 16, 0xFFFF);
  if (R == 0 && !(Flags & kCompareIgnoreNonSpace)) R = CompareLevel(EA, EB, 8, 0xFF);
  if (R == 0 && !(Flags & kCompareIgnoreCase)) R = CompareLevel(EA, EB, 0, 0xFF);
  return R;
}

int CompareBuffers(const void* A, const void* B, int Length, bool Descending) {
  if (!A) return 1;
  // memcmp compares as unsigned bytes, word by word: the keys of every index search come here.
  const int C = std::memcmp(A, B, static_cast<uint16_t>(Length));
  const int R = (C > 0) - (C < 0);
  return Descending ? -R : R;
}

int CompareLocaleStrings(uint16_t Language, uint16_t Sort, char* A, bool CaseInsensitive, int Length, char* B) {
  if (Language != 0) {
    int LA = Length ? Length : static_cast<int>(strlen(A));
    int LB = Length ? Length : static_cast<int>(strlen(B));
    return CollateStrings(Language, Sort, A, LA, B, LB,
                          kCompareIgnoreNonSpace | (CaseInsensitive ? kCompareIgnoreCase : 0));
  }
  if (CaseInsensitive) {
    LocaleUpperCase(0, 0, A, A);
    LocaleUpperCase(0, 0, B, B);
  }
  int L = Length;
  if (L == 0) L = static_cast<int>(std::max(strlen(A), strlen(B)));
  return CompareBuffers(A, B, L, false);
}

int CompareLocaleChar(uint16_t Language, uint16_t Sort, uint8_t C1, uint8_t C2) {
  if (Language == 0) return CompareBuffers(&C1, &C2, 1, false);
  return CollateStrings(Language, Sort, reinterpret_cast<const char*>(&C1), 1, reinterpret_cast<const char*>(&C2), 1,
                        kCompareIgnoreNonSpace);
}

void LocaleUpperCase(uint16_t Language, uint16_t, const char* Source, char* Dest) { MapCase(Language, true, Source, Dest); }

void LocaleLowerCase(uint16_t Language, uint16_t, const char* Source, char* Dest) { MapCase(Language, false, Source, Dest); }

std::string LocaleUpperCase(uint16_t Language, uint16_t, const std::string& S) {
  const uint8_t* M = CaseMap(Language, true);
  std::string R = S;
  for (char& C : R) C = static_cast<char>(M[static_cast<uint8_t>(C)]);
  return R;
}

std::string LocaleLowerCase(uint16_t Language, uint16_t, const std::string& S) {
  const uint8_t* M = CaseMap(Language, false);
  std::string R = S;
  for (char& C : R) C = static_cast<char>(M[static_cast<uint8_t>(C)]);
  return R;
}

const uint8_t* CodePageUpperMap(uint16_t CodePage) {
  const TCodePageData* D = CodePageData(CodePage);
  return D ? D->Upper : nullptr;
}

const uint8_t* CodePageLowerMap(uint16_t CodePage) {
  const TCodePageData* D = CodePageData(CodePage);
  return D ? D->Lower : nullptr;
}

void GetCharMap(uint16_t Language, uint16_t Sort, uint8_t Map[256]) {
  std::lock_guard<std::mutex> G(gCharMapLock);
  if (!gCharMaps) gCharMaps = new std::vector<TCharMapEntry>();
  for (const TCharMapEntry& E : *gCharMaps) {
    if (E.Language == Language && E.Sort == Sort) {
      memcpy(Map, E.Map, 256);
      return;
    }
  }
  TCharMapEntry E;
  E.Language = Language;
  E.Sort = Sort;
  for (int I = 0; I < 256; ++I) E.Map[I] = static_cast<uint8_t>(I);
  if (Language != 0) {
    // The byte values sorted as one-character strings: case-sensitive and with diacritics.
    void* Items[256];
    for (int I = 0; I < 256; ++I) Items[I] = reinterpret_cast<void*>(static_cast<intptr_t>(I));
    QuickSortPointers(Items, 0, 255, [&](void* X, void* Y) {
      char A = static_cast<char>(reinterpret_cast<intptr_t>(X));
      char B = static_cast<char>(reinterpret_cast<intptr_t>(Y));
      return CollateStrings(Language, Sort, &A, 1, &B, 1, 0);
    });
    for (int I = 0; I < 256; ++I) E.Map[I] = static_cast<uint8_t>(reinterpret_cast<intptr_t>(Items[I]));
  }
  gCharMaps->push_back(E);
  memcpy(Map, E.Map, 256);
}

bool MatchLikePattern(uint16_t Language, uint16_t Sort, const char* Text, const char* Pattern) {
  const char* T = Text;
  const char* P = Pattern;
  const char* RestartP = nullptr;
  const char* RestartT = nullptr;
  for (;;) {
    if (P[0] == '%' && P[1] == 0) return true;
    if (*T == 0 && *P != 0) {
      if (!RestartP) return false;
      P = RestartP;
      T = ++RestartT;
      RestartP = nullptr;
      // The restart moved past the end of the text: nothing is left to match.
      if (T > Text + strlen(Text)) return false;
      continue;
    }
    if (*T == 0 && *P == 0) return true;
    if (*P == '%') {
      RestartP = P;
      RestartT = T;
      ++P;
      continue;
    }
    if (*P == '_') {
      ++P;
      ++T;
      continue;
    }
    if (*P != 0 && CompareLocaleChar(Language, Sort, static_cast<uint8_t>(*T), static_cast<uint8_t>(*P)) == 0) {
      ++P;
      ++T;
      continue;
    }
    if (!RestartP) return false;
    P = RestartP;
    T = ++RestartT;
    RestartP = nullptr;
  }
}

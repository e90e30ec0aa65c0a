// Languages, sort orders, locale comparison, case mapping and character maps.
//
// Language 0 ("ANSI Standard") is byte order. Every other language of the engine's language list
// collates through a table for its ANSI code page: exact tables for Polish (code page 1250: the
// letters a ą b c ć d e ę f g h i j k l ł m n ń o ó p q r s ś t u v w x y z ź ż are distinct, foreign
// diacritics differ only at the second level, case at the third) and German phone-book order
// (sort 1: ä = ae, ö = oe, ü = ue, ß = ss), and a generic letter order for the other languages.
// Symbols sort before digits, digits before letters. Case maps are per code page; language 0 uses
// the English (USA) code page 1252 for upper- and lower-casing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/sysutils.h"

struct TLanguageEntry {
  const char* Name;
  uint16_t LanguageId;  // MakeLangId(primary, sub)
  uint16_t CodePage;    // ANSI code page of the language (0 for language 0)
};

constexpr uint16_t kLanguageEnglishUSA = 0x0409;
constexpr uint16_t kLanguagePolish = 0x0415;

uint32_t MakeLocaleId(uint16_t Language, uint16_t Sort);
uint16_t MakeLangId(uint16_t Primary, uint16_t Sub);

// The 99 languages in list order.
const std::vector<TLanguageEntry>& LanguageList();
bool IsValidLanguageName(const std::string& Name);
uint16_t LanguageIdFromName(const std::string& Name);  // 0 when unknown
int LanguageNameIndex(uint16_t LanguageId);           // -1 when absent
// True when the engine has collation tables for the language (0 and every listed language).
bool IsLanguageAvailable(uint16_t LanguageId);
// Raises 0x3E06 for TableName when the language is not available.
void CheckLanguageAvailable(uint16_t LanguageId, const std::string& TableName);
uint16_t LanguageCodePage(uint16_t LanguageId);  // 1252 for language 0

// "Default Order", plus "German Phone Book Order" for the five German languages (positions 48..52).
std::vector<std::string> SortNames(int Position);
void FillSortNames(int Position, std::vector<std::string>& List);
bool IsValidSortName(uint16_t LanguageId, const std::string& Name);
uint16_t SortIdFromName(uint16_t LanguageId, const std::string& Name);  // 0 or 1

// Default language of the process from LC_ALL, LC_COLLATE, LANG (pl_PL... gives 0x0415), else 0x0409.
uint16_t ProcessDefaultLanguage();

// Comparison flags of the locale comparison.
constexpr uint32_t kCompareIgnoreCase = 1;       // third level (case) skipped
constexpr uint32_t kCompareIgnoreNonSpace = 2;   // second level (diacritics) skipped
// Compares two byte strings under (Language, Sort); Language must be listed and not 0. -1, 0, 1.
int CollateStrings(uint16_t Language, uint16_t Sort, const char* A, int LengthA, const char* B, int LengthB,
                   uint32_t Flags);

// Zero-terminated strings. Length 0 means the whole strings. Language 0: a case-insensitive
// comparison upper-cases both buffers in place first, then compares bytes.
int CompareLocaleStrings(uint16_t Language, uint16_t Sort, char* A, bool CaseInsensitive, int Length, char* B);
int CompareLocaleChar(uint16_t Language, uint16_t Sort, uint8_t C1, uint8_t C2);
// Dest may equal Source; Dest receives the terminating zero.
void LocaleUpperCase(uint16_t Language, uint16_t Sort, const char* Source, char* Dest);
void LocaleLowerCase(uint16_t Language, uint16_t Sort, const char* Source, char* Dest);
std::string LocaleUpperCase(uint16_t Language, uint16_t Sort, const std::string& S);
std::string LocaleLowerCase(uint16_t Language, uint16_t Sort, const std::string& S);
// The 256-byte case maps of a code page (1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 874, 1258).
const uint8_t* CodePageUpperMap(uint16_t CodePage);
const uint8_t* CodePageLowerMap(uint16_t CodePage);

// The 256 byte values in the collation order of (Language, Sort); identity for language 0. Cached.
void GetCharMap(uint16_t Language, uint16_t Sort, uint8_t Map[256]);

// '%' any run, '_' one character, no escape; other characters compare with CompareLocaleChar.
bool MatchLikePattern(uint16_t Language, uint16_t Sort, const char* Text, const char* Pattern);

// Signed byte comparison; a null A gives 1. Length is taken as unsigned 16-bit.
int CompareBuffers(const void* A, const void* B, int Length, bool Descending);

// The built-in format record of a language (in its code page); language 0 gives English (USA).
const TFormatSettings& LocaleFormat(uint16_t Language);

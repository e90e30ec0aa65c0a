// Code page 1250 (Central European, the Polish Windows code page).
//
// All program text is std::string holding CP1250 bytes; these routines convert at the edges
// (file names on disk, painting, key input, UTF-8 files).
//
// Bytes 0x00..0x7F are ASCII. Five bytes have no character in the code page: 0x81, 0x83, 0x88,
// 0x90 and 0x98. They decode to the C1 control code point of the same value (U+0081 ...), and
// those code points encode back to the same byte, so every one of the 256 bytes survives a round
// trip through Unicode. A code point that the code page cannot represent encodes as '?'.
// Malformed UTF-8 and unpaired UTF-16 surrogates also become '?'.
#pragma once

#include <cstdint>

#include <string>
#include <string_view>

// The Unicode code point of a CP1250 byte.
char32_t Cp1250ToUnicode(unsigned char Ch);
// False for the five bytes without a character.
bool Cp1250IsMapped(unsigned char Ch);
// The CP1250 byte of a code point; false when the code page has none.
bool UnicodeToCp1250(char32_t Cp, unsigned char& Ch);

std::string Cp1250ToUtf8(std::string_view S);
// A Unicode code point in a Windows code page (1250 through the table above, others through
// iconv): one or two bytes; "?" when the code page lacks the character. Code pages 0 (the
// system's, 1250) and 1 (the OEM one, 852 on a Polish system) are understood.
std::string UnicodeToCodePage(uint32_t Code, int CodePage);
std::string Utf8ToCp1250(std::string_view S);
std::u16string Cp1250ToUtf16(std::string_view S);
std::string Utf16ToCp1250(std::u16string_view S);
// Text in a named character set ("utf-8", "ISO-8859-2", "windows-1250", "latin1", ...; names as
// iconv knows them, without regard to case) converted to CP1250. Characters the code page lacks,
// bytes that are not valid in the set and a sequence cut off at the end become '?'. False, with Out
// left alone, when the name is empty, malformed or not a known set.
bool CharsetToCp1250(std::string_view Text, std::string_view Charset, std::string& Out);
// True when S is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view S);

// Case mapping of one CP1250 byte: Polish and the other letters of the code page as well as A-Z.
// Bytes without a case partner in the code page (ß, µ, ˙ ...) are returned unchanged.
char Cp1250UpCase(char Ch);
char Cp1250LoCase(char Ch);
// True for a letter of the code page (ASCII or accented).
bool Cp1250IsLetter(char Ch);

#include "tools/wordlist/wordlist.h"

#include <algorithm>

#include "platform/core/cp1250.h"

namespace wordlist {

const std::string& TypableLetters() {
  static const std::string Letters =
      "abcdefghijklmnopqrstuvwxyz" + Utf8ToCp1250("ąćęłńóśźż");
  return Letters;
}

bool IsTypableWord(std::string_view W) {
  if (W.size() < 2 || W.size() > 12) return false;
  const std::string& L = TypableLetters();
  return std::all_of(W.begin(), W.end(), [&](char C) { return L.find(C) != std::string::npos; });
}

namespace {

bool HasVowel(std::string_view W) {
  static const std::string Vowels = "aeiouy" + Utf8ToCp1250("ąęó");
  return W.find_first_of(Vowels) != std::string_view::npos;
}

// A letter three times in a row, or a doubled first letter: in dictionaries these are mostly
// interjections and abbreviations, not words to practise on.
bool HasOddRepeat(std::string_view W) {
  if (W.size() >= 2 && W[0] == W[1]) return true;
  for (std::size_t i = 2; i < W.size(); ++i)
    if (W[i] == W[i - 1] && W[i] == W[i - 2]) return true;
  return false;
}

// Letters q, v and x, and spellings such as sh, th or oo, appear only in words taken over from
// other languages without Polish spelling (the dictionary has many of them: flash, shake, hall).
bool LooksForeign(std::string_view W) {
  if (W.find_first_of("qvx") != std::string_view::npos) return true;
  static const char* const Pairs[] = {"sh", "th", "ph", "gh", "wh", "kh", "ee", "oo", "ea", "ae",
                                       "ay", "ey", "oy", "uy", "ff", "ss", "ll", "rr"};
  for (const char* P : Pairs)
    if (W.find(P) != std::string_view::npos) return true;
  return false;
}

}  // namespace

bool Builder::Has(std::string_view W) const {
  return Seen.count(std::string(W)) != 0;
}

bool Builder::IsExcluded(std::string_view W) const {
  return std::any_of(Excluded.begin(), Excluded.end(),
                     [&](const std::string& S) { return !S.empty() && W.find(S) != std::string_view::npos; });
}

bool Builder::AddCommon(std::string_view W) {
  if (!IsTypableWord(W)) return false;
  if (Has(W)) return true;  // an authored repeat is harmless
  List.emplace_back(W);
  Seen.insert(List.back());
  ++Common;
  return true;
}

Verdict Builder::AddDictionary(std::string_view W) {
  if (!IsTypableWord(W)) return Verdict::NotTypable;
  if (LooksForeign(W)) return Verdict::Foreign;
  if (W.size() < Opt.MinDictLength) return Verdict::TooShort;
  if (W.size() > Opt.MaxDictLength) return Verdict::TooLong;
  if (!HasVowel(W)) return Verdict::NoVowel;
  if (HasOddRepeat(W)) return Verdict::Repeated;
  if (IsExcluded(W)) return Verdict::Excluded;
  if (Has(W)) return Verdict::Duplicate;
  if (W.size() > Opt.ShortLength && (LongSeen++ % Opt.LongStride) != 0) return Verdict::Skipped;
  List.emplace_back(W);
  Seen.insert(List.back());
  return Verdict::Taken;
}

std::string Render(const std::vector<std::string>& Words) {
  std::string Out;
  for (const std::string& W : Words) {
    Out += W;
    Out += "\r\n";
  }
  return Out;
}

}  // namespace wordlist

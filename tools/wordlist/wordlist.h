// Building the word list of the word generator.
//
// The list is our own common words (in their authored order) followed by a selection of a large
// dictionary. Every word is lower case, 2 to 12 letters long and made only of letters the default
// keyboard layout types; words are CP1250 strings.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace wordlist {

// The lower-case letters the default (Polish programmer's) layout types, in CP1250.
const std::string& TypableLetters();

// True when W (CP1250) has 2..12 characters, each one of TypableLetters().
bool IsTypableWord(std::string_view W);

struct Options {
  // Dictionary words shorter than this are left out (short dictionary entries are mostly
  // abbreviations and letter names; the common list supplies the real short words).
  std::size_t MinDictLength = 4;
  // Words up to this length are all taken; longer ones only one in LongStride.
  std::size_t ShortLength = 5;
  std::size_t LongStride = 16;
  std::size_t MaxDictLength = 8;
};

// Why a dictionary word was refused, for the statistics the tool prints.
enum class Verdict { Taken, NotTypable, Foreign, TooShort, TooLong, NoVowel, Repeated, Excluded, Duplicate, Skipped };

class Builder {
 public:
  explicit Builder(Options O = {}) : Opt(O) {}
  // Word stems that never enter the list (vulgar words); matched anywhere inside a word.
  void SetExcluded(std::vector<std::string> Stems) { Excluded = std::move(Stems); }
  // A common word; returns false (and takes nothing) when it is not a typable word.
  bool AddCommon(std::string_view W);
  // A dictionary word, after the common ones.
  Verdict AddDictionary(std::string_view W);
  const std::vector<std::string>& Words() const { return List; }
  std::size_t CommonCount() const { return Common; }

 private:
  bool Has(std::string_view W) const;
  bool IsExcluded(std::string_view W) const;
  Options Opt;
  std::vector<std::string> Excluded;
  std::vector<std::string> List;
  std::unordered_set<std::string> Seen;
  std::size_t Common = 0;
  std::size_t LongSeen = 0;
};

// The file text: one word a line, CR LF.
std::string Render(const std::vector<std::string>& Words);

}  // namespace wordlist

#include "tutor/core/Dictionary.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/core/fileutils.h"
#include "platform/core/random.h"
#include "tutor/ZLibTools.h"
#include "tutor/core/ResourceNames.h"

namespace {

struct TDictItem {
  std::string_view Word;
  double Score;
};

bool InSet(const std::string& Set, char C) { return Set.find(C) != std::string::npos; }

double ScoreWord(std::string_view Word, const std::string& Allowed, const std::string& Emphasis) {
  if (Word.empty()) return -1;
  int K = 0;
  for (char C : Word) {
    if (!Allowed.empty() && !InSet(Allowed, C)) return -1;
    if (Emphasis.empty() || InSet(Emphasis, C)) ++K;
  }
  return Random(100) / 100000.0 + static_cast<double>(K) / static_cast<double>(Word.size());
}

}  // namespace

bool LoadWordList(const std::string& ArchiveFile, TStrings* Words) {
  try {
    return OpenArchiveAndRead(ArchiveFile, vx::res::kWordsMember, [Words](TStream* S) { Words->LoadFromStream(S); });
  } catch (const std::exception&) {
    return false;
  }
}

namespace {

// The word list's lines as views into Bytes (CR LF, LF or CR end a line).
std::vector<std::string_view> SplitLines(std::string_view Bytes) {
  std::vector<std::string_view> Lines;
  Lines.reserve(Bytes.size() / 6 + 1);
  std::size_t Start = 0;
  for (std::size_t i = 0; i < Bytes.size(); ++i) {
    if (Bytes[i] != '\r' && Bytes[i] != '\n') continue;
    Lines.push_back(Bytes.substr(Start, i - Start));
    if (Bytes[i] == '\r' && i + 1 < Bytes.size() && Bytes[i + 1] == '\n') ++i;
    Start = i + 1;
  }
  if (Start < Bytes.size()) Lines.push_back(Bytes.substr(Start));
  return Lines;
}

int Generate(const std::vector<std::string_view>& Words, TStrings* List, const std::string& Allowed,
             const std::string& Emphasis, int Count, int Width) {
  std::vector<TDictItem> Candidates;
  for (const std::string_view W : Words) {
    const double S = ScoreWord(W, Allowed, Emphasis);
    if (S > 0) Candidates.push_back({W, S});
  }
  std::sort(Candidates.begin(), Candidates.end(),
            [](const TDictItem& A, const TDictItem& B) { return A.Score > B.Score; });
  const int N = static_cast<int>(Candidates.size());
  if (N == 0) return List->Count();

  if (Width == 0) {
    const int Last = Count > 0 ? std::min(N - 1, Count) : N - 1;
    for (int i = 0; i <= Last; ++i) List->Add(std::string(Candidates[static_cast<std::size_t>(i)].Word));
    return List->Count();
  }
  if (Width < 0) Width = 1;

  std::string Line;
  bool LineHasBlank = false;
  int Added = 0, J = 0;
  while (Added < Count) {
    if (J >= N) J = 0;
    const std::string_view W = Candidates[static_cast<std::size_t>(J)].Word;
    if (!Line.empty() && Line.size() + W.size() >= static_cast<std::size_t>(Width)) {
      List->Add(Line);
      // A line that held a single word would otherwise add nothing to the count, and with words
      // that never fit two to a line the text would never end.
      if (!LineHasBlank) ++Added;
      Line.clear();
      LineHasBlank = false;
      if (Added >= Count) break;
    }
    if (!Line.empty()) {
      Line += ' ';
      LineHasBlank = true;
      ++Added;
    }
    Line += W;
    ++J;
  }
  if (!Line.empty()) List->Add(Line);
  return List->Count();
}

}  // namespace

int GenerateWords(TStrings* List, const std::string& Allowed, const std::string& Emphasis, int Count, int Width) {
  // The member's bytes are scored where they lie: no list of 20,000 strings is built per call.
  std::string Bytes;
  try {
    OpenArchiveAndRead(ProgramPath(vx::res::kVxArchive), vx::res::kWordsMember, [&Bytes](TStream* S) {
      Bytes.resize(static_cast<std::size_t>(std::max<int64_t>(0, S->Size())));
      Bytes.resize(static_cast<std::size_t>(std::max<int64_t>(0, S->Read(Bytes.data(), static_cast<int64_t>(Bytes.size())))));
    });
  } catch (const std::exception&) {
    Bytes.clear();
  }
  return Generate(SplitLines(Bytes), List, Allowed, Emphasis, Count, Width);
}

int GenerateWordsFrom(const TStrings& Words, TStrings* List, const std::string& Allowed, const std::string& Emphasis,
                      int Count, int Width) {
  std::vector<std::string> Texts;
  Texts.reserve(static_cast<std::size_t>(Words.Count()));
  for (int i = 0; i < Words.Count(); ++i) Texts.push_back(Words.Strings(i));
  return Generate(std::vector<std::string_view>(Texts.begin(), Texts.end()), List, Allowed, Emphasis, Count, Width);
}

int GenerateLetters(TStrings* List, const std::string& Allowed, const std::string& Emphasis, int Count, int Width) {
  const std::string Main = !Emphasis.empty() ? Emphasis : (!Allowed.empty() ? Allowed : std::string("asdfjkl;"));
  if (Width < 1) Width = 1;
  const std::size_t W = static_cast<std::size_t>(Width);
  int Total = 0;
  while (Total <= Count) {
    std::string Line;
    bool LineDone = false;
    while (Total <= Count && !LineDone) {
      const int GroupLength = 1 + Random(3);
      if (Line.size() >= W) break;
      if (!Line.empty()) Line += ' ';
      for (int g = 0; g < GroupLength; ++g) {
        const bool FromAllowed = Random(4) == 0 && !Allowed.empty();
        const std::string& Set = FromAllowed ? Allowed : Main;
        Line += Set[static_cast<std::size_t>(Random(static_cast<int32_t>(Set.size())))];
        ++Total;
        if (Line.size() >= W || Total > Count) {
          LineDone = true;
          break;
        }
      }
    }
    List->Add(Line);
  }
  return 0;
}

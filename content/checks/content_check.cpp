// vx-content-check: checks of the Polish texts the installation ships.
//
//   vx-content-check spelling   --content DIR --exceptions FILE
//   vx-content-check messages   --content DIR --code DIR
//   vx-content-check formkeys   --content DIR --code DIR
//   vx-content-check candidates --content DIR --words FILE
//   vx-content-check typable    --content DIR --build DIR
//   vx-content-check courses    --content DIR
//   vx-content-check links      --content DIR
//
// Every check prints what it found and returns 0 when the content is sound, 1 when it is not and
// 77 when an input it needs (a built file, the spelling dictionary) does not exist yet: CTest
// reports that as skipped. Sources are UTF-8; the built files (words.txt, the chars file) CP1250.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/core/cp1250.h"

namespace fs = std::filesystem;

namespace {

constexpr int kSkip = 77;

std::string ReadFile(const fs::path& P) {
  std::ifstream In(P, std::ios::binary);
  std::ostringstream S;
  S << In.rdbuf();
  return S.str();
}

std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> Out;
  std::string L;
  std::istringstream In(Text);
  while (std::getline(In, L)) {
    if (!L.empty() && L.back() == '\r') L.pop_back();
    Out.push_back(L);
  }
  return Out;
}

std::vector<std::string> Split(const std::string& S, char Sep) {
  std::vector<std::string> Out;
  std::string Cur;
  for (char C : S) {
    if (C == Sep) {
      Out.push_back(Cur);
      Cur.clear();
    } else {
      Cur += C;
    }
  }
  Out.push_back(Cur);
  return Out;
}

std::string Lower(std::string S) {
  for (char& C : S) C = Cp1250LoCase(C);
  return S;
}

std::vector<fs::path> Files(const fs::path& Dir, const std::string& Ext) {
  std::vector<fs::path> Out;
  if (!fs::exists(Dir)) return Out;
  for (const auto& E : fs::recursive_directory_iterator(Dir))
    if (E.is_regular_file() && Lower(E.path().extension().string()) == Ext) Out.push_back(E.path());
  std::sort(Out.begin(), Out.end());
  return Out;
}

// A program-folder relative path of the content ('\' separated) to the source file that
// becomes it: courses and their pages come from lessons/, help pages from help/.
fs::path SourceOf(const fs::path& Content, std::string Rel) {
  std::replace(Rel.begin(), Rel.end(), '\\', '/');
  if (Rel.rfind("help/", 0) == 0) return Content / Rel;
  if (Rel.rfind("INDEX_", 0) == 0) return Content / "courses" / Rel;
  return Content / "lessons" / Rel;
}

struct Args {
  std::map<std::string, std::string> V;
  std::string operator[](const std::string& K) const {
    auto I = V.find(K);
    return I == V.end() ? std::string() : I->second;
  }
};

// ---------------------------------------------------------------------------------------------
// Text extraction for the spelling check. Each piece of text remembers where it came from.

struct Piece {
  std::string Where;
  std::string Text;  // UTF-8
  bool Lesson = false;
};

std::string StripHtml(const std::string& H) {
  std::string S = std::regex_replace(H, std::regex("<(style|script)[^>]*>[\\s\\S]*?</(style|script)>", std::regex::icase), " ");
  // Program text (paths, settings, letter sets) is set in <pre>, <tt> or <code> and not spelt.
  S = std::regex_replace(S, std::regex("<(pre|tt|code)>[\\s\\S]*?</(pre|tt|code)>", std::regex::icase), " ");
  S = std::regex_replace(S, std::regex("<[^>]*>"), " ");
  S = std::regex_replace(S, std::regex("&[a-zA-Z]+;|&#[0-9]+;"), " ");
  // Certificate markers are replaced by the program.
  S = std::regex_replace(S, std::regex("#(name|date|course|cpm|accuracy|sex[123])", std::regex::icase), " ");
  return S;
}

void CollectPieces(const fs::path& C, std::vector<Piece>& Out) {
  for (const char* F : {"text/messages.txt", "text/translation.txt", "text/levels.txt"}) {
    int N = 0;
    for (const std::string& L : Lines(ReadFile(C / F))) {
      ++N;
      if (L.empty() || L[0] == ';' || L[0] == '[') continue;
      std::size_t Eq = L.find('=');
      if (Eq == std::string::npos) continue;
      std::string Key = L.substr(0, Eq), V = L.substr(Eq + 1);
      if (Key == "HQSite") continue;  // a web address
      if (std::string(F) == "text/levels.txt") {
        auto Fld = Split(V, ',');
        V.clear();
        for (std::size_t i = 2; i < Fld.size(); ++i) V += Fld[i] + " ";
      }
      Out.push_back({std::string(F) + ":" + std::to_string(N), V});
    }
  }
  {
    // Our common words lead every generated exercise.
    int N = 0;
    for (const std::string& L : Lines(ReadFile(C / "words/common.txt"))) {
      ++N;
      if (!L.empty() && L[0] != '#') Out.push_back({"words/common.txt:" + std::to_string(N), L});
    }
  }
  for (const fs::path& P : Files(C / "lessons", ".txt")) {
    int N = 0;
    for (const std::string& L : Lines(ReadFile(P))) {
      ++N;
      if (L.rfind("#title=", 0) == 0 || L.rfind("#TITLE=", 0) == 0) {
        Out.push_back({P.string() + ":" + std::to_string(N), L.substr(7)});
      } else if (!L.empty() && L[0] != '#') {
        Out.push_back({P.string() + ":" + std::to_string(N), L, true});
      }
    }
  }
  for (const char* D : {"lessons", "help", "tips"})
    for (const char* Ext : {".htm", ".html"})
      for (const fs::path& P : Files(C / D, Ext)) Out.push_back({P.string(), StripHtml(ReadFile(P))});
  for (const fs::path& P : Files(C / "courses", ".scn")) {
    int N = 0;
    for (const std::string& L : Lines(ReadFile(P))) {
      ++N;
      std::string W = P.string() + ":" + std::to_string(N);
      if (L.rfind("#TITLE=", 0) == 0) Out.push_back({W, L.substr(7)});
      else if (!L.empty() && L[0] == '/') Out.push_back({W, L.substr(1)});
      else if (!L.empty() && L[0] != '#') {
        auto F = Split(L, '~');
        if (F.size() >= 2) Out.push_back({W, F[1]});
      }
    }
  }
}

bool IsLetterUtf8Start(unsigned char C) { return std::isalpha(C) || C >= 0xC0; }

// Words of a UTF-8 text: runs of letters (ASCII or any non-ASCII character).
std::vector<std::string> WordsOf(const std::string& S) {
  std::vector<std::string> Out;
  std::string Cur;
  bool Digit = false;
  auto Flush = [&] {
    // A single letter is a key being named ("the letter ż"), not a word.
    if (!Cur.empty() && !Digit && Utf8ToCp1250(Cur).size() > 1) Out.push_back(Cur);
    Cur.clear();
    Digit = false;
  };
  for (std::size_t i = 0; i < S.size(); ++i) {
    unsigned char C = static_cast<unsigned char>(S[i]);
    if (std::isdigit(C)) {
      Digit = !Cur.empty() || (i + 1 < S.size() && IsLetterUtf8Start(static_cast<unsigned char>(S[i + 1])));
      if (Digit) Cur += S[i];
      else Flush();
    } else if (C >= 0x80) {
      Cur += S[i];
    } else if (std::isalpha(C)) {
      Cur += S[i];
    } else {
      Flush();
    }
  }
  Flush();
  return Out;
}

// A lesson token that is a finger drill rather than a word: no vowel (fjf, ddk), at most three
// different letters (ded, kik, aqa) or a run of neighbouring keys of one row (asdfg, poiuy).
// Such tokens are not spelt, they are typed.
bool IsDrill(const std::string& Utf8) {
  const std::string W = Lower(Utf8ToCp1250(Utf8));
  for (std::string Row : {"qwertyuiop", "asdfghjkl", "zxcvbnm"}) {
    if (Row.find(W) != std::string::npos) return true;
    std::reverse(Row.begin(), Row.end());
    if (Row.find(W) != std::string::npos) return true;
  }
  static const std::string Vowels = "aeiouy" + Utf8ToCp1250("ąęó");
  if (W.find_first_of(Vowels) == std::string::npos) return true;
  std::set<char> Distinct(W.begin(), W.end());
  return Distinct.size() <= 3;
}

std::set<std::string> ReadWordSet(const fs::path& P) {
  std::set<std::string> S;
  for (std::string L : Lines(ReadFile(P))) {
    while (!L.empty() && L.back() == ' ') L.pop_back();
    if (!L.empty() && L[0] != '#') S.insert(L);
  }
  return S;
}

int Spelling(const Args& A) {
  if (std::system("hunspell -v >/dev/null 2>&1") != 0) {
    std::cout << "hunspell is not installed (package hunspell, hunspell-pl): spelling not checked\n";
    return kSkip;
  }
  const fs::path C = A["--content"];
  std::vector<Piece> Pieces;
  CollectPieces(C, Pieces);
  std::map<std::string, std::string> FirstSeen;  // word -> where
  for (const Piece& P : Pieces)
    for (const std::string& W : WordsOf(P.Text)) {
      if (P.Lesson && IsDrill(W)) continue;
      FirstSeen.emplace(W, P.Where);
    }
  const fs::path Tmp = fs::temp_directory_path() / ("vx-spell-" + std::to_string(::getpid()) + ".txt");
  {
    std::ofstream O(Tmp, std::ios::binary);
    for (const auto& [W, Where] : FirstSeen) O << W << "\n";
  }
  const std::string Cmd = "hunspell -d pl_PL -i utf-8 -l < '" + Tmp.string() + "' 2>&1";
  std::set<std::string> Bad;
  if (FILE* F = ::popen(Cmd.c_str(), "r")) {
    char Buf[512];
    while (std::fgets(Buf, sizeof Buf, F)) {
      std::string L = Buf;
      while (!L.empty() && (L.back() == '\n' || L.back() == '\r')) L.pop_back();
      if (!L.empty()) Bad.insert(L);
    }
    const int Rc = ::pclose(F);
    fs::remove(Tmp);
    if (Rc != 0 && Bad.size() == 1 && Bad.begin()->find("pl_PL") != std::string::npos) {
      std::cout << "the Polish dictionary is not installed (package hunspell-pl): " << *Bad.begin() << "\n";
      return kSkip;
    }
  }
  const std::set<std::string> Allowed = ReadWordSet(A["--exceptions"]);
  int Errors = 0;
  for (const std::string& W : Bad) {
    if (Allowed.count(W)) continue;
    std::cout << "not in the Polish dictionary: " << W << "  (" << FirstSeen[W] << ")\n";
    ++Errors;
  }
  for (const std::string& W : Allowed)
    if (!Bad.count(W)) std::cout << "note: the exception \"" << W << "\" is no longer needed\n";
  std::cout << FirstSeen.size() << " different words checked, " << Allowed.size() << " exceptions, " << Errors
            << " misspelt\n";
  return Errors ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Message ids and form keys the code uses.

std::vector<fs::path> CodeFiles(const fs::path& Root) {
  std::vector<fs::path> Out;
  for (const char* D : {"tutor", "games", "remarkor", "controls", "htmlview", "dx"}) {
    if (!fs::exists(Root / D)) continue;
    for (const auto& E : fs::recursive_directory_iterator(Root / D)) {
      if (!E.is_regular_file()) continue;
      const std::string Ext = E.path().extension().string();
      const std::string S = E.path().string();
      if ((Ext == ".cpp" || Ext == ".h") && S.find("/tests/") == std::string::npos &&
          S.find("/fuzz/") == std::string::npos)
        Out.push_back(E.path());
    }
  }
  std::sort(Out.begin(), Out.end());
  return Out;
}

std::map<std::string, std::string> MessageTable(const fs::path& C) {
  std::map<std::string, std::string> M;  // lower-case id -> text
  for (const std::string& L : Lines(ReadFile(C / "text/messages.txt"))) {
    std::size_t Eq = L.find('=');
    if (Eq != std::string::npos) M.emplace(Lower(L.substr(0, Eq)), L.substr(Eq + 1));
  }
  return M;
}

// The ids every installation needs even before a screen asks for them: the host window's
// caption, the message dialog's captions and buttons.
const char* const kFixedIds[] = {"AppCaptionDemo", "Warning", "Error", "Information", "Confirm", "Yes", "No", "OK",
                                 "Cancel", "Abort", "Retry", "Ignore", "All", "NoToAll", "YesToAll", "Help"};

int Messages(const Args& A) {
  const auto Table = MessageTable(A["--content"]);
  std::map<std::string, std::string> Used;  // id -> first place
  for (const char* Id : kFixedIds) Used.emplace(Id, "message dialog");
  // Ids passed to the message table, directly or through a one-argument helper such as Ask().
  const std::regex Call("\\b(Translate|TranslateFmt|Lookup|LookupFmt|Ask|TranslatedMessage)\\s*\\(\\s*\"([^\"]+)\"");
  const std::regex IdLiteral("\"((MSG|ERR|CERT|LABEL|BLEVEL)[0-9]+[ab]?)\"");
  for (const fs::path& P : CodeFiles(A["--code"])) {
    const std::string Src = ReadFile(P);
    for (const std::regex* R : {&Call, &IdLiteral})
      for (auto I = std::sregex_iterator(Src.begin(), Src.end(), *R); I != std::sregex_iterator(); ++I) {
        const std::string Id = (R == &Call) ? (*I)[2].str() : (*I)[1].str();
        Used.emplace(Id, P.string());
      }
  }
  int Missing = 0;
  for (const auto& [Id, Where] : Used) {
    auto I = Table.find(Lower(Id));
    if (I == Table.end() || I->second.empty()) {
      std::cout << "message id without a text in messages.txt: " << Id << "  (used in " << Where << ")\n";
      ++Missing;
    }
  }
  std::cout << Used.size() << " message ids used, " << Table.size() << " in the table, " << Missing << " missing\n";
  return Missing ? 1 : 0;
}

std::map<std::string, std::set<std::string>> Translation(const fs::path& C) {
  std::map<std::string, std::set<std::string>> T;
  std::string Sec;
  for (const std::string& L : Lines(ReadFile(C / "text/translation.txt"))) {
    if (L.empty() || L[0] == ';') continue;
    if (L[0] == '[') {
      Sec = Lower(L.substr(1, L.find(']') - 1));
      T[Sec];
      continue;
    }
    std::size_t Eq = L.find('=');
    if (Eq != std::string::npos && Eq + 1 < L.size()) T[Sec].insert(Lower(L.substr(0, Eq)));
  }
  return T;
}

int FormKeys(const Args& A) {
  const auto T = Translation(A["--content"]);
  const std::regex Section("SetSection\\s*\\(\\s*\"([^\"]+)\"");
  const std::regex Path("\"([A-Za-z_][A-Za-z0-9_]*(\\.[A-Za-z_][A-Za-z0-9_]*)*\\.(Caption|Hint|Text|Items))\"");
  int Missing = 0, Keys = 0, Forms = 0;
  for (const fs::path& P : CodeFiles(A["--code"])) {
    const std::string Src = ReadFile(P);
    std::smatch M;
    if (!std::regex_search(Src, M, Section)) continue;
    ++Forms;
    const std::string Sec = M[1].str();
    auto S = T.find(Lower(Sec));
    for (auto I = std::sregex_iterator(Src.begin(), Src.end(), Path); I != std::sregex_iterator(); ++I) {
      ++Keys;
      const std::string Key = (*I)[1].str();
      if (S == T.end() || !S->second.count(Lower(Key))) {
        std::cout << "form text missing in translation.txt: [" << Sec << "] " << Key << "  (" << P.string() << ")\n";
        ++Missing;
      }
    }
  }
  std::cout << Forms << " forms with a translator, " << Keys << " keys, " << Missing << " missing\n";
  return Missing ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Course scripts.

struct Step {
  std::string Script;
  int Line = 0;
  std::string Name;
  std::vector<std::string> P;  // P[0] = type
};

std::vector<Step> CourseSteps(const fs::path& C, std::vector<std::string>* Problems) {
  std::vector<Step> Out;
  auto Problem = [&](const std::string& S) {
    if (Problems) Problems->push_back(S);
  };
  const auto Scripts = Files(C / "courses", ".scn");
  for (std::size_t n = 0; n < Scripts.size(); ++n) {
    const fs::path& P = Scripts[n];
    char Expect[32];
    std::snprintf(Expect, sizeof Expect, "INDEX_%02zu.SCN", n + 1);
    if (P.filename().string() != Expect) Problem(P.string() + ": course scripts must be INDEX_01.SCN, INDEX_02.SCN ... in a row; expected " + Expect);
    bool InLesson = false, Title = false;
    int N = 0;
    for (const std::string& L : Lines(ReadFile(P))) {
      ++N;
      const std::string W = P.filename().string() + ":" + std::to_string(N);
      if (L.empty() || L[0] == '/') continue;
      if (L.rfind("#TITLE=", 0) == 0) {
        Title = !L.substr(7).empty();
        continue;
      }
      if (L.rfind("#NOTE=", 0) == 0) {
        if (!fs::exists(SourceOf(C, L.substr(6)))) Problem(W + ": the course description " + L.substr(6) + " does not exist");
        continue;
      }
      if (L[0] == '#') continue;
      auto F = Split(L, '~');
      if (L[0] == '@') {
        InLesson = true;
        if (F.size() < 2 || F[0].size() < 2 || F[0].find_first_not_of("0123456789", 1) != std::string::npos)
          Problem(W + ": a lesson line is @number~name");
        else if (Utf8ToCp1250(F[1]).size() > 40)
          Problem(W + ": lesson name longer than 40 characters");
        continue;
      }
      if (!InLesson) {
        Problem(W + ": a step before the first lesson line is ignored by the program");
        continue;
      }
      if (F.size() != 3 || F[0].empty() || F[0].find_first_not_of("0123456789") != std::string::npos) {
        Problem(W + ": a step line is number~name~type|parameters");
        continue;
      }
      Step S{P.filename().string(), N, F[1], Split(F[2], '|')};
      if (Utf8ToCp1250(F[1]).size() > 40) Problem(W + ": step name longer than 40 characters");
      if (Utf8ToCp1250(F[2]).size() > 50) Problem(W + ": step parameters longer than 50 characters");
      if (S.P[0].size() > 12) Problem(W + ": step type longer than 12 characters");
      Out.push_back(S);
    }
    if (!Title) Problem(P.string() + ": no #TITLE");
  }
  return Out;
}

bool IsInt(const std::string& S, int Lo, int Hi) {
  if (S.empty() || S.find_first_not_of("0123456789") != std::string::npos || S.size() > 6) return false;
  const int V = std::stoi(S);
  return V >= Lo && V <= Hi;
}

int Courses(const Args& A) {
  const fs::path C = A["--content"];
  std::vector<std::string> Problems;
  const auto Steps = CourseSteps(C, &Problems);
  std::map<std::string, const Step*> Last;
  for (const Step& S : Steps) {
    const std::string W = S.Script + ":" + std::to_string(S.Line);
    const std::string& T = S.P[0];
    auto NeedFile = [&](std::size_t i) {
      if (S.P.size() <= i || S.P[i].empty()) Problems.push_back(W + ": " + T + " needs a file");
      else if (!fs::exists(SourceOf(C, S.P[i]))) Problems.push_back(W + ": " + S.P[i] + " does not exist");
    };
    if (T == "HTML" || T == "ExFix" || T == "Certificate") {
      NeedFile(1);
    } else if (T == "ExWords" || T == "ExRandom") {
      if (S.P.size() < 4 || !IsInt(S.P[1], 1, 5000)) Problems.push_back(W + ": " + T + "|count|allowed|emphasised");
    } else if (T == "Gallery") {
      if (S.P.size() < 4 || !IsInt(S.P[3], 1, 99)) Problems.push_back(W + ": Gallery|allowed|emphasised|level");
    } else if (T == "Bomber") {
      if (S.P.size() < 4 || !IsInt(S.P[3], 1, 3)) Problems.push_back(W + ": Bomber|allowed|preferred|difficulty 1-3");
    } else {
      Problems.push_back(W + ": unknown step type \"" + T + "\"");
    }
    Last[S.Script] = &S;
  }
  for (const Step& S : Steps)
    if (S.P[0] == "Certificate" && Last[S.Script] != &S)
      Problems.push_back(S.Script + ":" + std::to_string(S.Line) + ": the certificate must be the last step");
  // Lesson files: headers that name documents, and the name length the practice table keeps.
  for (const fs::path& P : Files(C / "lessons", ".txt")) {
    if (P.filename().string().size() > 25) Problems.push_back(P.string() + ": file name longer than 25 characters");
    bool HasTitle = false;
    for (const std::string& L : Lines(ReadFile(P))) {
      const std::string Low = Lower(L);
      if (Low.rfind("#title=", 0) == 0) HasTitle = true;
      for (const char* H : {"#inst=", "#htmlinst=", "#htmlinfo="})
        if (Low.rfind(H, 0) == 0 && !fs::exists(SourceOf(C, L.substr(std::string(H).size()))))
          Problems.push_back(P.string() + ": " + L + ": the document does not exist");
      if (L.find('\t') != std::string::npos) Problems.push_back(P.string() + ": a tab in the text");
    }
    if (!HasTitle) Problems.push_back(P.string() + ": no #title");
  }
  for (const std::string& S : Problems) std::cout << S << "\n";
  std::cout << Steps.size() << " course steps, " << Problems.size() << " problems\n";
  return Problems.empty() ? 0 : 1;
}

// ---------------------------------------------------------------------------------------------
// Words for every letter set the courses and the games use.

int Candidates(const Args& A) {
  const fs::path WordsFile = A["--words"];
  if (!fs::exists(WordsFile)) {
    std::cout << WordsFile.string() << " is not built yet (target vx_words): candidates not counted\n";
    return kSkip;
  }
  std::vector<std::string> Words;
  for (const std::string& L : Lines(ReadFile(WordsFile)))
    if (!L.empty()) Words.push_back(L);
  struct Set {
    std::string Where, Allowed, Emphasis;  // CP1250
  };
  std::vector<Set> Sets = {
      // The games page and the exercise generator start with "e" plus the home row.
      {"games page default (gallery)", "easdfjkl;", "asdfjkle"},
      {"exercise generator default", "easdfjkl;", "asdfjkl;e"},
  };
  for (const Step& S : CourseSteps(A["--content"], nullptr)) {
    const std::string W = S.Script + ":" + std::to_string(S.Line) + " " + S.P[0];
    if (S.P[0] == "ExWords" && S.P.size() >= 4) Sets.push_back({W, Utf8ToCp1250(S.P[2]), Utf8ToCp1250(S.P[3])});
    if (S.P[0] == "Gallery" && S.P.size() >= 3) Sets.push_back({W, Utf8ToCp1250(S.P[1]), Utf8ToCp1250(S.P[2])});
  }
  int Short = 0;
  for (const Set& S : Sets) {
    // The generator's rule: a word qualifies when every letter is allowed (an empty set allows
    // all); emphasised letters only order the candidates.
    std::size_t Count = 0, Emph = 0;
    for (const std::string& W : Words) {
      if (!S.Allowed.empty() && W.find_first_not_of(S.Allowed) != std::string::npos) continue;
      ++Count;
      if (S.Emphasis.empty() || W.find_first_of(S.Emphasis) != std::string::npos) ++Emph;
    }
    std::cout << S.Where << ": allowed \"" << Cp1250ToUtf8(S.Allowed) << "\" " << Count << " words, " << Emph
              << " with an emphasised letter\n";
    if (Count < 30) {
      std::cout << "  too few: the gallery needs at least 30\n";
      ++Short;
    }
  }
  return Short ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Every lesson line typable on the shipped layout.

int Typable(const Args& A) {
  const fs::path C = A["--content"];
  const auto KbLines = Lines(ReadFile(C / "keyboards/keyboards.txt"));
  if (KbLines.empty()) {
    std::cout << "no keyboards.txt: lessons not checked\n";
    return kSkip;
  }
  const auto F = Split(KbLines[0], ';');
  if (F.size() < 5) {
    std::cout << "keyboards.txt line 1 has fewer than five fields\n";
    return 1;
  }
  fs::path Chars;
  if (fs::exists(A["--build"]))
    for (const auto& E : fs::recursive_directory_iterator(A["--build"]))
      if (E.is_regular_file() && E.path().filename() == F[4] && E.path().string().find("/stage/") == std::string::npos) {
        Chars = E.path();
        break;
      }
  if (Chars.empty()) {
    std::cout << "the chars file " << F[4] << " of the default layout is not built yet: lessons not checked\n";
    return kSkip;
  }
  std::set<unsigned char> Ok;
  for (const std::string& L : Lines(ReadFile(Chars))) {
    if (L.size() != 4 && L.size() != 7) break;  // the program's reader ends the map there too
    Ok.insert(static_cast<unsigned char>(L[0]));
  }
  int Bad = 0, Checked = 0;
  for (const fs::path& P : Files(C / "lessons", ".txt")) {
    int N = 0;
    for (const std::string& L : Lines(ReadFile(P))) {
      ++N;
      if (L.size() <= 1 || L[0] == '#') continue;
      ++Checked;
      const std::string B = Utf8ToCp1250(L);
      for (unsigned char Ch : B)
        if (!Ok.count(Ch)) {
          std::cout << P.string() << ":" << N << ": \"" << Cp1250ToUtf8(std::string(1, static_cast<char>(Ch)))
                    << "\" is not on the layout (" << Chars.string() << ")\n";
          ++Bad;
          break;
        }
    }
  }
  std::cout << Checked << " lesson lines, " << Ok.size() << " characters on the layout, " << Bad << " not typable\n";
  return Bad ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Links and pictures of our HTML documents resolve inside the installation.

int Links(const Args& A) {
  const fs::path C = A["--content"];
  const std::regex Ref("(href|src)\\s*=\\s*\"([^\"#:]+)\"", std::regex::icase);
  int Bad = 0, Count = 0;
  for (const char* D : {"help", "lessons", "tips"})
    for (const fs::path& P : Files(C / D, ".htm")) {
      const std::string H = ReadFile(P);
      for (auto I = std::sregex_iterator(H.begin(), H.end(), Ref); I != std::sregex_iterator(); ++I) {
        ++Count;
        std::string R = (*I)[2].str();
        std::replace(R.begin(), R.end(), '\\', '/');
        if (!fs::exists(P.parent_path() / R)) {
          std::cout << P.string() << ": the link " << R << " leads nowhere\n";
          ++Bad;
        }
      }
      if (std::string(D) == "tips" && H.find("<img") != std::string::npos) {
        std::cout << P.string() << ": a tip is shown from memory and cannot show pictures\n";
        ++Bad;
      }
    }
  std::cout << Count << " links, " << Bad << " broken\n";
  return Bad ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: vx-content-check spelling|messages|formkeys|candidates|typable|courses|links --content DIR ...\n";
    return 2;
  }
  Args A;
  for (int i = 2; i + 1 < argc; i += 2) A.V[argv[i]] = argv[i + 1];
  const std::string Cmd = argv[1];
  if (!fs::exists(fs::path(A["--content"]) / "text/messages.txt")) {
    std::cerr << "vx-content-check: " << A["--content"] << " is not the content folder\n";
    return 2;
  }
  if (Cmd == "spelling") return Spelling(A);
  if (Cmd == "messages") return Messages(A);
  if (Cmd == "formkeys") return FormKeys(A);
  if (Cmd == "candidates") return Candidates(A);
  if (Cmd == "typable") return Typable(A);
  if (Cmd == "courses") return Courses(A);
  if (Cmd == "links") return Links(A);
  std::cerr << "vx-content-check: unknown check " << Cmd << "\n";
  return 2;
}

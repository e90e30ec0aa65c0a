// vx-wordlist: builds words.txt (CP1250, CR LF) from our common-word list and a dictionary.
//
//   vx-wordlist --common common.txt --dict /usr/share/dict/polish [--exclude excluded.txt]
//               --out words.txt [--min 20000]
//
// The input files are UTF-8, one word a line; in the common and excluded lists empty lines and
// lines beginning with '#' are comments. A common word that is not a typable lower-case word is an
// authoring error: the tool names it and fails, so a typo cannot slip silently out of the list.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "platform/core/cp1250.h"
#include "tools/wordlist/wordlist.h"

namespace {

bool ReadLines(const std::string& Path, bool Comments, std::vector<std::string>& Out) {
  std::ifstream In(Path, std::ios::binary);
  if (!In) return false;
  std::string L;
  while (std::getline(In, L)) {
    while (!L.empty() && (L.back() == '\r' || L.back() == ' ' || L.back() == '\t')) L.pop_back();
    std::size_t B = L.find_first_not_of(" \t");
    if (B == std::string::npos) continue;
    L.erase(0, B);
    if (Comments && L[0] == '#') continue;
    Out.push_back(L);
  }
  return true;
}

int Usage() {
  std::cerr << "usage: vx-wordlist --common FILE --dict FILE [--exclude FILE] --out FILE [--min N]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> Arg;
  for (int i = 1; i + 1 < argc; i += 2) Arg[argv[i]] = argv[i + 1];
  if (argc % 2 == 0 || !Arg.count("--common") || !Arg.count("--dict") || !Arg.count("--out")) return Usage();
  const long Min = Arg.count("--min") ? std::atol(Arg["--min"].c_str()) : 20000;

  std::vector<std::string> Common, Dict, Excl;
  if (!ReadLines(Arg["--common"], true, Common)) {
    std::cerr << "vx-wordlist: cannot read the common-word list " << Arg["--common"] << "\n";
    return 1;
  }
  if (!ReadLines(Arg["--dict"], false, Dict)) {
    std::cerr << "vx-wordlist: cannot read the dictionary " << Arg["--dict"]
              << " (install the package wpolish: scripts/install-deps.sh)\n";
    return 1;
  }
  if (Arg.count("--exclude") && !ReadLines(Arg["--exclude"], true, Excl)) {
    std::cerr << "vx-wordlist: cannot read the excluded stems " << Arg["--exclude"] << "\n";
    return 1;
  }

  wordlist::Builder B;
  std::vector<std::string> Stems;
  for (const std::string& S : Excl) Stems.push_back(Utf8ToCp1250(S));
  B.SetExcluded(Stems);

  int Bad = 0;
  for (const std::string& W : Common) {
    if (!IsValidUtf8(W) || !B.AddCommon(Utf8ToCp1250(W))) {
      std::cerr << "vx-wordlist: not a lower-case typable word in the common list: \"" << W << "\"\n";
      ++Bad;
    }
  }
  if (Bad) return 1;

  std::map<wordlist::Verdict, long> Count;
  for (const std::string& W : Dict) {
    if (!IsValidUtf8(W)) continue;
    ++Count[B.AddDictionary(Utf8ToCp1250(W))];
  }

  const auto& Words = B.Words();
  if (static_cast<long>(Words.size()) < Min) {
    std::cerr << "vx-wordlist: only " << Words.size() << " words, at least " << Min << " are needed\n";
    return 1;
  }
  const std::string Out = Arg["--out"], Tmp = Out + ".tmp";
  {
    std::ofstream F(Tmp, std::ios::binary | std::ios::trunc);
    const std::string Text = wordlist::Render(Words);
    F.write(Text.data(), static_cast<std::streamsize>(Text.size()));
    if (!F) {
      std::cerr << "vx-wordlist: cannot write " << Tmp << "\n";
      return 1;
    }
  }
  if (std::rename(Tmp.c_str(), Out.c_str()) != 0) {
    std::cerr << "vx-wordlist: cannot rename " << Tmp << " to " << Out << "\n";
    return 1;
  }
  std::cout << "vx-wordlist: " << Words.size() << " words (" << B.CommonCount() << " common, "
            << Count[wordlist::Verdict::Taken] << " from the dictionary, "
            << Count[wordlist::Verdict::Excluded] << " excluded)\n";
  return 0;
}

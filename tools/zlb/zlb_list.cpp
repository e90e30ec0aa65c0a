// zlb-list: checks a .zlb archive with the program's own reader.
//
//   zlb-list ARCHIVE                 one line per member: path<TAB>size<TAB>stored|zlib
//   zlb-list --extract DIR ARCHIVE   the same, and writes each member into DIR
//
// The archive is opened with CRC checking on and every member is extracted. Paths are printed
// and written in UTF-8; a member folder's '\' separators become folders under DIR. On any error
// the reader's message goes to standard error and the exit code is 1.
#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "platform/core/cp1250.h"
#include "platform/core/fileutils.h"
#include "tutor/ZLIBArchive.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: zlb-list [--extract DIR] ARCHIVE\n");
  return 2;
}

// The member path as a relative path below the extraction folder; refuses paths that would
// leave it.
std::string SafeRelativePath(const std::string& MemberPath) {
  std::string P = MemberPath;
  for (char& C : P)
    if (C == '\\') C = '/';
  std::string Out;
  std::size_t Start = 0;
  while (true) {
    const std::size_t End = std::min(P.find('/', Start), P.size());
    const std::string Part = P.substr(Start, End - Start);
    if (Part == ".." || Part.find(':') != std::string::npos || (Start == 0 && Part.empty() && End < P.size()))
      throw Exception("unsafe member path " + MemberPath);
    if (!Part.empty() && Part != ".") Out += (Out.empty() ? "" : "/") + Part;
    if (End == P.size()) break;
    Start = End + 1;
  }
  if (Out.empty()) throw Exception("unsafe member path " + MemberPath);
  return Out;
}

}  // namespace

int main(int argc, char** argv) {
  std::string ExtractDir, ArchiveFile;
  if (argc == 2) {
    ArchiveFile = argv[1];
  } else if (argc == 4 && std::string(argv[1]) == "--extract") {
    ExtractDir = argv[2];
    ArchiveFile = argv[3];
  } else {
    return Usage();
  }
  try {
    TZLBArchive Archive;
    Archive.SetCheckCRC(true);
    if (!Archive.OpenArchive(FromOsPath(ArchiveFile))) throw Exception("no archive named");
    for (int i = 0; i < Archive.Count(); ++i) {
      TZLBEntry E;
      Archive.GetEntry(i, E);
      TMemoryStream S;
      Archive.Extract(i, &S);
      if (!ExtractDir.empty()) {
        const std::string Target = JoinPath(FromOsPath(ExtractDir), SafeRelativePath(E.Path()));
        ForceDirectories(ExtractFilePath(Target));
        S.SaveToFile(Target);
      }
      std::printf("%s\t%u\t%s\n", Cp1250ToUtf8(E.Path()).c_str(), E.Size(), E.Stored() ? "stored" : "zlib");
    }
  } catch (const Exception& E) {
    std::fflush(stdout);
    std::fprintf(stderr, "zlb-list: %s\n", Cp1250ToUtf8(E.Message()).c_str());
    return 1;
  } catch (const std::exception& E) {
    std::fflush(stdout);
    std::fprintf(stderr, "zlb-list: %s\n", E.what());
    return 1;
  }
  return 0;
}

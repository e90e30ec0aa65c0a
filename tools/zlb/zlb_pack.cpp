// zlb-pack: writes a .zlb resource archive from files.
//
//   zlb-pack [--store-dir] [--store NAME]... [--cp1250 NAME]... OUT.zlb FILE...
//
// Each FILE becomes one member named after the file's base name (converted from the disk's
// UTF-8 to CP1250), with an empty folder, in the order given. By default every member and the
// directory are zlib streams.
//   --store NAME   write member NAME as it is, uncompressed
//   --store-dir    write the directory uncompressed
//   --cp1250 NAME  member NAME is UTF-8 text in the repository; it is converted to CP1250 when
//                  packed (text the code page cannot represent is an error, nothing is replaced)
// NAME is a member's base name as it appears on the command line. An option naming no FILE, two
// FILEs with the same member name (compared without regard to A-Z case, as the reader looks them
// up) or an unreadable FILE stop the packer with a message and exit code 1; nothing is written.
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/core/cp1250.h"
#include "platform/core/sysutils.h"
#include "tools/zlb/zlbwriter.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: zlb-pack [--store-dir] [--store NAME]... [--cp1250 NAME]... OUT.zlb FILE...\n");
  return 2;
}

std::string ReadFile(const std::string& Path) {
  std::ifstream F(Path, std::ios::binary);
  if (!F) throw std::runtime_error("cannot read " + Path);
  std::stringstream S;
  S << F.rdbuf();
  if (F.bad()) throw std::runtime_error("cannot read " + Path);
  return S.str();
}

std::string BaseName(const std::string& Path) {
  const std::size_t Slash = Path.find_last_of('/');
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

// UTF-8 text to CP1250, refusing what the code page cannot hold.
std::string TextToCp1250(const std::string& Utf8, const std::string& What) {
  if (!IsValidUtf8(Utf8)) throw std::runtime_error(What + ": not valid UTF-8");
  std::string Out = Utf8ToCp1250(Utf8);
  if (Cp1250ToUtf8(Out) != Utf8)
    throw std::runtime_error(What + ": holds characters code page 1250 cannot represent");
  return Out;
}

}  // namespace

int main(int argc, char** argv) {
  bool StoreDir = false;
  std::set<std::string> Store, Text;
  std::vector<std::string> Args;
  for (int i = 1; i < argc; ++i) {
    const std::string A = argv[i];
    if (A == "--store-dir") {
      StoreDir = true;
    } else if (A == "--store" || A == "--cp1250") {
      if (++i >= argc) return Usage();
      (A == "--store" ? Store : Text).insert(argv[i]);
    } else if (A.size() > 1 && A[0] == '-' && A[1] == '-') {
      return Usage();
    } else {
      Args.push_back(A);
    }
  }
  if (Args.size() < 2) return Usage();
  const std::string Out = Args[0];
  try {
    std::vector<TZLBWriterMember> Members;
    std::set<std::string> Seen;
    std::set<std::string> UsedStore, UsedText;
    for (std::size_t i = 1; i < Args.size(); ++i) {
      const std::string Base = BaseName(Args[i]);
      TZLBWriterMember M;
      M.Name = TextToCp1250(Base, "file name " + Base);
      if (!Seen.insert(UpperCase(M.Name)).second)
        throw std::runtime_error("two files give the member " + Base);
      M.Data = ReadFile(Args[i]);
      M.Stored = Store.count(Base) > 0;
      if (M.Stored) UsedStore.insert(Base);
      if (Text.count(Base)) {
        M.Data = TextToCp1250(M.Data, Args[i]);
        UsedText.insert(Base);
      }
      Members.push_back(std::move(M));
    }
    for (const std::string& N : Store)
      if (!UsedStore.count(N)) throw std::runtime_error("--store " + N + " names no file");
    for (const std::string& N : Text)
      if (!UsedText.count(N)) throw std::runtime_error("--cp1250 " + N + " names no file");
    const std::string Bytes = BuildZLBArchive(Members, StoreDir);
    const std::string Tmp = Out + ".tmp";
    {
      std::ofstream F(Tmp, std::ios::binary | std::ios::trunc);
      F.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
      F.close();
      if (!F) throw std::runtime_error("cannot write " + Tmp);
    }
    if (std::rename(Tmp.c_str(), Out.c_str()) != 0) throw std::runtime_error("cannot write " + Out);
  } catch (const std::exception& E) {
    std::fprintf(stderr, "zlb-pack: %s\n", E.what());
    return 1;
  }
  return 0;
}

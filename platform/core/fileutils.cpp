#include "platform/core/fileutils.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/core/cp1250.h"
#include "platform/core/datetime.h"
#include "platform/core/sysutils.h"

namespace {

bool IsSep(char c) { return c == '/' || c == '\\'; }

bool OsExists(const std::string& OsPath, struct stat* St = nullptr) {
  struct stat s;
  return ::stat(OsPath.empty() ? "." : OsPath.c_str(), St ? St : &s) == 0;
}

// The entries of an OS folder, sorted by their bytes; empty when it cannot be read.
std::vector<std::string> ListDir(const std::string& OsDir) {
  std::vector<std::string> names;
  DIR* d = ::opendir(OsDir.empty() ? "." : OsDir.c_str());
  if (!d) return names;
  while (dirent* e = ::readdir(d)) {
    const std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

// Finds the entry of OsDir that is Component without regard to case; "" when none.
std::string FindInDir(const std::string& OsDir, const std::string& Cp1250Component) {
  for (const std::string& n : ListDir(OsDir))
    if (AnsiSameText(Utf8ToCp1250(n), Cp1250Component)) return n;
  return std::string();
}

// 32-bit DOS date-time of a time_t in local time.
int32_t DosTime(time_t T) {
  struct tm lt;
  if (!::localtime_r(&T, &lt) || lt.tm_year < 80) return 0;
  const uint32_t date = static_cast<uint32_t>(((lt.tm_year - 80) << 9) | ((lt.tm_mon + 1) << 5) | lt.tm_mday);
  const uint32_t time = static_cast<uint32_t>((lt.tm_hour << 11) | (lt.tm_min << 5) | (lt.tm_sec / 2));
  return static_cast<int32_t>((date << 16) | time);
}

}  // namespace

std::string ProgramFileName() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return std::string();
  return FromOsPath(std::string(buf, static_cast<std::size_t>(n)));
}

namespace {
std::string gProgramFolder;
}

void SetProgramFolder(std::string_view Folder) {
  gProgramFolder = Folder.empty() ? std::string() : IncludeTrailingPathDelimiter(Folder);
}

std::string ProgramPath(std::string_view FileName) {
  if (!gProgramFolder.empty()) return gProgramFolder + std::string(FileName);
  return ExtractFilePath(ProgramFileName()) + std::string(FileName);
}

std::string FromOsPath(std::string_view OsPath) { return Utf8ToCp1250(OsPath); }

std::string ToOsPath(std::string_view Path) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : Path) {
    if (IsSep(c)) {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  parts.push_back(cur);
  const bool absolute = !Path.empty() && IsSep(Path[0]);
  std::string os = absolute ? "/" : "";
  bool resolving = true;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string& p = parts[i];
    const bool last = i + 1 == parts.size();
    if (p.empty()) {
      if (last && !os.empty() && os.back() != '/') os += '/';  // keep a trailing separator
      continue;
    }
    std::string name = Cp1250ToUtf8(p);
    if (resolving && p != "." && p != ".." && !OsExists(os + name)) {
      const std::string found = FindInDir(os, p);
      if (!found.empty()) name = found;
      else resolving = false;  // the rest does not exist: keep it as written
    }
    os += name;
    if (!last) os += '/';
  }
  return os;
}

std::string ResolvePath(std::string_view Path) { return FromOsPath(ToOsPath(Path)); }

bool FileExists(std::string_view FileName) {
  struct stat st;
  return !FileName.empty() && OsExists(ToOsPath(FileName), &st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::string_view Directory) {
  struct stat st;
  return !Directory.empty() && OsExists(ToOsPath(Directory), &st) && S_ISDIR(st.st_mode);
}

bool CreateDir(std::string_view Directory) { return ::mkdir(ToOsPath(Directory).c_str(), 0777) == 0; }

bool ForceDirectories(std::string_view Directory) {
  const std::string d = ExcludeTrailingPathDelimiter(Directory);
  if (d.empty() || DirectoryExists(d)) return !d.empty();
  const std::string parent = ExtractFileDir(d);
  if (!parent.empty() && parent != d && !ForceDirectories(parent)) return false;
  return CreateDir(d) || DirectoryExists(d);
}

bool RemoveDir(std::string_view Directory) { return ::rmdir(ToOsPath(Directory).c_str()) == 0; }
bool DeleteFile(std::string_view FileName) { return ::unlink(ToOsPath(FileName).c_str()) == 0; }
bool RenameFile(std::string_view OldName, std::string_view NewName) {
  return ::rename(ToOsPath(OldName).c_str(), ToOsPath(NewName).c_str()) == 0;
}

std::string GetCurrentDir() {
  char buf[4096];
  return ::getcwd(buf, sizeof buf) ? FromOsPath(buf) : std::string();
}

int64_t FileSizeOf(std::string_view FileName) {
  struct stat st;
  if (!OsExists(ToOsPath(FileName), &st) || S_ISDIR(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

std::string ExtractFilePath(std::string_view FileName) {
  std::size_t i = FileName.size();
  while (i > 0 && !IsSep(FileName[i - 1])) --i;
  return std::string(FileName.substr(0, i));
}

std::string ExtractFileDir(std::string_view FileName) {
  std::size_t i = FileName.size();
  while (i > 0 && !IsSep(FileName[i - 1])) --i;
  if (i > 1) --i;  // drop the separator unless it is the root
  return std::string(FileName.substr(0, i));
}

std::string ExtractFileName(std::string_view FileName) {
  std::size_t i = FileName.size();
  while (i > 0 && !IsSep(FileName[i - 1])) --i;
  return std::string(FileName.substr(i));
}

std::string ExtractFileExt(std::string_view FileName) {
  for (std::size_t i = FileName.size(); i > 0; --i) {
    const char c = FileName[i - 1];
    if (IsSep(c)) break;
    if (c == '.') return std::string(FileName.substr(i - 1));
  }
  return std::string();
}

std::string ChangeFileExt(std::string_view FileName, std::string_view Extension) {
  const std::string ext = ExtractFileExt(FileName);
  return std::string(FileName.substr(0, FileName.size() - ext.size())) + std::string(Extension);
}

std::string IncludeTrailingPathDelimiter(std::string_view S) {
  std::string r(S);
  if (r.empty() || !IsSep(r.back())) r += PathDelim;
  return r;
}

std::string ExcludeTrailingPathDelimiter(std::string_view S) {
  std::string r(S);
  while (r.size() > 1 && IsSep(r.back())) r.pop_back();
  return r;
}

std::string JoinPath(std::string_view Dir, std::string_view Name) {
  std::size_t b = 0;
  while (b < Name.size() && IsSep(Name[b])) ++b;
  if (Dir.empty()) return std::string(Name.substr(b));
  return IncludeTrailingPathDelimiter(Dir) + std::string(Name.substr(b));
}

bool MatchesMask(std::string_view Name, std::string_view Mask) {
  if (Mask == "*.*" || Mask == "*") return true;
  // Iterative wildcard match with backtracking to the last '*'.
  std::size_t n = 0, m = 0, starM = std::string_view::npos, starN = 0;
  while (n < Name.size()) {
    if (m < Mask.size() && (Mask[m] == '?' || Cp1250UpCase(Mask[m]) == Cp1250UpCase(Name[n]))) {
      ++n, ++m;
    } else if (m < Mask.size() && Mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (starM != std::string_view::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < Mask.size() && Mask[m] == '*') ++m;
  return m == Mask.size();
}

int FindFirst(std::string_view Path, int Attr, TSearchRec& F) {
  FindClose(F);
  const std::string dir = ExtractFilePath(Path);
  const std::string mask = ExtractFileName(Path);
  const std::string osDir = ToOsPath(dir);
  struct stat dst;
  if (!OsExists(osDir, &dst) || !S_ISDIR(dst.st_mode)) return 3;
  F.ExcludeAttr = ~Attr & (faHidden | faSysFile | faVolumeID | faDirectory);
  auto list = std::make_shared<std::vector<TSearchRec>>();
  const std::string osPrefix = osDir.empty() || osDir.back() == '/' ? osDir : osDir + "/";
  for (const std::string& n : ListDir(osDir)) {
    const std::string name = FromOsPath(n);
    if (!MatchesMask(name, mask)) continue;
    struct stat st;
    if (::stat((osPrefix + n).c_str(), &st) != 0 && ::lstat((osPrefix + n).c_str(), &st) != 0) continue;
    int a = 0;
    if (S_ISDIR(st.st_mode)) a |= faDirectory;
    else if (S_ISREG(st.st_mode)) a |= faArchive;
    else a |= faSysFile;
    if (!n.empty() && n[0] == '.') a |= faHidden;
    if (::access((osPrefix + n).c_str(), W_OK) != 0) a |= faReadOnly;
    if (a & F.ExcludeAttr) continue;
    TSearchRec r;
    r.Name = name;
    r.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<int64_t>(st.st_size);
    r.Attr = a;
    r.Time = DosTime(st.st_mtime);
    list->push_back(std::move(r));
  }
  if (list->empty()) return 2;
  F.FindData = list;
  F.FindIndex = 0;
  const TSearchRec& first = (*list)[0];
  F.Name = first.Name, F.Size = first.Size, F.Attr = first.Attr, F.Time = first.Time;
  return 0;
}

int FindNext(TSearchRec& F) {
  if (!F.FindData || F.FindIndex + 1 >= F.FindData->size()) return 18;
  const TSearchRec& r = (*F.FindData)[++F.FindIndex];
  F.Name = r.Name, F.Size = r.Size, F.Attr = r.Attr, F.Time = r.Time;
  return 0;
}

void FindClose(TSearchRec& F) {
  F.FindData.reset();
  F.FindIndex = 0;
}

TDateTime FileDateToDateTime(int32_t FileDate) {
  const uint32_t v = static_cast<uint32_t>(FileDate);
  const uint32_t date = v >> 16, time = v & 0xFFFF;
  TDateTime d, t;
  if (!TryEncodeDate(static_cast<Word>((date >> 9) + 1980), static_cast<Word>((date >> 5) & 15), static_cast<Word>(date & 31), d) ||
      !TryEncodeTime(static_cast<Word>(time >> 11), static_cast<Word>((time >> 5) & 63), static_cast<Word>((time & 31) * 2), 0, t))
    throw EConvertError("Invalid argument to date encode");
  return d + t;
}

std::string GetTempDir() {
  const char* t = std::getenv("TMPDIR");
  return IncludeTrailingPathDelimiter(FromOsPath(t && *t ? t : "/tmp"));
}

std::string GetComputerNameStr() {
  char buf[256] = {};
  if (::gethostname(buf, sizeof buf - 1) != 0) return std::string();
  const std::string n = FromOsPath(buf);
  return n.size() <= 14 ? n : std::string();
}

std::string GetUserNameStr() {
  std::string n;
  if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) n = pw->pw_name;
  if (n.empty())
    if (const char* u = std::getenv("USER")) n = u;
  n = FromOsPath(n);
  return n.size() <= 49 ? n : std::string();
}

namespace {
TTickSource gTickSource = nullptr;
}

TTickSource SetTickSource(TTickSource Source) {
  const TTickSource Old = gTickSource;
  gTickSource = Source;
  return Old;
}

uint32_t GetTickCount() {
  if (gTickSource) return gTickSource();
  timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void Sleep(uint32_t Milliseconds) {
  timespec ts{static_cast<time_t>(Milliseconds / 1000), static_cast<long>(Milliseconds % 1000) * 1000000L};
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

std::string ExpandFileName(const std::string& FileName) {
  if (FileName.empty()) return FileName;
  const bool Absolute = FileName[0] == '/' || FileName[0] == '\\';
  const std::string Full = Absolute ? FileName : GetCurrentDir() + "/" + FileName;
  std::vector<std::string> Parts;
  std::string Cur;
  auto Push = [&] {
    if (Cur == "..") {
      if (!Parts.empty()) Parts.pop_back();
    } else if (!Cur.empty() && Cur != ".") {
      Parts.push_back(Cur);
    }
    Cur.clear();
  };
  for (char C : Full) {
    if (C == '/' || C == '\\')
      Push();
    else
      Cur += C;
  }
  Push();
  std::string R;
  for (const std::string& P : Parts) R += "/" + P;
  return R.empty() ? "/" : R;
}

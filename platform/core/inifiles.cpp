#include "platform/core/inifiles.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/core/cp1250.h"
#include "platform/core/fileutils.h"

// ---- TIniData ---------------------------------------------------------------------------------------
void TIniData::Parse(const TStrings* Lines) {
  FSections.clear();
  Section* cur = nullptr;
  for (int i = 0; i < Lines->Count(); ++i) {
    const std::string line = Trim(Lines->Strings(i));
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const std::size_t close = line.find(']');
      cur = &AddSection(Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
      continue;
    }
    const std::size_t eq = line.find('=');
    if (!cur || eq == std::string::npos) continue;
    const std::string name = Trim(line.substr(0, eq));
    if (FindEntry(*cur, name)) continue;  // the first one counts
    cur->Entries.push_back(Entry{name, Trim(line.substr(eq + 1))});
  }
}

void TIniData::Save(TStrings* Lines) const {
  Lines->BeginUpdate();
  Lines->Clear();
  for (std::size_t s = 0; s < FSections.size(); ++s) {
    if (s) Lines->Add("");
    Lines->Add("[" + FSections[s].Name + "]");
    for (const Entry& e : FSections[s].Entries) Lines->Add(e.Name + "=" + e.Value);
  }
  Lines->EndUpdate();
}

TIniData::Section* TIniData::FindSection(std::string_view Name) {
  for (Section& s : FSections)
    if (AnsiSameText(s.Name, Name)) return &s;
  return nullptr;
}

const TIniData::Section* TIniData::FindSection(std::string_view Name) const {
  for (const Section& s : FSections)
    if (AnsiSameText(s.Name, Name)) return &s;
  return nullptr;
}

TIniData::Section& TIniData::AddSection(std::string_view Name) {
  if (Section* s = FindSection(Name)) return *s;
  FSections.push_back(Section{std::string(Name), {}});
  return FSections.back();
}

TIniData::Entry* TIniData::FindEntry(Section& S, std::string_view Name) {
  for (Entry& e : S.Entries)
    if (AnsiSameText(e.Name, Name)) return &e;
  return nullptr;
}

const TIniData::Entry* TIniData::FindEntry(const Section& S, std::string_view Name) {
  for (const Entry& e : S.Entries)
    if (AnsiSameText(e.Name, Name)) return &e;
  return nullptr;
}

void TIniData::SetValue(std::string_view SectionName, std::string_view Name, const std::string& Value) {
  Section& s = AddSection(SectionName);
  if (Entry* e = FindEntry(s, Name)) e->Value = Value;
  else s.Entries.push_back(Entry{std::string(Name), Value});
}

bool TIniData::DeleteKey(std::string_view SectionName, std::string_view Name) {
  Section* s = FindSection(SectionName);
  if (!s) return false;
  for (auto it = s->Entries.begin(); it != s->Entries.end(); ++it)
    if (AnsiSameText(it->Name, Name)) {
      s->Entries.erase(it);
      return true;
    }
  return false;
}

bool TIniData::EraseSection(std::string_view SectionName) {
  for (auto it = FSections.begin(); it != FSections.end(); ++it)
    if (AnsiSameText(it->Name, SectionName)) {
      FSections.erase(it);
      return true;
    }
  return false;
}

// ---- TMemIniFile ------------------------------------------------------------------------------------
TMemIniFile::TMemIniFile(const std::string& FileName) : FFileName(FileName) {
  if (FileExists(FileName)) {
    TStringList l;
    l.LoadFromFile(FileName);
    FData.Parse(&l);
  }
}

void TMemIniFile::SetStrings(const TStrings* List) { FData.Parse(List); }
void TMemIniFile::GetStrings(TStrings* List) const { FData.Save(List); }

std::string TMemIniFile::ReadString(std::string_view Section, std::string_view Ident, const std::string& Default) const {
  const TIniData::Section* s = FData.FindSection(Section);
  const TIniData::Entry* e = s ? TIniData::FindEntry(*s, Ident) : nullptr;
  return e ? e->Value : Default;
}

int32_t TMemIniFile::ReadInteger(std::string_view Section, std::string_view Ident, int32_t Default) const {
  return StrToIntDef(ReadString(Section, Ident, ""), Default);
}

bool TMemIniFile::ReadBool(std::string_view Section, std::string_view Ident, bool Default) const {
  return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

double TMemIniFile::ReadFloat(std::string_view Section, std::string_view Ident, double Default) const {
  return StrToFloatDef(ReadString(Section, Ident, ""), Default);
}

void TMemIniFile::WriteString(std::string_view Section, std::string_view Ident, const std::string& Value) {
  FData.SetValue(Section, Ident, Value);
}
void TMemIniFile::WriteInteger(std::string_view Section, std::string_view Ident, int32_t Value) {
  WriteString(Section, Ident, IntToStr(Value));
}
void TMemIniFile::WriteBool(std::string_view Section, std::string_view Ident, bool Value) {
  WriteString(Section, Ident, Value ? "1" : "0");
}
void TMemIniFile::WriteFloat(std::string_view Section, std::string_view Ident, double Value) {
  WriteString(Section, Ident, FloatToStr(Value));
}

void TMemIniFile::ReadSection(std::string_view Section, TStrings* Strings) const {
  Strings->BeginUpdate();
  Strings->Clear();
  if (const TIniData::Section* s = FData.FindSection(Section))
    for (const auto& e : s->Entries) Strings->Add(e.Name);
  Strings->EndUpdate();
}

void TMemIniFile::ReadSections(TStrings* Strings) const {
  Strings->BeginUpdate();
  Strings->Clear();
  for (const auto& s : FData.Sections()) Strings->Add(s.Name);
  Strings->EndUpdate();
}

void TMemIniFile::ReadSectionValues(std::string_view Section, TStrings* Strings) const {
  Strings->BeginUpdate();
  Strings->Clear();
  if (const TIniData::Section* s = FData.FindSection(Section))
    for (const auto& e : s->Entries) Strings->Add(e.Name + "=" + e.Value);
  Strings->EndUpdate();
}

bool TMemIniFile::SectionExists(std::string_view Section) const { return FData.FindSection(Section) != nullptr; }

bool TMemIniFile::ValueExists(std::string_view Section, std::string_view Ident) const {
  const TIniData::Section* s = FData.FindSection(Section);
  return s && TIniData::FindEntry(*s, Ident);
}

void TMemIniFile::EraseSection(std::string_view Section) { FData.EraseSection(Section); }
void TMemIniFile::DeleteKey(std::string_view Section, std::string_view Ident) { FData.DeleteKey(Section, Ident); }

void TMemIniFile::UpdateFile() {
  TStringList l;
  FData.Save(&l);
  if (!WriteFileDurably(ToOsPath(FFileName), l.Text()))
    throw EFCreateError("Cannot create file \"" + FFileName + "\". " + std::strerror(errno));
}

// ---- Durable file replacement -------------------------------------------------------------------------
namespace {

bool MakeDirs(const std::string& OsDir) {
  if (OsDir.empty()) return true;
  struct stat st;
  if (::stat(OsDir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const std::size_t slash = OsDir.find_last_of('/', OsDir.size() > 1 ? OsDir.size() - 2 : 0);
  if (slash != std::string::npos && slash > 0 && !MakeDirs(OsDir.substr(0, slash))) return false;
  return ::mkdir(OsDir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool WriteAll(int Fd, std::string_view Bytes) {
  std::size_t done = 0;
  while (done < Bytes.size()) {
    const ssize_t n = ::write(Fd, Bytes.data() + done, Bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::atomic<unsigned> TempCounter{0};

}  // namespace

bool WriteFileDurably(const std::string& OsFileName, std::string_view Bytes) {
  const std::size_t slash = OsFileName.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string() : OsFileName.substr(0, slash == 0 ? 1 : slash);
  if (!MakeDirs(dir)) return false;
  const std::string tmp = OsFileName + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(TempCounter++);
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, Bytes) && ::fsync(fd) == 0;
  const int savedErrno = errno;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(tmp.c_str(), OsFileName.c_str()) == 0;
  if (!ok) {
    const int e = errno ? errno : savedErrno;
    ::unlink(tmp.c_str());
    errno = e;
    return false;
  }
  // Make the rename itself durable.
  const int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

// ---- TPrgReg ----------------------------------------------------------------------------------------
namespace {

std::string OneLine(std::string S) {
  for (char& c : S)
    if (c == '\r' || c == '\n') c = ' ';
  return S;
}

bool NeedsQuotes(const std::string& V) {
  if (V.empty()) return false;
  if (static_cast<unsigned char>(V.front()) <= ' ' || static_cast<unsigned char>(V.back()) <= ' ') return true;
  return V.size() >= 2 && V.front() == '"' && V.back() == '"';
}

std::string ReadWholeFile(const std::string& OsFileName) {
  std::string data;
  const int fd = ::open(OsFileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return data;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size < (64 << 20)) {
    char buf[65536];
    while (true) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      data.append(buf, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return data;
}

}  // namespace

std::string TPrgReg::DefaultFileName() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg && *xdg) {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    std::string h = home && *home ? home : "";
    if (h.empty())
      if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir) h = pw->pw_dir;
    base = h + "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/Velmora/VX2.ini";
}

TPrgReg::TPrgReg() : TPrgReg(DefaultFileName()) {}

TPrgReg::TPrgReg(const std::string& OsFileName) : FFileName(OsFileName) { Reload(); }

void TPrgReg::Reload() {
  const std::string raw = ReadWholeFile(FFileName);
  TStringList utf8Lines;
  utf8Lines.SetText(raw);
  TStringList lines;
  for (int i = 0; i < utf8Lines.Count(); ++i) {
    const std::string l = utf8Lines.Strings(i);
    lines.Add(IsValidUtf8(l) ? Utf8ToCp1250(l) : l);
  }
  FData.Parse(&lines);
  for (const auto& s : FData.Sections())
    for (const auto& e : s.Entries)
      if (e.Value.size() >= 2 && e.Value.front() == '"' && e.Value.back() == '"')
        FData.SetValue(s.Name, e.Name, e.Value.substr(1, e.Value.size() - 2));
}

std::string TPrgReg::ReadString(std::string_view Section, std::string_view Name, const std::string& Default) const {
  const TIniData::Section* s = FData.FindSection(Section);
  const TIniData::Entry* e = s ? TIniData::FindEntry(*s, Name) : nullptr;
  return e ? e->Value : Default;
}

int32_t TPrgReg::ReadInteger(std::string_view Section, std::string_view Name, int32_t Default) const {
  return StrToIntDef(ReadString(Section, Name, ""), Default);
}

bool TPrgReg::ReadBool(std::string_view Section, std::string_view Name, bool Default) const {
  return ReadInteger(Section, Name, Default ? 1 : 0) != 0;
}

bool TPrgReg::ValueExists(std::string_view Section, std::string_view Name) const {
  const TIniData::Section* s = FData.FindSection(Section);
  return s && TIniData::FindEntry(*s, Name);
}

bool TPrgReg::WriteString(std::string_view Section, std::string_view Name, const std::string& Value) {
  Reload();
  FData.SetValue(OneLine(std::string(Section)), OneLine(std::string(Name)), OneLine(Value));
  return Save();
}

bool TPrgReg::WriteInteger(std::string_view Section, std::string_view Name, int32_t Value) {
  return WriteString(Section, Name, IntToStr(Value));
}

bool TPrgReg::WriteBool(std::string_view Section, std::string_view Name, bool Value) {
  return WriteString(Section, Name, Value ? "1" : "0");
}

bool TPrgReg::DeleteKey(std::string_view Section, std::string_view Name) {
  Reload();
  if (!FData.DeleteKey(Section, Name)) return true;
  return Save();
}

bool TPrgReg::Save() {
  std::string out;
  bool first = true;
  for (const auto& s : FData.Sections()) {
    if (!first) out += '\n';
    first = false;
    out += Cp1250ToUtf8("[" + s.Name + "]") + "\n";
    for (const auto& e : s.Entries) {
      const std::string v = NeedsQuotes(e.Value) ? "\"" + e.Value + "\"" : e.Value;
      out += Cp1250ToUtf8(e.Name + "=" + v) + "\n";
    }
  }
  return WriteFileDurably(FFileName, out);
}

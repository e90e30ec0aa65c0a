// The content check: the built installation holds everything the program reads, in the form its
// loaders accept. Each test collects every problem it finds and fails with the whole list.
//
// The installation folder is the build's (VX_DIST_DIR), or the one named by the environment
// variable VX_CHECK_DIST, so the same check runs on an installation made elsewhere.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/core/cp1250.h"
#include "platform/core/fileutils.h"
#include "platform/core/inifiles.h"
#include "platform/gui/bmpcodec.h"
#include "tutor/OptionsReg.h"
#include "tutor/ZLIBArchive.h"
#include "tutor/core/DataModule.h"
#include "tutor/core/KeybList.h"
#include "tutor/core/ResourceNames.h"
#include "tutor/translations.h"

namespace fs = std::filesystem;
using vx::res::Kind;

namespace {

fs::path Dist() {
  const char* env = std::getenv("VX_CHECK_DIST");
  return env != nullptr && *env != 0 ? fs::path(env) : fs::path(VX_DIST_DIR);
}

// Problems found by one test, reported together.
class Problems {
 public:
  void Add(const std::string& What) { FList.push_back(What); }
  std::string Report() const {
    std::string s = std::to_string(FList.size()) + " problem(s):\n";
    for (const std::string& p : FList) s += "  " + p + "\n";
    return s;
  }
  bool Empty() const { return FList.empty(); }

 private:
  std::vector<std::string> FList;
};

std::string ReadFile(const fs::path& P) {
  FILE* f = std::fopen(P.c_str(), "rb");
  if (f == nullptr) return {};
  std::string s;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  std::fclose(f);
  return s;
}

// An archive read through the program's own reader, every member extracted with its CRC checked.
struct OpenedArchive {
  bool Ok = false;
  std::string Error;
  std::map<std::string, std::string> Members;  // upper-cased name -> bytes
  std::vector<std::string> Names;              // in directory order
};

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

const OpenedArchive& Archive(const std::string& RelPath) {
  static std::map<std::string, OpenedArchive> cache;
  auto it = cache.find(RelPath);
  if (it != cache.end()) return it->second;
  OpenedArchive& a = cache[RelPath];
  const fs::path p = Dist() / RelPath;
  if (!fs::exists(p)) {
    a.Error = "missing";
    return a;
  }
  try {
    TZLBArchive z;
    z.SetCheckCRC(true);
    if (!z.OpenArchive(p.string())) {
      a.Error = "does not open";
      return a;
    }
    for (int i = 0; i < z.Count(); ++i) {
      TZLBEntry e;
      z.GetEntry(i, e);
      if (!e.Folder().empty()) a.Error += "member " + e.Name() + " has a folder; ";
      TMemoryStream m;
      if (!z.Extract(i, &m)) {
        a.Error += "member " + e.Name() + " does not extract; ";
        continue;
      }
      a.Members[UpperAscii(e.Name())] = std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
      a.Names.push_back(e.Name());
    }
    a.Ok = a.Error.empty();
  } catch (const Exception& e) {
    a.Error = e.Message();
  }
  return a;
}

const std::string* Member(const std::string& ArchivePath, const std::string& Name) {
  const OpenedArchive& a = Archive(ArchivePath);
  auto it = a.Members.find(UpperAscii(Name));
  return it == a.Members.end() ? nullptr : &it->second;
}

// Stored text: code page 1250 (not left in UTF-8) with CR LF line ends.
std::string TextProblem(const std::string& T) {
  if (T.empty()) return "is empty";
  bool high = false;
  for (unsigned char c : T) high |= c >= 0x80;
  if (high && IsValidUtf8(T)) return "is still UTF-8, not code page 1250";
  for (size_t i = 0; i < T.size(); ++i)
    if (T[i] == '\n' && (i == 0 || T[i - 1] != '\r')) return "has a line not ended by CR LF";
  return "";
}

// A BMP the loaders accept: a 12- or 40-byte info header; for skins the green bottom-left pixel.
std::string BitmapProblem(const std::string& B, bool Skin, int* W = nullptr, int* H = nullptr) {
  if (B.size() < 26 || B[0] != 'B' || B[1] != 'M') return "is not a BMP file";
  const uint32_t header = static_cast<uint8_t>(B[14]) | static_cast<uint8_t>(B[15]) << 8;
  if (header != 40 && header != 12) return "has a " + std::to_string(header) + "-byte info header (the loader takes 12 or 40)";
  try {
    const bmp::Image img = bmp::Decode(reinterpret_cast<const uint8_t*>(B.data()), B.size());
    if (W != nullptr) *W = img.width;
    if (H != nullptr) *H = img.height;
    if (Skin && (img.pixels[static_cast<size_t>(img.height - 1) * img.width] & 0xFFFFFF) != 0x00FF00)
      return "has no pure green bottom-left pixel (the skinned control's transparent colour)";
  } catch (const bmp::Error& e) {
    return "does not decode: " + e.message;
  }
  return "";
}

uint32_t U32(const std::string& s, size_t at) {
  return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 | static_cast<uint8_t>(s[at + 2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}

// A WAVE the sound layer reads: RIFF with exactly a "fmt " and a "data" chunk of even sizes,
// PCM mono or stereo, 8 or 16 bits. Also: no sample at full scale (clipping). Seconds: the length.
std::string WaveProblem(const std::string& W, double* Seconds) {
  if (W.size() < 44 || W.compare(0, 4, "RIFF") != 0 || W.compare(8, 4, "WAVE") != 0) return "is not a RIFF WAVE file";
  if (U32(W, 4) != W.size() - 8) return "has a RIFF size that is not the file's";
  size_t at = 12;
  std::string fmt, data;
  std::vector<std::string> ids;
  while (at + 8 <= W.size()) {
    const std::string id = W.substr(at, 4);
    const uint32_t len = U32(W, at + 4);
    if (len % 2 != 0) return "has a chunk of odd length (chunks are read unpadded)";
    if (at + 8 + len > W.size()) return "has a chunk past the end of the file";
    ids.push_back(id);
    if (id == "fmt ") fmt = W.substr(at + 8, len);
    if (id == "data") data = W.substr(at + 8, len);
    at += 8 + len;
  }
  if (ids != std::vector<std::string>{"fmt ", "data"}) return "must hold exactly a fmt and a data chunk";
  if (fmt.size() < 16) return "has a short format chunk";
  const unsigned tag = static_cast<uint8_t>(fmt[0]) | static_cast<uint8_t>(fmt[1]) << 8;
  const unsigned channels = static_cast<uint8_t>(fmt[2]);
  const uint32_t rate = U32(fmt, 4);
  const unsigned bits = static_cast<uint8_t>(fmt[14]);
  if (tag != 1 || (channels != 1 && channels != 2) || (bits != 8 && bits != 16) || rate < 8000)
    return "is not PCM mono/stereo 8/16-bit";
  const size_t frame = channels * bits / 8;
  *Seconds = static_cast<double>(data.size() / frame) / rate;
  int peak = 0;
  for (size_t i = 0; i + bits / 8 <= data.size(); i += bits / 8) {
    const int v = bits == 16 ? static_cast<int16_t>(static_cast<uint8_t>(data[i]) | static_cast<uint8_t>(data[i + 1]) << 8)
                             : (static_cast<uint8_t>(data[i]) - 128) * 256;
    peak = std::max(peak, std::abs(v));
  }
  if (peak >= 32700) return "clips (a sample at full scale)";
  if (peak < 1000) return "is nearly silent";
  return "";
}

class ContentCheck : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fs::is_directory(Dist())) << "no installation at " << Dist(); }
};

// Every resource of a table, in the form its loader takes.
template <size_t N>
void CheckResources(const vx::res::Resource (&Table)[N]) {
  Problems p;
  for (const vx::res::Resource& r : Table) {
    const std::string where = r.Archive != nullptr ? std::string(r.Archive) + ": " + r.Name : std::string(r.Name);
    std::string bytes;
    if (r.What == Kind::Archive) {
      const OpenedArchive& a = Archive(r.Name);
      if (!a.Ok) p.Add(where + " " + a.Error);
      continue;
    }
    if (r.Archive != nullptr) {
      const OpenedArchive& a = Archive(r.Archive);
      const std::string* m = Member(r.Archive, r.Name);
      if (m == nullptr) {
        p.Add(where + (a.Ok ? " is missing" : " cannot be read: the archive " + a.Error));
        continue;
      }
      bytes = *m;
    } else {
      if (!fs::exists(Dist() / r.Name)) {
        p.Add(where + " is missing");
        continue;
      }
      bytes = ReadFile(Dist() / r.Name);
    }
    std::string why;
    double seconds = 0;
    switch (r.What) {
      case Kind::Text: case Kind::Html: why = TextProblem(bytes); break;
      case Kind::Bitmap: why = BitmapProblem(bytes, false); break;
      case Kind::Skin: why = BitmapProblem(bytes, true); break;
      case Kind::Wave: why = WaveProblem(bytes, &seconds); break;
      case Kind::Dxg: if (bytes.empty() || static_cast<uint8_t>(bytes[0]) != 0xFF) why = "is not a picture collection"; break;
      case Kind::Archive: break;
    }
    if (!why.empty()) p.Add(where + " " + why);
  }
  EXPECT_TRUE(p.Empty()) << p.Report();
}

TEST_F(ContentCheck, EveryResourceTheCodeReadsIsThereInTheFormItsLoaderTakes) { CheckResources(vx::res::kResources); }

// The games' pictures, collections, towns and picture themes.
TEST_F(ContentCheck, EveryResourceTheGamesReadIsThere) { CheckResources(vx::res::kGameResources); }

TEST_F(ContentCheck, EveryArchiveRoundTripsThroughTheReaderWithItsChecksums) {
  Problems p;
  int count = 0;
  for (const auto& e : fs::recursive_directory_iterator(Dist())) {
    if (e.path().extension() != ".zlb") continue;
    ++count;
    const std::string rel = fs::relative(e.path(), Dist()).string();
    const OpenedArchive& a = Archive(rel);
    if (!a.Ok) p.Add(rel + ": " + a.Error);
    else if (a.Names.empty()) p.Add(rel + " is empty");
    // names compare without regard to case: two that differ only in case would shadow each other
    if (a.Members.size() != a.Names.size()) p.Add(rel + " holds two members whose names differ only in case");
  }
  EXPECT_GE(count, 7);
  EXPECT_TRUE(p.Empty()) << p.Report();
}

TEST_F(ContentCheck, PicturesHaveTheSizesTheirScreensAreLaidOutFor) {
  Problems p;
  struct Want { const char* Name; int W, H; } wants[] = {
      {"main_bcg.bmp", 800, 600}, {"help_bcg.bmp", 800, 600}, {"options_bcg.bmp", 800, 600},
      {"exercises_bcg.bmp", 800, 600}, {"lessonhtml_bcg.bmp", 800, 600}, {"stdlesson_bcg.bmp", 800, 600},
      {"studing_bcg.bmp", 800, 600}, {"scenario_bcg.bmp", 800, 600}, {"games_bcg.bmp", 800, 600},
      {"results_bcg.bmp", 800, 600}, {"certificate_bcg.bmp", 800, 600}, {"stat_bcg.bmp", 800, 600},
      {"topten_bcg.bmp", 800, 600}};
  for (const Want& w : wants) {
    const std::string* m = Member(vx::res::kInterfaceArchive, w.Name);
    int W = 0, H = 0;
    if (m == nullptr || !BitmapProblem(*m, false, &W, &H).empty()) continue;  // reported above
    if (W != w.W || H != w.H) p.Add(std::string(w.Name) + " is " + std::to_string(W) + "x" + std::to_string(H));
  }
  // The hint pictures share the base picture's size (they are laid over it).
  int bw = 0, bh = 0;
  if (const std::string* base = Member(vx::res::kInterfaceArchive, vx::res::kMainHintBase)) BitmapProblem(*base, false, &bw, &bh);
  for (int i = 0; i < vx::res::kMainHintCount; ++i) {
    const std::string name = "MainHint" + std::to_string(i) + ".bmp";
    int W = 0, H = 0;
    if (const std::string* m = Member(vx::res::kInterfaceArchive, name)) BitmapProblem(*m, false, &W, &H);
    if (W != bw || H != bh) p.Add(name + " differs in size from " + vx::res::kMainHintBase);
  }
  // A button's four pictures share one size: the control takes its size from the normal one.
  const OpenedArchive& ia = Archive(vx::res::kInterfaceArchive);
  std::map<std::string, std::pair<int, int>> family;
  for (const std::string& n : ia.Names) {
    const size_t us = n.rfind('_');
    if (us == std::string::npos) continue;
    int W = 0, H = 0;
    BitmapProblem(ia.Members.at(UpperAscii(n)), false, &W, &H);
    auto [it, added] = family.emplace(n.substr(0, us), std::make_pair(W, H));
    if (!added && it->second != std::make_pair(W, H)) p.Add(n + " differs in size from the rest of its family");
  }
  EXPECT_TRUE(p.Empty()) << p.Report();
}

TEST_F(ContentCheck, LessonSoundsAreShortEnoughToPlayOnEveryKey) {
  Problems p;
  for (const char* key : {"key1.wav", "key2.wav"}) {
    double s = 0;
    const std::string* m = Member(vx::res::kSoundsArchive, key);
    if (m != nullptr && WaveProblem(*m, &s).empty() && s >= 0.080) p.Add(std::string(key) + " lasts " + std::to_string(s) + " s");
  }
  for (const char* other : {"metronom1.wav", "error1.wav", "error2.wav", "enter1.wav", "enter2.wav"}) {
    double s = 0;
    const std::string* m = Member(vx::res::kSoundsArchive, other);
    if (m != nullptr && WaveProblem(*m, &s).empty() && s >= 0.5) p.Add(std::string(other) + " lasts " + std::to_string(s) + " s");
  }
  EXPECT_TRUE(p.Empty()) << p.Report();
}

// Every line of the shipped lessons a student types, and the letters that course steps allow.
// The words of the word exercises count too: the generator puts them on the typing table.
std::set<unsigned char> CharactersTyped(Problems& p) {
  std::set<unsigned char> used;
  const fs::path courses = Dist() / "courses";
  if (!fs::is_directory(courses)) {
    p.Add("courses/ is missing");
    return used;
  }
  if (const std::string* words = Member(vx::res::kVxArchive, vx::res::kWordsMember)) {
    for (unsigned char c : *words)
      if (c != '\r' && c != '\n') used.insert(c);
  }
  for (const auto& e : fs::recursive_directory_iterator(courses)) {
    if (e.path().extension() != ".txt") continue;
    TStringList lines;
    lines.SetText(ReadFile(e.path()));
    for (int i = 0; i < lines.Count(); ++i) {
      const std::string l = lines[i];
      // The instruction document of a lesson is opened without a check: it must exist.
      const std::string head = UpperAscii(l.substr(0, l.find('=') + 1));
      if ((head == "#INST=" || head == "#HTMLINST=") && l.size() > head.size()) {
        std::string doc = l.substr(head.size());
        for (char& c : doc) if (c == '\\') c = '/';
        if (!fs::exists(Dist() / Cp1250ToUtf8(doc)))
          p.Add(fs::relative(e.path(), Dist()).string() + ": its instruction " + Cp1250ToUtf8(doc) + " does not exist");
      }
      if (l.size() <= 1 || l[0] == '#') continue;
      for (unsigned char c : l) {
        if (c == '\t') p.Add(fs::relative(e.path(), Dist()).string() + " line " + std::to_string(i + 1) + " holds a tab");
        else used.insert(c);
      }
    }
  }
  return used;
}

TEST_F(ContentCheck, KeyboardLayoutsCoverEveryCharacterOfTheLessonsAndWords) {
  Problems p;
  TKeybList list((Dist() / vx::res::kKeyboardsArchive).string());
  if (list.Count() == 0) p.Add(std::string("no keyboard layout: ") + list.LoadError());
  const std::set<unsigned char> used = CharactersTyped(p);
  for (int i = 0; i < list.Count(); ++i) {
    const TKeybDefItem* item = list.Item(i);
    const std::string layout = "layout '" + item->Name + "': ";
    for (const std::string* pic : {&item->Image, &item->FingersImage}) {
      const std::string* m = Member(vx::res::kKeyboardsArchive, *pic);
      int W = 0, H = 0;
      if (m == nullptr) p.Add(layout + *pic + " is missing");
      else if (const std::string why = BitmapProblem(*m, false, &W, &H); !why.empty()) p.Add(layout + *pic + " " + why);
      else if (W != 638 || H != 210) p.Add(layout + *pic + " is not 638x210 (the lesson's keyboard area)");
    }
    const std::string* keysText = Member(vx::res::kKeyboardsArchive, item->KeysFile);
    const std::string* charsText = Member(vx::res::kKeyboardsArchive, item->CharsFile);
    if (keysText == nullptr || charsText == nullptr) {
      p.Add(layout + "keys or chars file missing");
      continue;
    }
    TStringList keyLines, charLines;
    keyLines.SetText(*keysText);
    charLines.SetText(*charsText);
    const std::vector<TKeyDef> keys = ReadKeysFile(keyLines);
    const std::vector<TCharDef> chars = ReadCharsFile(charLines, keys);
    if (static_cast<int>(keys.size()) != keyLines.Count()) p.Add(layout + "the keys file ends early, at line " + std::to_string(keys.size() + 1));
    if (static_cast<int>(chars.size()) != charLines.Count()) p.Add(layout + "the chars file ends early, at line " + std::to_string(chars.size() + 1));
    std::set<unsigned char> mapped;
    for (const TCharDef& c : chars) {
      if (c.Key1 < 0) p.Add(layout + "character '" + Cp1250ToUtf8(std::string(1, c.Char)) + "' names an unknown key");
      mapped.insert(static_cast<unsigned char>(c.Char));
    }
    for (const TKeyDef& k : keys)
      if (k.Rects[0].Left < 0 || k.Rects[0].Top < 0 || k.Rects[0].Right > 638 || k.Rects[0].Bottom > 210)
        p.Add(layout + "key " + k.Name + " lies outside the picture");
    if (!mapped.count(' ')) p.Add(layout + "no line for the blank");
    if (!mapped.count(0xB6)) p.Add(layout + "no line for the end of line (0xB6)");
    std::string missing;
    for (unsigned char c : used)
      if (!mapped.count(c)) missing += Cp1250ToUtf8(std::string(1, static_cast<char>(c)));
    if (!missing.empty()) p.Add(layout + "lessons use characters it cannot type: [" + missing + "]");
  }
  EXPECT_TRUE(p.Empty()) << p.Report();
}

TEST_F(ContentCheck, CourseScriptsAreNumberedAndEverythingTheyNameExists) {
  Problems p;
  const OpenedArchive& a = Archive(vx::res::kScenarioArchive);
  std::vector<std::string> names = a.Names;
  std::sort(names.begin(), names.end());
  for (size_t i = 0; i < names.size(); ++i) {
    char want[32];
    std::snprintf(want, sizeof want, "INDEX_%02zu.SCN", i + 1);
    if (names[i] != want) p.Add(std::string("scenario.zlb: expected ") + want + ", found " + names[i]);
  }
  if (names.empty()) p.Add("scenario.zlb holds no course");
  for (const std::string& n : names) {
    if (!fs::exists(Dist() / n)) p.Add(n + " is not beside the program (the certificate reads it there)");
    TStringList lines;
    lines.SetText(a.Members.at(UpperAscii(n)));
    auto fileExists = [&](std::string rel, int line) {
      for (char& c : rel) if (c == '\\') c = '/';
      if (!fs::exists(Dist() / Cp1250ToUtf8(rel))) p.Add(n + " line " + std::to_string(line) + ": " + Cp1250ToUtf8(rel) + " does not exist");
    };
    bool title = false;
    for (int i = 0; i < lines.Count(); ++i) {
      const std::string l = lines[i];
      if (UpperAscii(l.substr(0, 7)) == "#TITLE=") title = true;
      if (UpperAscii(l.substr(0, 6)) == "#NOTE=") fileExists(l.substr(6), i + 1);
      if (l.empty() || l[0] == '#' || l[0] == '/' || l[0] == '@') continue;
      const size_t t1 = l.find('~'), t2 = t1 == std::string::npos ? t1 : l.find('~', t1 + 1);
      if (t2 == std::string::npos) continue;
      const std::string params = l.substr(t2 + 1);
      const size_t bar = params.find('|');
      const std::string type = params.substr(0, bar);
      const std::string p2 = bar == std::string::npos ? "" : params.substr(bar + 1, params.find('|', bar + 1) - bar - 1);
      if (type == "HTML" || type == "ExFix" || type == "Certificate") fileExists(p2, i + 1);
      if (l.substr(t1 + 1, t2 - t1 - 1).size() > 40) p.Add(n + " line " + std::to_string(i + 1) + ": step name longer than 40");
      if (params.size() > 50) p.Add(n + " line " + std::to_string(i + 1) + ": parameters longer than 50");
    }
    if (!title) p.Add(n + " has no #TITLE");
  }
  EXPECT_TRUE(p.Empty()) << p.Report();
}

TEST_F(ContentCheck, EveryLinkAndPictureOfTheHtmlPagesResolves) {
  Problems p;
  const std::regex ref(R"((?:href|src|background)\s*=\s*["']?([^"'\s>]+))", std::regex::icase);
  for (const fs::path& dir : {Dist() / "help", Dist() / "courses"}) {
    if (!fs::is_directory(dir)) continue;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
      const std::string ext = UpperAscii(e.path().extension().string());
      if (ext != ".HTM" && ext != ".HTML") continue;
      const std::string page = ReadFile(e.path());
      for (auto it = std::sregex_iterator(page.begin(), page.end(), ref); it != std::sregex_iterator(); ++it) {
        std::string target = (*it)[1].str();
        if (target.find(':') != std::string::npos || target[0] == '#') continue;  // web, mail, anchors
        target = target.substr(0, target.find('#'));
        for (char& c : target) if (c == '\\') c = '/';
        if (!target.empty() && !fs::exists(e.path().parent_path() / Cp1250ToUtf8(target)))
          p.Add(fs::relative(e.path(), Dist()).string() + " links to " + Cp1250ToUtf8(target) + ", which does not exist");
        const std::string low = UpperAscii(target);
        if (low.size() > 4 && low.compare(low.size() - 4, 4, ".PNG") == 0)
          p.Add(fs::relative(e.path(), Dist()).string() + " shows " + target + ": the viewer does not decode PNG");
      }
    }
  }
  EXPECT_TRUE(p.Empty()) << p.Report();
}

TEST_F(ContentCheck, TheDatabaseOpensWithTheDataModulesTables) {
  // On a copy: opening writes the session bookkeeping, and the installation stays as built.
  const fs::path work = fs::temp_directory_path() / ("vx-content-check-" + std::to_string(::getpid()));
  fs::remove_all(work);
  fs::create_directories(work);
  ASSERT_TRUE(fs::is_directory(Dist() / "data")) << "data/ is missing";
  fs::copy(Dist() / "data", work / "data", fs::copy_options::recursive);
  SetProgramFolder(work.string());
  PrgReg = new TPrgReg((work / "settings.ini").string());
  Translations->Lines().SetText("ERR002=no database: %s\n");
  std::string error;
  try {
    TDM dm(nullptr);
    dm.DataModuleCreate(&dm);
    dm.Open();
    dm.Close();
  } catch (const Exception& e) {
    error = e.Message();
  }
  FreePrgReg();
  SetProgramFolder("");
  fs::remove_all(work);
  EXPECT_EQ(error, "");
}

}  // namespace

#include "tools/dxg/dxg.h"

#include <sstream>
#include <vector>

#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"

namespace {

int Field(const std::vector<std::string>& F, size_t I, int Line, const char* What) {
  if (I >= F.size()) return 0;
  int32_t v;
  if (!TryStrToInt(F[I], v) || v < 0)
    throw Exception(Format("line %d: %s must be a number of 0 or more, not \"%s\"", {Line, What, F[I]}));
  return v;
}

}  // namespace

void ReadDxgManifest(const std::string& ManifestFile, TPictureCollection& Items) {
  TStringList lines;
  lines.LoadFromFile(ManifestFile);
  const std::string base = ExtractFilePath(ManifestFile);
  for (int n = 0; n < lines.Count(); ++n) {
    std::istringstream in(lines[n]);
    std::vector<std::string> f;
    for (std::string w; in >> w;) f.push_back(w);
    if (f.empty() || f[0][0] == '#') continue;
    const int line = n + 1;
    if (f.size() < 2 || f.size() > 8) throw Exception(Format("line %d: expected 2 to 8 fields", {line}));
    TPictureCollectionItem* it = Items.Add();
    it->SetName(f[0]);
    auto dib = std::make_unique<TDIB>();
    const std::string pic = !f[1].empty() && f[1][0] == '/' ? f[1] : base + f[1];
    try {
      dib->LoadFromFile(pic);
    } catch (const Exception& e) {
      throw Exception(Format("line %d: %s: %s", {line, pic, e.Message()}));
    }
    if (dib->Empty()) throw Exception(Format("line %d: %s: empty picture", {line, pic}));
    it->Picture()->SetGraphic(std::move(dib));
    it->SetPatternWidth(Field(f, 2, line, "pattern width"));
    it->SetPatternHeight(Field(f, 3, line, "pattern height"));
    it->SetSkipWidth(Field(f, 4, line, "skip width"));
    it->SetSkipHeight(Field(f, 5, line, "skip height"));
    if (f.size() > 6) {
      TColor c;
      int32_t v;
      if (SameText(f[6], "none")) {
        it->SetTransparent(false);
      } else if (TryStrToInt(f[6], v)) {
        it->SetTransparentColor(v);
      } else if (IdentToColor(f[6], c)) {
        it->SetTransparentColor(c);
      } else {
        throw Exception(Format("line %d: unknown transparent colour \"%s\"", {line, f[6]}));
      }
    }
    if (f.size() > 7) {
      if (f[7] != "0" && f[7] != "1") throw Exception(Format("line %d: system memory must be 0 or 1", {line}));
      it->SetSystemMemory(f[7] == "1");
    }
  }
}

std::string ListDxg(TPictureCollection& Items) {
  std::string out;
  for (int i = 0; i < Items.Count(); ++i) {
    TPictureCollectionItem* it = Items.Items(i);
    out += it->Name() + "\t" + IntToStr(it->PatternCount()) + "\t" + IntToStr(it->Picture()->Width()) + "\t" +
           IntToStr(it->Picture()->Height()) + "\t" + IntToStr(static_cast<int64_t>(it->TransparentColor())) + "\n";
  }
  return out;
}

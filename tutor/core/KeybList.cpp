#include "tutor/core/KeybList.h"

#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"
#include "tutor/ZLibTools.h"
#include "tutor/core/ResourceNames.h"

TKeybList* KeybList = nullptr;

std::vector<TKeyDef> ReadKeysFile(const TStrings& Lines) {
  std::vector<TKeyDef> Keys;
  Keys.reserve(static_cast<std::size_t>(Lines.Count()));
  for (int i = 0; i < Lines.Count(); ++i) {
    const std::string Line = Lines.Strings(i);
    TKeyDef Key;
    Key.Name = ExtractField(Line, ';', 1);
    if (Key.Name.size() != 2) break;
    bool Shaped = true;
    for (int r = 0; r < 2 && Shaped; ++r) {
      const std::string X = ExtractField(Line, ';', 4 * r + 2);
      if (X.empty()) break;
      int V[4];
      for (int f = 0; f < 4; ++f) {
        const std::string Field = f == 0 ? X : ExtractField(Line, ';', 4 * r + 2 + f);
        if (!TryStrToInt(Field, V[f])) {
          Shaped = false;
          break;
        }
      }
      if (!Shaped) break;
      // 64-bit sums so that huge numbers cannot overflow; the rectangle is clipped when drawn.
      auto Clamp = [](long long S) {
        return static_cast<int>(S > 0x3FFFFFFF ? 0x3FFFFFFF : (S < -0x3FFFFFFF ? -0x3FFFFFFF : S));
      };
      Key.Rects[r] = TKeyRect{V[0], V[1], Clamp(static_cast<long long>(V[0]) + V[2]),
                              Clamp(static_cast<long long>(V[1]) + V[3])};
    }
    if (!Shaped) break;
    Keys.push_back(std::move(Key));
  }
  return Keys;
}

namespace {
int FindKey(const std::vector<TKeyDef>& Keys, std::string_view Name) {
  for (std::size_t i = 0; i < Keys.size(); ++i)
    if (Keys[i].Name == Name) return static_cast<int>(i);
  return -1;
}
}  // namespace

std::vector<TCharDef> ReadCharsFile(const TStrings& Lines, const std::vector<TKeyDef>& Keys) {
  std::vector<TCharDef> Chars;
  Chars.reserve(static_cast<std::size_t>(Lines.Count()));
  for (int i = 0; i < Lines.Count(); ++i) {
    const std::string Line = Lines.Strings(i);
    if (Line.size() != 4 && Line.size() != 7) break;
    TCharDef C;
    C.Char = Line[0];
    C.Key1 = FindKey(Keys, std::string_view(Line).substr(2, 2));
    if (Line.size() == 7) C.Key2 = FindKey(Keys, std::string_view(Line).substr(5, 2));
    Chars.push_back(C);
  }
  return Chars;
}

TKeybList::TKeybList() : TKeybList(ProgramPath(vx::res::kKeyboardsArchive)) {}

TKeybList::TKeybList(const std::string& ArchiveFile)
    : FArchive(std::make_unique<TZLBArchive>()), FItems(std::make_unique<TStringList>(true)) {
  Load(ArchiveFile);
}

TKeybList::~TKeybList() {
  if (FArchive) FArchive->CloseArchive();
}

void TKeybList::Load(const std::string& ArchiveFile) {
  // A missing or broken archive leaves no layouts: the lesson then runs without a picture.
  try {
    FArchive->OpenArchive(ArchiveFile);
  } catch (const std::exception& E) {
    FLoadError = E.what();
    return;
  }
  TStringList Lines;
  if (!LoadStringsFromArchive(&Lines, vx::res::kKeyboardsMember, FArchive.get())) {
    FLoadError = std::string("File not found in archive (") + vx::res::kKeyboardsMember + ")";
    return;
  }
  for (int i = 0; i < Lines.Count(); ++i) {
    const std::string Line = Lines.Strings(i);
    if (Trim(Line).empty()) continue;
    auto* Item = new TKeybDefItem;
    Item->Name = ExtractField(Line, ';', 1);
    Item->Image = ExtractField(Line, ';', 2);
    Item->FingersImage = ExtractField(Line, ';', 3);
    Item->KeysFile = ExtractField(Line, ';', 4);
    Item->CharsFile = ExtractField(Line, ';', 5);
    FItems->AddObject(Item->Name, Item);
  }
}

TKeybDefItem* TKeybList::Item(int Index) const {
  if (Index < 0 || Index >= FItems->Count()) return nullptr;
  return static_cast<TKeybDefItem*>(FItems->Objects(Index));
}

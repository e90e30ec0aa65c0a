#include "games/GalleryConfig.h"

#include <memory>

#include "controls/xmlreader.h"
#include "games/XmlValue.h"
#include "platform/core/classes.h"
#include "platform/core/fileutils.h"
#include "platform/core/sysutils.h"
#include "platform/gui/graphics.h"
#include "tutor/ZLIBArchive.h"
#include "tutor/ZLibPictures.h"
#include "tutor/core/ResourceNames.h"

TXMLNode* GalleryConfig = nullptr;
std::vector<TThemeItem> GalleryThemes;

namespace {

// Paths in the settings are written with '\'; the file layer wants '/'.
std::string Slashed(std::string S) {
  for (char& C : S)
    if (C == '\\') C = '/';
  return S;
}

struct TOpenArchive {
  TZLBArchive Archive;
  explicit TOpenArchive(const std::string& FileName) {
    if (!Archive.OpenArchive(FileName)) throw Exception("The archive " + FileName + " cannot be opened");
  }
  ~TOpenArchive() { Archive.CloseArchive(); }
};

const TXMLNode* Root() {
  if (!GalleryConfig) LoadGalleryConfig();
  return XmlChild(GalleryConfig, "Gallery");
}

}  // namespace

void LoadGalleryConfig() {
  const std::string Path = ProgramPath(vx::res::kGalleryXml);
  std::string Text;
  try {
    TFileStream F(Path, fmOpenRead);
    Text.resize(static_cast<size_t>(F.Size()));
    if (!Text.empty() && F.Read(Text.data(), static_cast<int64_t>(Text.size())) != static_cast<int64_t>(Text.size()))
      throw Exception("short read");
  } catch (const Exception& E) {
    throw Exception(Path + ": " + E.Message());
  }
  TXMLNode* Doc = nullptr;
  try {
    TXMLStringReader Reader(std::move(Text));
    Doc = Reader.ReadDocument();
  } catch (const Exception& E) {
    throw Exception(Path + ": " + E.Message());
  }
  delete GalleryConfig;
  GalleryConfig = Doc;
}

void FreeGalleryConfig() {
  delete GalleryConfig;
  GalleryConfig = nullptr;
  GalleryThemes.clear();
}

std::string GalleryParam(const std::string& Name) { return XmlLeaf(XmlChild(Root(), "Params"), Name); }
int GalleryIntParam(const std::string& Name) { return XmlLeafInt(XmlChild(Root(), "Params"), Name); }

const TXMLNode* GalleryLevelsNode() {
  const TXMLNode* R = Root();
  if (const TXMLNode* L = R->FindChild("Levels")) return L;
  if (const TXMLNode* P = R->FindChild("Params"))
    if (const TXMLNode* L = P->FindChild("Levels")) return L;
  throw Exception("Node \"Gallery\" has no child \"Levels\"");
}

std::vector<const TXMLNode*> GalleryLevelNodes() {
  std::vector<const TXMLNode*> Out;
  const TXMLNode* L = GalleryLevelsNode();
  for (int I = 0; I < L->ChildCount(); ++I)
    if (L->GetChild(I)->Kind == nkElement) Out.push_back(L->GetChild(I));
  return Out;
}

TGalleryLevel ReadGalleryLevel(int Index) {
  const std::vector<const TXMLNode*> Levels = GalleryLevelNodes();
  if (Index < 0 || Index >= static_cast<int>(Levels.size()))
    throw Exception("The gallery has no level " + std::to_string(Index));
  const TXMLNode* N = Levels[static_cast<size_t>(Index)];
  TGalleryLevel L;
  L.Name = XmlLeaf(N, "Name");
  L.MaxTimePerChar = XmlLeafInt(N, "MaxTimePerChar");
  L.ColCnt = XmlLeafInt(N, "ColCnt");
  L.RowCnt = XmlLeafInt(N, "RowCnt");
  L.GameTime = XmlLeafInt(N, "GameTime");
  L.WordsCnt = XmlLeafInt(N, "WordsCnt");
  return L;
}

int GalleryDefaultLevel() {
  const int Count = static_cast<int>(GalleryLevelNodes().size());
  int D = 0;
  try {
    D = GalleryIntParam("DefLevel");
  } catch (const Exception&) {
    D = 0;  // no default given: the first level
  }
  if (D >= Count) D = Count - 1;
  return D < 0 ? 0 : D;
}

int GalleryDefaultTheme() {
  int D = 0;
  for (size_t I = 0; I < GalleryThemes.size(); ++I)
    if (GalleryThemes[I].IsDefault) D = static_cast<int>(I);
  return D;
}

std::vector<TGalleryPicture> GalleryPictures(const TStrings& Titles) {
  std::vector<TGalleryPicture> Out;
  for (int I = 0; I < Titles.Count(); ++I) {
    const std::string Line = Titles.Strings(I);
    if (Line.empty() || Line[0] == '#') continue;
    const size_t Eq = Line.find('=');
    if (Eq == std::string::npos) continue;
    const size_t End = Line.find('=', Eq + 1);
    Out.push_back({Line.substr(0, Eq), Line.substr(Eq + 1, End == std::string::npos ? std::string::npos : End - Eq - 1)});
  }
  return Out;
}

void LoadGalleryThemes() {
  GalleryThemes.clear();
  const std::string Mask = Slashed(GalleryParam("ThemeMask"));
  const std::string TitlesFile = GalleryParam("TitlesFile");
  const std::string DefTheme = GalleryParam("DefTheme");
  const size_t Slash = Mask.rfind('/');
  const std::string Folder = Slash == std::string::npos ? std::string() : Mask.substr(0, Slash + 1);
  std::vector<TThemeItem> List;
  TSearchRec F;
  if (!Mask.empty() && FindFirst(ProgramPath(Mask), faAnyFile, F) == 0) {
    struct TCloser {
      TSearchRec& R;
      ~TCloser() { FindClose(R); }
    } Closer{F};
    do {
      TThemeItem Item;
      Item.FileName = ProgramPath(Folder + F.Name);
      TStringList Titles;
      {
        TOpenArchive A(Item.FileName);
        A.Archive.ExtractToStrings(&Titles, TitlesFile);
      }
      Item.Name = Titles.Values("#ThemeName");
      Item.IsDefault = F.Name == DefTheme;
      List.push_back(std::move(Item));
    } while (FindNext(F) == 0);
  }
  GalleryThemes = std::move(List);
}

std::vector<std::string> CheckGalleryContent() {
  std::vector<std::string> P;
  try {
    LoadGalleryConfig();
  } catch (const Exception& E) {
    P.push_back(E.Message());
    return P;
  }
  size_t Levels = 0;
  try {
    Levels = GalleryLevelNodes().size();
    if (Levels == 0) P.push_back("gallery.xml: no levels");
    for (size_t I = 0; I < Levels; ++I) {
      try {
        const TGalleryLevel L = ReadGalleryLevel(static_cast<int>(I));
        if (L.ColCnt < 1 || L.ColCnt > 29 || L.RowCnt < 1 || L.RowCnt > 29)
          P.push_back("gallery.xml: level " + L.Name + " has a grid outside 1..29");
        if (L.MaxTimePerChar < 1) P.push_back("gallery.xml: level " + L.Name + " gives no time per letter");
        if (L.WordsCnt < 29) P.push_back("gallery.xml: level " + L.Name + " asks for fewer than 30 words");
      } catch (const Exception& E) {
        P.push_back("gallery.xml: level " + std::to_string(I) + ": " + E.Message());
      }
    }
    const int D = GalleryIntParam("DefLevel");
    if (D < 0 || static_cast<size_t>(D) >= Levels) P.push_back("gallery.xml: DefLevel " + std::to_string(D) + " is no level");
    LoadGalleryThemes();
  } catch (const Exception& E) {
    P.push_back(E.Message());
    return P;
  }
  if (GalleryThemes.empty()) P.push_back("gallery: no theme archives match " + GalleryParam("ThemeMask"));
  bool Default = false;
  for (const TThemeItem& T : GalleryThemes) {
    Default = Default || T.IsDefault;
    const std::string Where = ExtractFileName(T.FileName);
    if (T.Name.empty()) P.push_back(Where + ": no #ThemeName");
    try {
      TOpenArchive A(T.FileName);
      TStringList Titles;
      A.Archive.ExtractToStrings(&Titles, GalleryParam("TitlesFile"));
      const std::vector<TGalleryPicture> Pictures = GalleryPictures(Titles);
      if (Pictures.empty()) P.push_back(Where + ": no pictures");
      for (const TGalleryPicture& Pic : Pictures) {
        try {
          TPicture Picture;
          LoadPictureFromArchive(&Picture, Pic.Member, &A.Archive);
          if (Picture.Width() != 728 || Picture.Height() != 486)
            P.push_back(Where + ": " + Pic.Member + " is " + std::to_string(Picture.Width()) + "x" +
                        std::to_string(Picture.Height()) + ", not 728x486");
        } catch (const Exception& E) {
          P.push_back(Where + ": " + Pic.Member + ": " + E.Message());
        }
        if (Pic.Title.empty()) P.push_back(Where + ": " + Pic.Member + " has no title");
      }
    } catch (const Exception& E) {
      P.push_back(Where + ": " + E.Message());
    }
  }
  if (!GalleryThemes.empty() && !Default) P.push_back("gallery: DefTheme " + GalleryParam("DefTheme") + " is no theme archive");
  return P;
}

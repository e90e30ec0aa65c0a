#include "games/BomberTowns.h"

#include <memory>

#include "dx/dib.h"
#include "dx/dximagelist.h"
#include "platform/core/fileutils.h"
#include "tutor/ZLIBArchive.h"
#include "tutor/core/ResourceNames.h"

std::array<TBomberLevel, 4> BomberLevels;

namespace {

TStringList* GTowns = nullptr;

// Configuration paths are written with '\' in the content; the file layer wants '/'.
std::string Slashed(std::string S) {
  for (char& C : S)
    if (C == '\\') C = '/';
  return S;
}

// An archive opened for reading only, closed whatever happens.
struct TOpenArchive {
  TZLBArchive Archive;
  explicit TOpenArchive(const std::string& FileName) { Archive.OpenArchive(FileName); }
  ~TOpenArchive() { Archive.CloseArchive(); }
};

int32_t TownInt(const std::string& Text, const std::string& TownName, int LineNo, const char* What) {
  try {
    return StrToInt(Trim(Text));
  } catch (const EConvertError&) {
    throw ETownError("Town " + TownName + ", line " + std::to_string(LineNo) + ": " + What + " '" + Text +
                     "' is not a number");
  }
}

}  // namespace

std::vector<TTownLine> ParseTownLayout(const TStrings& Lines, const std::string& TownName) {
  std::vector<TTownLine> Out;
  int Declared = -1, Column = -1, Building = 0;
  auto Fail = [&](int LineNo, const std::string& Why) -> void {
    throw ETownError("Town " + TownName + (LineNo > 0 ? ", line " + std::to_string(LineNo) : std::string()) + ": " +
                     Why);
  };
  for (int I = 0; I < Lines.Count(); ++I) {
    const std::string Line = Lines.Strings(I);
    const int No = I + 1;
    if (Trim(Line).empty()) continue;
    TTownLine L{TTownLine::kBuilding, No, "", 0, 0, 0, 0};
    if (Line[0] == '#') {
      if (Declared >= 0) Fail(No, "the column count is given twice");
      L.Kind = TTownLine::kCount;
      L.A = TownInt(ExtractField(Line, ',', 2), TownName, No, "column count");
      if (L.A < 1 || L.A > 800) Fail(No, "the column count must be 1 to 800");
      Declared = L.A;
    } else if (Line[0] == '@') {
      if (Declared < 0) Fail(No, "a column before the column count");
      if (Column >= 0 && Building == 0) Fail(No, "column " + std::to_string(Column + 1) + " has no building");
      ++Column;
      if (Column >= Declared) Fail(No, "more columns than the " + std::to_string(Declared) + " declared");
      Building = 0;
      L.Kind = TTownLine::kColumn;
      L.ColumnNo = Column;
      L.A = TownInt(ExtractField(Line, ',', 3), TownName, No, "column top");
      L.B = TownInt(ExtractField(Line, ',', 4), TownName, No, "column hit offset");
    } else {
      if (Column < 0) Fail(No, "a building before the first column");
      if (Building >= kMaxBuildings)
        Fail(No, "more than " + std::to_string(kMaxBuildings) + " buildings in column " + std::to_string(Column + 1));
      L.Member = Trim(ExtractField(Line, ',', 1));
      if (L.Member.empty()) Fail(No, "a building without a picture");
      L.A = TownInt(ExtractField(Line, ',', 2), TownName, No, "building top");
      L.B = TownInt(ExtractField(Line, ',', 3), TownName, No, "building hit offset");
      L.ColumnNo = Column;
      L.BuildingNo = Building++;
    }
    Out.push_back(L);
  }
  if (Declared < 0) Fail(0, "no column count");
  if (Column >= 0 && Building == 0) Fail(0, "column " + std::to_string(Column + 1) + " has no building");
  if (Column + 1 != Declared)
    Fail(0, std::to_string(Declared) + " columns declared, " + std::to_string(Column + 1) + " given");
  return Out;
}

int32_t LevelValue(const TStrings& Levels, const std::string& Key, int Level) {
  const std::string Field = ExtractField(Levels.Values(Key), ',', Level);
  try {
    return StrToInt(Trim(Field));
  } catch (const EConvertError&) {
    throw ETownError("levels.ini: " + Key + " has no number for difficulty " + std::to_string(Level));
  }
}

void ReadBomberLevels(const TStrings& Levels, std::array<TBomberLevel, 4>& Table) {
  auto Delta = [](int32_t V) { return (V + 100) / 100.0; };
  for (int D = 1; D <= 3; ++D) {
    TBomberLevel& L = Table[static_cast<size_t>(D)];
    L.Speed = LevelValue(Levels, "Speed", D);
    L.SpeedDelta = Delta(LevelValue(Levels, "SpeedDelta", D));
    L.Interval = LevelValue(Levels, "Interval", D);
    L.IntervalDelta = Delta(LevelValue(Levels, "IntervalDelta", D));
    L.LevelCount = LevelValue(Levels, "LevelCount", D);
    L.LevelDelta = Delta(LevelValue(Levels, "LevelDelta", D));
    L.BombsMax = LevelValue(Levels, "BombsMax", D);
    L.BombScore1 = LevelValue(Levels, "BombScore1", D);
    L.BombScore2 = LevelValue(Levels, "BombScore2", D);
    L.LevelScore = LevelValue(Levels, "LevelScore", D);
    L.ErrorScore = LevelValue(Levels, "ErrorScore", D);
    L.MaxTime = LevelValue(Levels, "MaxTime", D);
  }
}

void LoadBomberLevels() {
  TStringList Levels;
  {
    TOpenArchive A(ProgramPath(vx::res::kBomberArchive));
    A.Archive.ExtractToStrings(&Levels, vx::res::kBomberLevelsMember);
  }
  // Read into a copy first: a broken file leaves the table as it was.
  std::array<TBomberLevel, 4> Table = BomberLevels;
  ReadBomberLevels(Levels, Table);
  BomberLevels = Table;
}

TStringList* TownList() { return GTowns; }

void FreeTowns() {
  delete GTowns;
  GTowns = nullptr;
}

void LoadTowns() {
  if (GTowns) return;
  TStringList Config;
  {
    TOpenArchive A(ProgramPath(vx::res::kBomberArchive));
    A.Archive.ExtractToStrings(&Config, vx::res::kBomberConfigMember);
  }
  const std::string Mask = Slashed(Config.Values("TownLibMask"));
  const std::string InfoFile = Config.Values("TownInfoFile");
  const std::string DefTown = Config.Values("DefTown");
  auto List = std::make_unique<TStringList>(true);
  const size_t Slash = Mask.rfind('/');
  const std::string Folder = Slash == std::string::npos ? std::string() : Mask.substr(0, Slash + 1);
  TSearchRec F;
  if (!Mask.empty() && FindFirst(ProgramPath(Mask), faAnyFile, F) == 0) {
    struct TCloser {
      TSearchRec& R;
      ~TCloser() { FindClose(R); }
    } Closer{F};
    do {
      auto Item = std::make_unique<TTownItem>();
      Item->FileName = ProgramPath(Folder + F.Name);
      TStringList Info;
      {
        TOpenArchive A(Item->FileName);
        A.Archive.ExtractToStrings(&Info, InfoFile);
      }
      Item->Name = Info.Values("name");
      const std::string Ground = Info.Values("Ground");
      try {
        Item->Ground = StrToInt(Trim(Ground));
      } catch (const EConvertError&) {
        throw ETownError("Town " + F.Name + ": Ground '" + Ground + "' is not a number");
      }
      Item->IsDefault = UpperCase(F.Name) == UpperCase(DefTown);
      const std::string Name = Item->Name;
      List->AddObject(Name, Item.release());
    } while (FindNext(F) == 0);
  }
  GTowns = List.release();
}

TPictureCollectionItem* LoadTownPicture(TZLBArchive* Archive, const std::string& FileName,
                                        TPictureCollection* Pictures) {
  auto Dib = std::make_unique<TDIB>();
  Archive->ExtractAndLoad(FileName, [&](TStream* S) { Dib->LoadFromStream(S); });
  std::string Base = FileName;
  if (const size_t Dot = Base.rfind('.'); Dot != std::string::npos) Base.resize(Dot);
  if (const size_t Sep = Base.find_last_of(":\\"); Sep != std::string::npos) Base = Base.substr(Sep + 1);
  TPictureCollectionItem* Item = Pictures->Add();
  Item->Picture()->SetGraphic(std::move(Dib));
  Item->SetName(Base);
  return Item;
}

void LoadTown(TBomberTown& Town, TPictureCollection* Pictures, int TownIndex) {
  if (!GTowns || TownIndex < 0 || TownIndex >= GTowns->Count()) throw ETownError("There is no town to play in");
  const auto* Item = static_cast<const TTownItem*>(GTowns->Objects(TownIndex));
  TBomberTown T;
  T.Ground = Item->Ground;
  Pictures->Clear();
  TOpenArchive A(Item->FileName);
  TStringList Layout;
  A.Archive.ExtractToStrings(&Layout, "town.ini");
  const std::vector<TTownLine> Lines = ParseTownLayout(Layout, Item->Name);
  int32_t RunningX = 0;
  const TTownLine* ColumnLine = nullptr;
  for (const TTownLine& L : Lines) {
    if (L.Kind == TTownLine::kCount) {
      T.ColumnCount = L.A;
      T.Columns.assign(static_cast<size_t>(L.A), TTownColumn());
      continue;
    }
    if (L.Kind == TTownLine::kColumn) {
      ColumnLine = &L;
      continue;
    }
    TTownColumn& C = T.Columns[static_cast<size_t>(L.ColumnNo)];
    TPictureCollectionItem* Pic = LoadTownPicture(&A.Archive, L.Member, Pictures);
    const size_t B = static_cast<size_t>(L.BuildingNo);
    if (B == 0) {
      C.IntactHitLine = ColumnLine->A + ColumnLine->B;
      C.Top = ColumnLine->A;
      C.Width = Pic->Picture()->Width();
      C.FirstHeight = Pic->Picture()->Height();
      C.Left = RunningX;
      RunningX += C.Width;
    }
    C.RemainingCount = C.BuildingCount = L.BuildingNo + 1;
    C.BuildingPicture[B] = Pic;
    C.BuildingTop[B] = L.A;
    C.BuildingHitLine[B] = L.A + L.B;
  }
  LoadTownPicture(&A.Archive, "background.bmp", Pictures);
  for (const TTownColumn& C : T.Columns) T.TotalBuildings += C.BuildingCount;
  Pictures->Restore();
  Pictures->BuildColorTable();
  Town = std::move(T);
}

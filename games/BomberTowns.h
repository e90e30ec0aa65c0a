// The bomber's configuration: the three difficulty records (levels.ini), the town list found
// through config.ini, and the loader that turns one town archive into the playing field: the town
// picture, the building pictures and the columns bombs fall against.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "platform/core/sysutils.h"

class TPictureCollection;
class TPictureCollectionItem;
class TZLBArchive;

// A town archive or the bomber's configuration that cannot be played.
VX_DECLARE_EXCEPTION(ETownError, Exception)

// One difficulty. The deltas are growth exponents: (v + 100) / 100 of the integer v read.
struct TBomberLevel {
  std::string PreferredLetters;
  std::string AllowedLetters;
  double Speed = 0;  // pixels per second at the start
  double SpeedDelta = 1;
  int32_t Interval = 0;  // milliseconds between two bombs at the start
  double IntervalDelta = 1;
  int32_t LevelCount = 0;  // hits needed in the first level
  double LevelDelta = 1;
  int32_t Spare = 0;
  int32_t BombsMax = 0;
  int32_t MaxTime = 0;  // kept; play does not use it
  int32_t BombScore1 = 0, BombScore2 = 0, LevelScore = 0, ErrorScore = 0;
  int32_t TownIndex = 0;
};

// The level table, index 1..3 = difficulty 1..3 (index 0 unused).
extern std::array<TBomberLevel, 4> BomberLevels;

// One entry of the town list (the list's object for the town's name).
class TTownItem : public TObject {
 public:
  std::string ClassName() const override { return "TTownItem"; }
  std::string Name;
  std::string FileName;  // absolute path of the town archive
  int32_t Ground = 0;    // y of the ground line in display pixels
  bool IsDefault = false;
};

constexpr int kMaxBuildings = 11;

// One vertical strip of the town.
struct TTownColumn {
  int32_t RemainingCount = 0;
  int32_t BuildingCount = 0;
  int32_t FirstHeight = 0;
  int32_t Width = 0;
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t IntactHitLine = 0;
  std::array<int32_t, kMaxBuildings> BuildingTop{};
  std::array<int32_t, kMaxBuildings> BuildingHitLine{};
  std::array<TPictureCollectionItem*, kMaxBuildings> BuildingPicture{};
  // Where bombs strike now: the intact line until a building is lost, then the line of the
  // building that remains on top.
  int32_t HitLine() const {
    return RemainingCount == BuildingCount ? IntactHitLine : BuildingHitLine[static_cast<size_t>(RemainingCount)];
  }
};

// The town data of a game.
struct TBomberTown {
  std::vector<TTownColumn> Columns;
  int32_t ColumnCount = 0;
  int32_t Ground = 0;
  int32_t TotalBuildings = 0;
  int32_t DestroyedBuildings = 0;
};

// One line of town.ini as the loader reads it.
struct TTownLine {
  enum TKind { kCount, kColumn, kBuilding } Kind;
  int LineNo;       // 1-based
  std::string Member;  // building: the bitmap member
  int32_t A = 0, B = 0;  // "#": count; "@": top, hit offset; building: top, hit offset
  int ColumnNo = 0;   // "@" and building: the column's index
  int BuildingNo = 0; // building: its number within the column
};

// Reads and checks a town layout: "#" with at least one column first and once, one "@" line per
// declared column, every building after its column's "@", 1..11 buildings per column, numeric
// fields. Raises ETownError naming the town and the line otherwise.
std::vector<TTownLine> ParseTownLayout(const TStrings& Lines, const std::string& TownName);

// The field of a comma-separated value, converted; raises ETownError naming Key.
int32_t LevelValue(const TStrings& Levels, const std::string& Key, int Level);
// Fills the three level records from levels.ini of the bomber archive.
void LoadBomberLevels();
// Fills one level table from a key=value list (what LoadBomberLevels reads).
void ReadBomberLevels(const TStrings& Levels, std::array<TBomberLevel, 4>& Table);

// The town list: names with their TTownItem objects; nullptr before LoadTowns.
TStringList* TownList();
// Fills the town list once (nothing when it exists).
void LoadTowns();
// Frees the town list (program end; tests).
void FreeTowns();

// Reads one bitmap member of the open archive into a new item of Pictures, named by the file's
// base name.
TPictureCollectionItem* LoadTownPicture(TZLBArchive* Archive, const std::string& FileName, TPictureCollection* Pictures);
// Fills Town and Pictures from the town at TownIndex of the list; raises ETownError for an index
// outside the list or a town that cannot be played. Pictures is cleared first.
void LoadTown(TBomberTown& Town, TPictureCollection* Pictures, int TownIndex);

// Helpers of the filter tests: two tables with the same rows, one with an index on every column a
// filter compares and one with the primary key only, and the visible records of a filter.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "dbengine/sql/expr_filters.h"
#include "dbengine/storage/tests/data_cursor_test_util.h"

namespace filtertest {

// One row of table "items": ID auto-increment, NAME string 20, QTY integer, PRICE float, BORN date
// (day number), FLAG boolean; nullopt = NULL (an empty NAME is NULL too).
struct TItem {
  std::string Name;
  std::optional<int32_t> Qty;
  std::optional<double> Price;
  std::optional<int32_t> Born;
  std::optional<bool> Flag;
};

// Field numbers of "items".
constexpr int kName = 2, kQty = 3, kPrice = 4, kBorn = 5, kFlag = 6;

class FilterFixture : public cursortest::CursorTest {
 protected:
  void SetUp() override;
  // Creates "indexed" (secondary indexes on NAME, QTY, PRICE, BORN) and "plain" (primary key only)
  // and inserts Rows into both; opens a cursor on each.
  void Fill(const std::vector<TItem>& Rows, uint16_t Language = 0);
  void InsertItem(TDataCursor* C, const TItem& Row);
  // IDs of the records a text filter leaves visible (the filter stays active).
  std::set<int32_t> Visible(TDataCursor* C, const std::string& Text, bool CaseInsensitive = false,
                            TFilterHandle* Handle = nullptr);
  // IDs of the live records for which the condition tests true, record by record.
  std::set<int32_t> BruteForce(TDataCursor* C, const std::string& Text, bool CaseInsensitive = false);
  static std::string NameOf(TDataCursor* C, const uint8_t* B);

  std::vector<TItem> Items;
  TDataCursor* Indexed = nullptr;
  TDataCursor* Plain = nullptr;
};

// Deterministic rows: Polish names (CP1250), NULLs in every column now and then.
std::vector<TItem> MakeItems(int Count, uint32_t Seed);

}  // namespace filtertest

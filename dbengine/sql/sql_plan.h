// The plan of one query of a statement: its source tables opened through cursors, the conditions
// of its WHERE and JOIN clauses placed on the nested loop level where they can first be tested,
// the bound result columns and the result rows. Internal to the SQL executor.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dbengine/sql/expr_check.h"
#include "dbengine/sql/expr_eval.h"
#include "dbengine/sql/sql_exec.h"

struct TCondition;

// A zeroed buffer for one field value being converted: on the stack unless the field is long.
class TValueBuffer {
 public:
  explicit TValueBuffer(size_t Size) {
    if (Size > sizeof Small_) {
      Large_.assign(Size, 0);
      Data_ = Large_.data();
    } else {
      std::memset(Small_, 0, Size);
    }
  }
  TValueBuffer(const TValueBuffer&) = delete;
  TValueBuffer& operator=(const TValueBuffer&) = delete;
  uint8_t* Data() { return Data_; }

 private:
  uint8_t Small_[272];
  std::vector<uint8_t> Large_;
  uint8_t* Data_ = Small_;
};

// One source table while a query runs.
struct TSourceRun {
  TSourceTable* Source = nullptr;
  TDataDirectory* Directory = nullptr;
  TDataCursor* Cursor = nullptr;
  std::vector<uint8_t> Record;  // the row the loops stand on
  std::vector<TFieldAccess> Fields;
  bool NullRow = false;  // an outer join delivers this table's columns as NULL
  bool Outer = false;    // the optional side of a LEFT or RIGHT join
  // Conditions "column = value" whose values the earlier tables give, served by an index whose
  // leading fields are these columns: the loop reads only the range of those values. Whole
  // numbers, dates and times; strings when the statement compares them as the table does.
  std::vector<const TExpToken*> KeyValues;  // the value sides (parts of the WHERE tree), in key order
  std::vector<int> KeyFields;               // the columns' field numbers, in key order
  std::vector<TCondition*> KeyConditions;   // the conditions they come from, in key order
  // Bounds on the index field after those (the first field when there are none): the
  // comparisons <, <=, >, >= and BETWEEN of that column with values the earlier tables give.
  struct TKeyBound {
    const TExpToken* Value;  // part of the WHERE tree
    uint8_t Code;            // opGreater, opGreaterEqual, opLess or opLessEqual, the column on the left
    TCondition* Condition;
  };
  std::vector<TKeyBound> Bounds;
  // Without bounds, an IN list of values on that field: the loop reads the range of each value.
  const TExpToken* InList = nullptr;  // the predicate (part of the WHERE tree)
  TCondition* InCondition = nullptr;
  int BoundField = 0;  // the bounded (or listed) column's field number
  uint8_t KeyIndex = 255;
  int RangeFields = 0;  // the leading key fields the last key range was set on
  // Record buffers of the range's ends: RangeEnd only when bounds make the ends differ.
  std::vector<uint8_t> RangeStart, RangeEnd;
  std::vector<int64_t> Points;  // the IN list's values of the last positioning, ascending
  size_t Point = 0;             // the one whose range is set
  bool HasKey() const { return !KeyValues.empty() || !Bounds.empty() || InList; }
};

// A condition of the WHERE tree (one operand of its top-level ANDs).
struct TCondition {
  TExpToken* Node = nullptr;  // part of the query's WHERE tree
  int Level = 0;              // the loop level (source index) where all its tables are positioned
  bool On = false;            // an ON condition of the outer table at Level
  TSourceRun* OnRun = nullptr;  // the outer table whose ON condition this is
  TExpTree Ready;             // the copy prepared for this execution
  // The key range its table was last positioned on holds exactly the rows it is true for: the
  // loop does not test it on them.
  bool Answered = false;
};

class TQueryPlan {
 public:
  TQueryPlan(TSQLExecutor* Executor, TDataQuery* Query);
  ~TQueryPlan();

  void Prepare();
  void Execute();
  // An INSERT … VALUES plan kept for later statements of the same head: its target is closed in
  // between (CloseTarget) and opened again for the next statement (ReopenTarget: false when the
  // table's definition or language is no longer what the plan was made for), whose values
  // (parsed into the query again) are then checked as Prepare checks them (CheckValueList).
  void CloseTarget();
  bool ReopenTarget();
  void CheckValueList();

  TSQLExecutor* Executor;
  TDataQuery* Query;
  std::vector<std::unique_ptr<TSourceRun>> Runs;
  uint16_t Language = 0, Sort = 0;
  const TFormatSettings* Settings = &LocaleFormatSettings(0, 0);
  TEvalContext Eval;
  std::vector<std::unique_ptr<TCondition>> Conditions;

  // SELECT: the result descriptors (one per result column), the bound ORDER BY and GROUP BY
  // columns (0-based result columns) and the rows of the last execution.
  std::vector<std::array<uint8_t, 768>> ResultDescs;
  std::vector<int> OrderColumns;
  std::vector<int> GroupColumns;
  bool WholeAggregate = false;
  std::vector<TSQLRow> Rows;
  TDataDirectory* ResultDirectory = nullptr;
  TDataDirectory* MemoryResultDirectory = nullptr;  // results small enough to stay in memory
  TDataCursor* ResultCursor = nullptr;
  const TSQLRow* GroupRow = nullptr;  // the row HAVING reads
  // A private in-memory result table goes back to the executor for the next result of its shape;
  // meanwhile the plan holds what goes with it (its cursor is ResultCursor).
  bool ResultReusable = false;
  TSQLExecutor::TKeptResult ResultKept;

  // A live result: the source table's own cursor with the WHERE as its filter, the result columns
  // as its field map and the ORDER BY index; it stays owned by its source.
  bool Live = false;
  uint8_t OrderIndex = 255;
  std::vector<std::array<uint8_t, 768>> PhysicalDescs, LiveDescs;
  TFilterHandle LiveFilter = nullptr;

  // INSERT and UPDATE: the target's physical field number of each value.
  std::vector<int> TargetFields;
  // A kept INSERT plan: the target's fields as the plan was made for them.
  std::vector<TFieldDescriptor> KeptFields;

 private:
  // Preparation.
  void OpenSources();
  TSourceRun* RunOf(const void* Source) const;
  bool ResolveColumn(TExpToken* Node);
  int ResolveSubSelect(TExpToken* Node);
  TTypeCheckContext CheckContext(const char* Context, bool Condition);
  void SplitWhere();
  void AssignLevels();
  void ChooseKeyRanges();
  void OptimizeJoins();
  bool FindKey(TSourceRun& R, const std::function<bool(const void*)>& Placed, std::vector<const TExpToken*>* Values,
               std::vector<int>* FieldNos, uint8_t* Index, std::vector<TCondition*>* Conditions = nullptr);
  // The bounds (or an IN list) of R on the field after its equalities, or without equalities on
  // the first field of an index; sets R's key index in the second case.
  void FindBounds(TSourceRun& R, const std::function<bool(const void*)>& Placed);
  bool SetKeyRange(TSourceRun& Run);
  // Sets the range of the next value of the run's IN list; false when there is none.
  bool NextKeyPart(TSourceRun& Run);
  bool AggregateFromOneEnd();
  void FilterDrivingTable(std::vector<TFilterHandle>& Added);
  void PrepareSelect();
  void BindResultNames();
  void BindOrderAndGroup();
  void BindHaving();
  void BuildResultDescs();
  void PrepareLive();
  void ExecuteLive();
  void PrepareTargetColumns();
  void CheckValues(const char* Kind);

  // Execution.
  void ReadyConditions();
  bool Test(int Level, bool OnOnly, bool SkipOn);
  void StepRows(size_t Level, const std::function<bool()>& Emit);
  void ScanRows(const std::function<bool()>& Emit, bool Report = true);
  void ExecuteSelect();
  void CollectRow(TSQLRow& Row);
  TSQLCell ReadBlobCell(TSourceRun* Run, int FieldNo);
  void WriteBlobValue(TDataCursor* Cursor, int FieldNo, uint8_t* Record, const uint8_t* Data, size_t Length);
  // Folds the collected rows into their groups (the rows read from one end of an index).
  void GroupRows();
  // HAVING on a finished group row.
  bool KeepGroup(const TSQLRow& G);
  void SortRows(const std::vector<int>& Columns, const std::vector<bool>& Descending, bool NoCase, bool Unique);
  void WriteResultTable();
  // Gives the result table back to the executor (reusable) or closes it.
  void ReleaseResultCursor();
  // The size of the result rows' values (an estimate of the result table's size).
  size_t ResultBytes() const;
  void ExecuteInsert();
  void ExecuteUpdateDelete();
  void StoreValue(TDataCursor* Cursor, int FieldNo, uint8_t* Record, const TExpToken* Value, const std::string& Column,
                  const std::string& ValueText, const char* Statement);
  // The VALUES or SET values evaluated on the current row and stored into Record.
  void StoreValues(TDataCursor* Cursor, uint8_t* Record, const char* Statement);
  void StoreCell(TDataCursor* Cursor, int FieldNo, uint8_t* Record, const TSQLCell& Cell, uint8_t Type,
                 const std::string& Column, const char* Statement);
  void Progress(uint32_t Position, uint32_t Total, bool& Abort);

  // DDL (sql_ddl.cpp).
  void PrepareDDL();
  void ExecuteDDL();
  TDataCursor* TargetCursor(bool Exclusive);
  void AlterTable();

  bool Prepared = false;
};

// Orders two cells of one type: NULL first, strings by the collation of Language (case-insensitive
// with NoCase), numbers and temporal values by value. -1, 0, 1.
int CompareSQLCells(const TSQLCell& A, const TSQLCell& B, uint8_t Type, bool NoCase, uint16_t Language, uint16_t Sort);
[[noreturn]] void SQLFail(const std::string& Message);

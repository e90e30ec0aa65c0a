// The SQL statement object and the clause records of its queries. A statement owns its queries:
// the main query first, then one per sub-select met while parsing. The parser fills the records;
// planning and execution work on them later (the cursor-related members are left to that layer).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbengine/sql/expr_parser.h"
#include "dbengine/sql/expr_token.h"

class TDataQuery;
class TSourceTable;
class TDataCursor;  // the result and source cursors, used by planning and execution

constexpr uint8_t skSelect = 1, skInsert = 2, skUpdate = 3, skDelete = 4, skCreateTable = 5,
                  skAlterTable = 6, skDropTable = 7, skCreateIndex = 8, skDropIndex = 9;

struct TResultField {
  TDataQuery* Query = nullptr;
  TSourceTable* SourceTable = nullptr;
  std::string SourceName;
  uint16_t SourceFieldNo = 0;
  std::string CorrelationName;
  std::string ResultName;
  bool NameGenerated = true;
  uint16_t ResultFieldNo = 0;
  bool IsExpression = false;
  uint8_t DataType = 0, SubType = 0, Size = 0, Scale = 0;
  uint8_t Aggregate = 0;  // 0 none, 1 SUM, 2 MIN, 3 MAX, 4 AVG, 5 COUNT
  uint16_t AvgCountFieldNo = 0;
  bool CountAll = false;
  std::string ExpressionText;
  TExpTree Expression;
  // Changing the source name also names the result when it has no name yet (never "*").
  void SetSourceName(const std::string& Name);
};

struct TOrderByField {
  TDataQuery* Query = nullptr;
  std::string ColumnName;
  std::string CorrelationName;
  uint16_t ColumnNo = 0;
  uint8_t Descending = 0;
};

struct TGroupByField {
  TDataQuery* Query = nullptr;
  std::string ColumnName;
  std::string CorrelationName;
  uint16_t ColumnNo = 0;
};

struct TUpdateField {
  TDataQuery* Query = nullptr;
  TSourceTable* Table = nullptr;
  std::string ColumnName;
  uint16_t FieldNo = 0;
  std::string CorrelationName;
  uint8_t DataType = 0, SubType = 0, Size = 0, Scale = 0;
  TExpTree Expression;
};

struct TUpdateValue {
  TDataQuery* Query = nullptr;
  std::string Text;
  TExpTree Expression;
};

struct TCreateField {
  TDataQuery* Query = nullptr;
  std::string Name, OldName;
  uint16_t FieldNo = 0;
  uint8_t DataType = 0, SubType = 0;
  uint32_t Size = 0;
  uint8_t Scale = 0;
  std::string Description;
  bool DescriptionGiven = false;
  bool NotNull = false, NotNullGiven = false;
  uint8_t CharCase = 0;
  bool CharCaseGiven = false;
  std::string MinText, MaxText, DefaultText;
  bool MinGiven = false, MaxGiven = false, DefaultGiven = false;
  bool Add = false, Redefine = false, Drop = false;
  int32_t AtPosition = 0;
  TExpTree Definition;
};

struct TCreateIndex {
  TDataQuery* Query = nullptr;
  std::string Name;
  std::vector<std::string> Columns;
  bool Descending = false, Unique = false, NoCase = false;
  uint8_t Compression = 0;  // 0 NONE, 1 DUPBYTE, 2 TRAILBYTE, 3 FULL
  bool Add = false, Redefine = false, Drop = false;
};

struct TTableJoin {
  TSourceTable* Owner = nullptr;
  uint8_t JoinType = 0;  // 0 default chain, 1 inner, 2 left outer, 3 right outer
  uint8_t Flag = 0;
  TSourceTable* Target = nullptr;
  TExpTree Condition;
  bool NullRowDelivered = false;
};

class TSourceTable {
 public:
  TDataQuery* Query = nullptr;
  TDataCursor* Cursor = nullptr;
  uint8_t Memory = 0;
  uint16_t Level = 0;
  uint16_t Position = 0;
  std::string DatabaseName, TableName, CorrelationName;
  std::vector<std::unique_ptr<TTableJoin>> Joins;
  // Applies the naming rule: MEMORY tables live in "Memory"; a path names directory and file.
  void SetName(const std::string& Text, bool InMemory, const std::string& OwnerDatabase);
  // Adds a join condition towards Target (takes the tree): it is AND-ed into an existing join of
  // the same or no type towards that table, otherwise it starts a new join.
  void AddJoin(TSourceTable* Target, uint8_t Type, TExpToken* Condition);
};

class TQueryStatement;

class TDataQuery {
 public:
  explicit TDataQuery(TQueryStatement* Owner, bool SubQuery);
  void Reset();
  // Parses one statement (or, for a sub-select, one SELECT) from the current token on.
  void Parse();
  void ParseSelect();
  // An INSERT parsed before: its VALUES list and the options after it are read again from the
  // current token (the VALUES keyword of another text with the same head).
  void ParseValuesAgain();

  TQueryStatement* Owner;
  bool SubQuery;
  uint8_t Kind = 0;
  double ExecutionTime = 0;
  bool RequestLive = false;
  uint32_t RowsAffected = 0;
  int32_t MaxRowCount = -1;
  bool Distinct = false, HasAvg = false;
  uint16_t HiddenColumns = 0;
  bool HasExpressionColumns = false, MultipleSources = false, NoJoinOptimize = false;
  bool HasCondition = false, HasHaving = false, HasOrderBy = false, NoCase = false;
  uint8_t OrderByIndex = 255;
  bool GroupBy = false, IntoMemory = false, InsertFromSelect = false, WithLocks = false;
  std::string ResultTableName;
  std::vector<std::unique_ptr<TSourceTable>> Sources;
  std::vector<std::unique_ptr<TResultField>> ResultFields;
  std::vector<std::unique_ptr<TOrderByField>> OrderBy;
  std::vector<std::unique_ptr<TGroupByField>> GroupByFields;
  std::vector<std::unique_ptr<TUpdateField>> UpdateFields;
  std::vector<std::unique_ptr<TUpdateValue>> UpdateValues;
  std::vector<std::unique_ptr<TCreateField>> CreateFields;
  std::vector<std::unique_ptr<TCreateIndex>> CreateIndexes;
  TExpTree Where, Having;
  bool Encrypted = false;
  std::string Password;
  uint16_t LanguageId = 0, SortId = 0;
  bool LanguageGiven = false, SortGiven = false, EncryptedGiven = false;
  uint16_t BlobBlockSize = 512;
  bool BlobBlockSizeGiven = false;
  std::string Description;
  bool DescriptionGiven = false;
  uint16_t MajorVersion = 1, MinorVersion = 0;
  bool MajorGiven = false, MinorGiven = false;
  bool NoBackup = false;
  int64_t LastAutoInc = -1;
  std::string DropIndexName;
  bool NoAutoInc = false;
  uint32_t CommitInterval = 0;
  bool CommitIntervalGiven = false;
  TDataQuery* SubSelect = nullptr;  // INSERT … SELECT
  size_t SourceAt = 0;              // INSERT: where its VALUES or SELECT keyword starts

 private:
  TExpressionParser& P();
  [[noreturn]] void FailAt(const std::string& Head);
  // Fails with "<Word> keyword expected after <After> keyword, instead found '<token>'" unless
  // the current token is the keyword Word (the token is not consumed).
  void RequireKeyword(const char* Word, const char* After);
  bool Kw(const char* W);
  bool IsName();
  std::string TakeName();
  void ParseEnd(const char* KindName);
  TExpToken* Clause(const char* Context, const char* EmptyMessage, uint8_t Flags);
  int64_t NumberClause(const char* Context, const char* EmptyMessage);
  TSourceTable* ParseTableRef(const char* Head, bool Join, bool InsertSub);
  void AddWhere(TExpToken* Cond);
  void AddJoin(TSourceTable* From, TSourceTable* To, uint8_t Type, TExpToken* Condition);
  void ParseResultItem();
  void ParseColumnList(bool Order);
  void ParseLanguage();
  void ParseCommitOptions(bool AllowNoAutoInc);
  void ParseSimpleTable(const char* Head, const char* AfterMemory);
  void ParseColumnDef(TCreateField& F, bool Alter);
  bool ParsePrimaryKey(TCreateIndex& I, bool AfterModifiers);
  void ParseIndexColumns(TCreateIndex& I);
  void ParseCompress(TCreateIndex& I);
  void ParseTableOptions();
  void ParseInsert();
  void ParseInsertSource();
  void ParseUpdate();
  void ParseDelete();
  void ParseCreateTable();
  void ParseCreateIndex();
  void ParseAlterTable();
};

class TQueryStatement {
 public:
  explicit TQueryStatement(const std::string& OwnerDatabase = std::string());
  ~TQueryStatement();
  TQueryStatement(const TQueryStatement&) = delete;
  TQueryStatement& operator=(const TQueryStatement&) = delete;

  // Parses Text into the queries and collects the parameters; returns Consumed plus the characters
  // the parser read. Planning is done by the planning layer afterwards.
  uint32_t Parse(const std::string& Text, uint32_t& Consumed);
  // An INSERT … VALUES statement takes another text that is the same up to its VALUES keyword: the
  // values and the options after them are parsed from Text into the main query, as Parse would
  // read them. False, with the queries unchanged, when the statement is of another kind or Text
  // differs before that keyword.
  bool ParseValuesAgain(const std::string& Text);
  bool TakesValuesAgain() const { return !FValuesHead.empty(); }

  TDataQuery* MainQuery() const { return Queries.empty() ? nullptr : Queries.front().get(); }
  TDataQuery* NewSubQuery();
  void SetRequestLive(bool V) { if (MainQuery()) MainQuery()->RequestLive = V; }
  void SetMaxRowCount(int32_t V) { if (MainQuery()) MainQuery()->MaxRowCount = V; }
  uint32_t GetRowsAffected() const { return MainQuery() ? MainQuery()->RowsAffected : 0; }
  double GetExecutionTime() const { return MainQuery() ? MainQuery()->ExecutionTime : 0; }

  std::string OwnerDatabase;
  TExpressionParser Parser;
  std::vector<std::unique_ptr<TDataQuery>> Queries;
  std::vector<TExpToken*> Params;  // owned by the trees

 private:
  void CollectParameters();
  // The text of an INSERT … VALUES statement up to its VALUES keyword.
  std::string FValuesHead;
};

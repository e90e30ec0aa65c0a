// Planning and execution of parsed SQL statements. A TSQLExecutor owns one TQueryStatement and,
// for each of its queries, the plan: the source tables opened through cursors, the WHERE split into
// conditions tested as soon as the tables they name are positioned, the bound result, ORDER BY and
// GROUP BY columns, and the result table.
//
// A SELECT yields a canned result: a temporary table in the session's private directory (or the
// INTO table) that the executor keeps open and hands out as ResultCursor. Grouping, DISTINCT and
// ordering are done on the collected rows before they are written, so the result table's natural
// order is the query's order. When a live result is requested, a one-table SELECT of plain
// columns without grouping (its ORDER BY served by an index) yields the table's own cursor.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dbengine/sql/sql_statement.h"
#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_fields.h"

// The bytes of a cell. Numbers, dates and short strings stay inside it; longer values take memory
// of their own (kept when the cell is filled again), so that collecting rows allocates no memory
// per value.
class TCellBytes {
 public:
  TCellBytes() = default;
  TCellBytes(const TCellBytes& Other) { assign(Other.data(), Other.data() + Other.size()); }
  TCellBytes& operator=(const TCellBytes& Other) {
    if (this != &Other) assign(Other.data(), Other.data() + Other.size());
    return *this;
  }
  TCellBytes(TCellBytes&& Other) noexcept { *this = std::move(Other); }
  TCellBytes& operator=(TCellBytes&& Other) noexcept {
    if (this == &Other) return *this;
    Size_ = Other.Size_;
    std::memcpy(Inline_, Other.Inline_, kInline);
    Heap_ = std::move(Other.Heap_);
    Other.Size_ = 0;
    return *this;
  }

  size_t size() const { return Size_; }
  bool empty() const { return Size_ == 0; }
  uint8_t* data() { return Size_ > kInline ? Heap_.data() : Inline_; }
  const uint8_t* data() const { return Size_ > kInline ? Heap_.data() : Inline_; }
  uint8_t& operator[](size_t I) { return data()[I]; }
  const uint8_t& operator[](size_t I) const { return data()[I]; }
  void clear() { Size_ = 0; }
  // New bytes are zero.
  void resize(size_t N) {
    if (N > kInline) {
      if (Size_ <= kInline) Heap_.assign(Inline_, Inline_ + Size_);
      Heap_.resize(N, 0);
    } else {
      if (Size_ > kInline) std::memcpy(Inline_, Heap_.data(), N);
      if (N > Size_ && Size_ <= kInline) std::memset(Inline_ + Size_, 0, N - Size_);
    }
    Size_ = static_cast<uint32_t>(N);
  }
  void assign(const uint8_t* First, const uint8_t* Last) {
    const size_t N = static_cast<size_t>(Last - First);
    if (N > kInline)
      Heap_.assign(First, Last);
    else if (N)
      std::memmove(Inline_, First, N);
    Size_ = static_cast<uint32_t>(N);
  }
  void assign(size_t N, uint8_t Value) {
    if (N > kInline)
      Heap_.assign(N, Value);
    else
      std::memset(Inline_, Value, N);
    Size_ = static_cast<uint32_t>(N);
  }

 private:
  static constexpr size_t kInline = 16;
  uint32_t Size_ = 0;
  uint8_t Inline_[kInline] = {};
  std::vector<uint8_t> Heap_;  // the bytes when there are more than kInline
};

// One value of a result row: the type's encoding (strings zero-terminated) or NULL.
struct TSQLCell {
  bool Null = true;
  TCellBytes Bytes;
};
using TSQLRow = std::vector<TSQLCell>;

class TQueryPlan;

class TSQLExecutor {
 public:
  // Owner: the directory of the statement's database (tables without a path live there).
  explicit TSQLExecutor(TDataDirectory* Owner);
  ~TSQLExecutor();
  TSQLExecutor(const TSQLExecutor&) = delete;
  TSQLExecutor& operator=(const TSQLExecutor&) = delete;

  // Parses and plans Text (one statement). A second call starts over with a new statement.
  void Prepare(const std::string& Text);
  // Runs the prepared statement (again). A SELECT leaves its rows in ResultCursor.
  void Execute();
  // Prepare and Execute; returns RowsAffected.
  uint32_t ExecSQL(const std::string& Text);

  TQueryStatement* Statement() const { return FStatement.get(); }
  // The result of the last executed SELECT, positioned before its first row; owned here.
  TDataCursor* ResultCursor() const;
  // True when the SELECT's result is the source table's own cursor (live, editable, filtered by
  // the WHERE); it stays owned here.
  bool ResultIsLive() const;
  // Ask for a live result; applies to the statements prepared from now on.
  void SetRequestLive(bool Live) { FRequestLive = Live; }
  // Hands a canned result cursor to the caller, who closes and frees it (a result without INTO is a
  // temporary table that goes with its files) and then releases Directory through its session's
  // CloseDirectory. nullptr when there is none or the result is live.
  TDataCursor* TakeResultCursor(TDataDirectory*& Directory);
  uint32_t RowsAffected() const { return FStatement ? FStatement->GetRowsAffected() : 0; }
  double ExecutionTime() const { return FStatement ? FStatement->GetExecutionTime() : 0; }
  // The maximum number of result rows (-1: no limit), for the prepared statement and later ones.
  void SetMaxRowCount(int32_t N);
  // Copies parameter values into the parameters of the prepared statement, in their order: one
  // field descriptor each (type, subtype, physical size and scale, record offset) over Buffer,
  // which holds at that offset a has-value byte (1 = value) and the value; a BLOB value is a
  // 32-bit length followed by a pointer to the bytes. More descriptors than parameters raise
  // "Internal parameter error".
  void SetParams(const std::vector<std::array<uint8_t, 768>>& Descriptors, const uint8_t* Buffer);
  // Called per row of the row loops: (position, percent, abort).
  std::function<void(uint32_t, uint32_t, bool&)> OnProgress;
  // A result table without INTO whose values take fewer bytes than this lives in the in-memory
  // database; a bigger one is written to the session's private directory.
  size_t MemoryResultLimit = size_t(8) << 20;

  TDataDirectory* Owner() const { return FOwner; }
  TQueryPlan* PlanOf(const TDataQuery* Query) const;
  // While ExecSQL prepares a statement that only reads: its sources keep the read lock their opens
  // check the tables under until it has run, so that the statement reads one checked state of each
  // table without a second change check.
  bool HoldsSourceLocks() const { return FHoldSourceLocks; }

  // The creation settings of an in-memory result table without INTO, besides its fields.
  struct TResultShape {
    uint16_t Language = 0, Sort = 0, BlobBlockSize = 0, MajorVersion = 0, MinorVersion = 0;
    std::string Description;
    bool operator==(const TResultShape&) const = default;
  };
  // A private in-memory result table that no caller took is kept (emptied) when its statement
  // goes, so that a later result of the same shape refills it instead of creating a table: its
  // cursor, one reference to its directory, the result descriptors and settings it was made for,
  // and the cursor's fields right after it was created. It goes back and forth whole, moved.
  struct TKeptResult {
    TDataCursor* Cursor = nullptr;
    TDataDirectory* Directory = nullptr;
    std::vector<std::array<uint8_t, 768>> Fields;
    TResultShape Shape;
    std::vector<TFieldDescriptor> AsCreated;
  };
  void KeepResult(TKeptResult&& Kept);
  // The kept table made for Fields and Shape (Cursor nullptr when there is none, or the kept cursor
  // was changed since it was created).
  TKeptResult ReuseResult(const std::vector<std::array<uint8_t, 768>>& Fields, const TResultShape& Shape);
  // The source cursors of finished plans on tables of the owner's directory are kept, closed, for
  // the sources of the plans that follow: a cursor taken again comes with its buffers grown and
  // opens without allocating. Take hands out a kept one (or a new one for another directory, or
  // when none is kept); Return takes back a closed cursor of the plain kind Take hands out (a
  // cursor made over into a live result is not) and deletes it when enough are kept.
  TDataCursor* TakeSourceCursor(TDataDirectory* Directory);
  void ReturnSourceCursor(TDataCursor* Cursor);

 private:
  // Ends the prepared statement: its plans close their cursors and go with it, or an INSERT …
  // VALUES statement is kept.
  void Clear();
  // Gives up the read locks the sources kept from their opens.
  void ReleaseSourceLocks();
  // Declared before the statements whose plans return their cursors here, so that it goes last.
  static constexpr size_t kSpareCursors = 4;
  std::vector<std::unique_ptr<TDataCursor>> FSpareCursors;
  // INSERT … VALUES statements are kept with their plans, their targets closed, for the statements
  // that come later with the same text up to VALUES: such a statement is prepared by parsing its
  // values and options into the kept one and opening the target again (as long as the table's
  // definition is the one the plan was made for), not by parsing and planning it anew. A program
  // that inserts rows one statement at a time saves most of each statement's preparation.
  struct TKeptInsert {
    std::unique_ptr<TQueryStatement> Statement;
    std::unique_ptr<TQueryPlan> Plan;  // declared after its statement: it goes first
  };
  static constexpr size_t kKeptInserts = 8;
  std::vector<TKeptInsert> FInserts;  // the most recently used last
  bool FKeepStatement = false;        // the prepared statement is kept when the next one comes
  // Prepares Text through a kept statement; false when none takes it (a kept statement whose
  // values or target no longer fit goes: the full preparation then raises what is wrong).
  bool PrepareKept(const std::string& Text);
  void KeepStatement();
  static void DropKeptResult(TKeptResult& K);
  // A few shapes: a program alternates between a handful of statements.
  static constexpr size_t kKeptResults = 4;
  std::vector<TKeptResult> FKept;  // the most recently kept last
  TDataDirectory* FOwner;
  bool FRequestLive = false;
  bool FRunAtOnce = false, FHoldSourceLocks = false;
  int32_t FMaxRowCount = -1;
  std::unique_ptr<TQueryStatement> FStatement;
  std::vector<std::unique_ptr<TQueryPlan>> FPlans;  // one per query, in the statement's order
};

// Reads a result field of the current record of a cursor as text (NULL: empty); floats with
// enough digits to read back the same value. For tools and tests.
std::string SQLFieldText(TDataCursor* Cursor, int FieldNo, const uint8_t* Record);

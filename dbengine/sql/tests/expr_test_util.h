// Helpers of the expression tests: a compact text form of trees and values, and a small table
// layout with a record image.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "dbengine/sql/expr_check.h"
#include "dbengine/sql/expr_eval.h"
#include "dbengine/sql/expr_parser.h"
#include "dbengine/sql/expr_values.h"
#include "dbengine/storage/engine_decimal.h"
#include "dbengine/storage/engine_errors.h"

std::string DumpValue(const TExpToken* N);
std::string DumpTree(const TExpToken* N);

// Parses Text (flags, language) and returns the tree form or "!<message>" of an engine error or
// "!!<class>" of another exception. Rest receives the token left current.
std::string ParseToText(const std::string& Text, uint8_t Flags, uint16_t Language = 0, std::string* Rest = nullptr);

// Columns: Name CHAR(20), Qty INTEGER, Price FLOAT, Cost DECIMAL(10,2), Born DATE, At TIME, Stamp
// TIMESTAMP, Active BOOLEAN, W WORD, S SMALLINT, Smith CHAR(10), Memo BLOB(memo).
class TTestTable {
 public:
  TTestTable();
  std::vector<TFieldAccess> Fields;
  uint32_t RecordSize = 0;
  std::vector<uint8_t> NewRecord() const { return std::vector<uint8_t>(RecordSize, 0); }
  void SetString(std::vector<uint8_t>& R, const char* Name, const std::string& V) const;
  template <class T>
  void Set(std::vector<uint8_t>& R, const char* Name, T V) const {
    const TFieldAccess& F = Field(Name);
    R[F.Offset] = 1;
    std::memcpy(&R[F.Offset + 1], &V, sizeof(T));
  }
  const TFieldAccess& Field(const char* Name) const;
  // A record with every column filled (see the test file for the values).
  std::vector<uint8_t> Sample() const;

  TTypeCheckContext CheckContext(uint16_t Language = 0) const;
  TEvalContext EvalContext(uint16_t Language = 0) const;
  // Parses and checks a filter; raises what they raise.
  TExpToken* Checked(const std::string& Text, uint16_t Language = 0, bool Condition = true) const;
};

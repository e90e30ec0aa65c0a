// Test tables made straight through the engine's cursor (the components only open tables).
// Plain types only: the tests that include this also include the dataset framework.
#pragma once

#include <string>
#include <vector>

class TDataDirectory;

namespace comptest {

// Engine type codes of the columns the tests use.
enum : int { etString = 1, etDate = 2, etBlob = 3, etBoolean = 4, etSmallint = 5, etInteger = 6, etFloat = 7,
             etBCD = 8, etTime = 10, etTimeStamp = 11, etWord = 12 };
constexpr int kAutoInc = 29;
constexpr int kMemo = 22;

struct TTestField {
  std::string Name;
  int Type;
  int Size = 0;
  int SubType = 0;
  bool Required = false;
  int Scale = 0;
};

struct TTestIndex {
  std::string Name;
  std::vector<int> Fields;  // field numbers from 1; empty for a table without primary key
  bool Unique = false;
  bool CaseInsensitive = false;
};

// Creates Table in the folder Dir; Indexes[0] is the primary index. With a password the table is
// enciphered.
void CreateTestTable(const std::string& Dir, const std::string& Table, const std::vector<TTestField>& Fields,
                     const std::vector<TTestIndex>& Indexes, const std::string& Password = std::string());

// The same in an open directory of the components (a database's handle); with InMemory the table
// lives in memory and exists only while that directory is open.
void CreateTestTableIn(TDataDirectory* Directory, const std::string& Table, const std::vector<TTestField>& Fields,
                       const std::vector<TTestIndex>& Indexes, bool InMemory,
                       const std::string& Password = std::string());

// Filter texts compile through the expression library when the build has it; true then.
bool RegisterExpressions();
// Takes the expression compiler away until the object dies (the error of a build without it).
class TNoExpressionCompiler {
 public:
  TNoExpressionCompiler();
  ~TNoExpressionCompiler();
  TNoExpressionCompiler(const TNoExpressionCompiler&) = delete;
  TNoExpressionCompiler& operator=(const TNoExpressionCompiler&) = delete;

 private:
  void* FSaved;
};

}  // namespace comptest

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

#include "dbengine/storage/engine_errors.h"

namespace {

struct TExpectedMessage {
  uint16_t Code;
  int Decimal;
  const char* Text;  // filled with table "tab", field "fld", index "idx", message "msg"
};

const TExpectedMessage kExpected[] = {
    {0x2201, 8705, "Beginning of file encountered in table 'tab'"},
    {0x2202, 8706, "End of file encountered in table 'tab'"},
    {0x2204, 8708, "Record has been changed or deleted by another user, session, or table cursor in table 'tab'"},
    {0x2205, 8709, "No current record in table 'tab'"},
    {0x2206, 8710, "Record not found in table 'tab'"},
    {0x2207, 8711, "End of blob data in table 'tab' reached prematurely"},
    {0x2301, 8961, "Header information corrupt in table 'tab'"},
    {0x2302, 8962, "Data record buffers corrupt in table 'tab'"},
    {0x2303, 8963, "BLOB block buffers corrupt in table 'tab'"},
    {0x2305, 8965, "Index page buffers corrupt in table 'tab'"},
    {0x2401, 9217, "Error reading from table 'tab'"},
    {0x2402, 9218, "Error writing to table 'tab'"},
    {0x2404, 9220, "Cannot delete table 'tab'"},
    {0x2405, 9221, "Error accessing header information for table 'tab'"},
    {0x2505, 9477, "Maximum record size exceeded in table 'tab'"},
    {0x2507, 9479, "The table 'tab' is full and cannot contain any more data"},
    {0x250A, 9482, "Too many filters defined for table 'tab'"},
    {0x250F, 9487, "Maximum or minimum limits on number of indexes or fields in an index exceeded in table 'tab'"},
    {0x2514, 9492, "Maximum or minimum limits on number of fields, auto-increment field value, or field size exceeded in table 'tab'"},
    {0x2516, 9494, "Too many blobs opened in table 'tab'"},
    {0x251A, 9498, "Too many blob fields or invalid blob block size specified for table 'tab'"},
    {0x2601, 9729, "Duplicate key found in index 'idx' of table 'tab'"},
    {0x2602, 9730, "The value for the field 'fld' in table 'tab' is below the minimum allowable value"},
    {0x2603, 9731, "The value for the field 'fld' in table 'tab' is above the maximum allowable value"},
    {0x2604, 9732, "A value must be provided for the field 'fld' in table 'tab'"},
    {0x2701, 9985, "Invalid field number or name 'fld' specified for table 'tab'"},
    {0x2709, 9993, "A primary index is already defined for table 'tab' and cannot be added again"},
    {0x270E, 9998, "Invalid blob offset into table 'tab' specified"},
    {0x2710, 10000, "Invalid field definition specified for the field 'fld' in table 'tab'"},
    {0x2716, 10006, "Invalid default, min or max validity check, or expression specified for 'fld' in table 'tab'"},
    {0x271A, 10010, "The secondary index name is missing or not specified for table 'tab'"},
    {0x271F, 10015, "Password provided for table 'tab' is invalid"},
    {0x2726, 10022, "Invalid secondary index name 'idx' specified for table 'tab'"},
    {0x2727, 10023, "Invalid field number 'fld' specified in index 'idx' for table 'tab'"},
    {0x272A, 10026, "Invalid key size specified in index 'idx' for table 'tab'"},
    {0x272B, 10027, "The secondary index 'idx' already exists for table 'tab'"},
    {0x272D, 10029, "Invalid blob length in table 'tab'"},
    {0x272E, 10030, "Invalid blob handle for table 'tab' specified"},
    {0x272F, 10031, "table 'tab' is already in use"},
    {0x2736, 10038, "Invalid or duplicate field name 'fld' specified for table 'tab'"},
    {0x2742, 10050, "Invalid filter handle specified for table 'tab'"},
    {0x2743, 10051, "Filter error for table 'tab' - msg"},
    {0x2747, 10055, "The primary index cannot be removed from table 'tab'"},
    {0x2801, 10241, "The table 'tab' is already locked by another user"},
    {0x2802, 10242, "Cannot unlock table or record in table 'tab'"},
    {0x2809, 10249, "General lock failure with table 'tab'"},
    {0x280D, 10253, "table 'tab' must be opened exclusively"},
    {0x2812, 10258, "Record in table 'tab' is in use by another user"},
    {0x2902, 10498, "Insufficient rights to table 'tab', a password is required"},
    {0x2A01, 10753, "Invalid blob field 'fld' specified for table 'tab'"},
    {0x2A06, 10758, "Engine not initialized"},
    {0x2B02, 11010, "Invalid path or file name for table 'tab'"},
    {0x2B04, 11012, "Too many files open while attempting to open table 'tab'"},
    {0x2B05, 11013, "Access denied to table 'tab'"},
    {0x2B06, 11014, "Invalid file handle for table 'tab'"},
    {0x2B08, 11016, "There is insufficient operating system memory available for the current operation"},
    {0x2B09, 11017, "Invalid length for in-memory table 'tab'"},
    {0x2B0F, 11023, "Access denied to logical operating system device for table 'tab'"},
    {0x2B11, 11025, "table 'tab' has been moved"},
    {0x2B27, 11047, "An unknown operating system error occurred with table 'tab'"},
    {0x2EAD, 11949, "SQL error - msg"},
    {0x2F03, 12035, "table 'tab' is not the correct version"},
    {0x3004, 12292, "Invalid field type specified for index 'idx' in table 'tab'"},
    {0x3304, 13060, "The table 'tab' already exists"},
    {0x3E06, 15878, "The language driver for table 'tab' is not available or installed"},
};

TEST(EngineErrors, EveryCodeHasItsExactTextAndFillOrder) {
  ASSERT_EQ(EngineMessages().size(), std::size(kExpected));
  for (const auto& E : kExpected) {
    SCOPED_TRACE(E.Code);
    EXPECT_EQ(E.Code, E.Decimal);
    EXPECT_EQ(FormatEngineMessage(E.Code, "tab", "fld", "idx", "msg"), E.Text);
    try {
      RaiseEngineError(E.Code, "tab", "fld", "idx", "msg");
      FAIL() << "RaiseEngineError returned";
    } catch (const EVXDBEngineError& X) {
      EXPECT_EQ(X.Message(), "VXDB Engine Error # " + std::to_string(E.Decimal) + " " + E.Text);
      ASSERT_EQ(X.Errors.size(), 1u);
      EXPECT_EQ(X.Errors[0].Code, E.Code);
      EXPECT_EQ(X.Errors[0].Text, E.Text);
      EXPECT_EQ(X.ErrorCode(), E.Code);
      EXPECT_EQ(X.ClassName(), "EVXDBEngineError");
    }
  }
}

TEST(EngineErrors, RecordLockMessageIsBuiltExactly) {
  try {
    RaiseEngineError(ecRecordLocked, "student");
    FAIL();
  } catch (const Exception& X) {  // caught through the core base class
    EXPECT_EQ(X.Message(), "VXDB Engine Error # 10258 Record in table 'student' is in use by another user");
  }
}

TEST(EngineErrors, UnknownCodesUseTheTableNameOnly) {
  for (uint16_t Code : {uint16_t(0x2203), uint16_t(0), uint16_t(0xFFFF), uint16_t(0x2B03)}) {
    EXPECT_EQ(FindEngineMessage(Code), nullptr);
    EXPECT_EQ(FormatEngineMessage(Code, "student", "f", "i", "m"),
              "Unknown error occurred with table 'student'");
  }
}

TEST(EngineErrors, ContextIsClearedBetweenRaises) {
  try {
    RaiseEngineError(ecInvalidField, "A", "fieldOfA");
  } catch (const EVXDBEngineError&) {
  }
  EXPECT_EQ(EngineErrorContext().FieldName, "fieldOfA");
  try {
    RaiseEngineError(ecInvalidField, "B");
  } catch (const EVXDBEngineError& X) {
    EXPECT_EQ(X.Errors[0].Text, "Invalid field number or name '' specified for table 'B'");
  }
  TEngineErrorContext C = EngineErrorContext();
  EXPECT_EQ(C.Code, ecInvalidField);
  EXPECT_EQ(C.TableName, "B");
  EXPECT_EQ(C.FieldName, "");
  ClearEngineErrorContext();
  EXPECT_EQ(EngineErrorContext().Code, 0);
  EXPECT_EQ(EngineErrorMessage(ecTableFull), "The table '' is full and cannot contain any more data");
}

TEST(EngineErrors, NamesAndMessagesAreCut) {
  std::string Long(400, 'x');
  SetEngineErrorContext(ecSQLError, Long, Long, Long, Long);
  EXPECT_EQ(EngineErrorContext().TableName.size(), 255u);
  std::string Text = EngineErrorMessage(ecSQLError);
  EXPECT_EQ(Text.size(), 254u);
  EXPECT_EQ(Text.substr(0, 12), "SQL error - ");
  // A '%' in a name is kept literally and does not consume further names.
  EXPECT_EQ(FormatEngineMessage(ecKeyViolation, "t%s", "", "i%s", ""), "Duplicate key found in index 'i%s' of table 't%s'");
}

TEST(EngineErrors, ContextNeverNamesAnotherThreadsTable) {
  // Two threads raise on different tables in a tight loop; each message must name its own table.
  auto Worker = [](std::string Table, int* Bad) {
    for (int I = 0; I < 2000; ++I) {
      try {
        RaiseEngineError(ecRecordLocked, Table);
      } catch (const EVXDBEngineError& X) {
        if (X.Errors[0].Text.find("'" + Table + "'") == std::string::npos) ++*Bad;
      }
    }
  };
  int BadA = 0, BadB = 0;
  std::thread A(Worker, "alpha", &BadA), B(Worker, "beta", &BadB);
  A.join();
  B.join();
  EXPECT_EQ(BadA, 0);
  EXPECT_EQ(BadB, 0);
}

TEST(EngineErrors, ComponentMessagesById) {
  std::set<std::string> Seen;
  int Count = 0;
  for (int Id = 65180; Id < 65220; ++Id) {
    std::string T = ComponentMessage(Id);
    if (T.empty()) continue;
    ++Count;
    Seen.insert(T);
  }
  EXPECT_EQ(Count, 20);
  EXPECT_EQ(Seen.size(), 20u);
  EXPECT_EQ(ComponentMessage(SAutoSessionActive), "Cannot perform this operation on the active auto-session.");
  EXPECT_EQ(ComponentMessage(SNoTableName), "Missing table name.");
  EXPECT_EQ(ComponentMessage(SDuplicateDatabaseName), "Database name %s already exists.");
  EXPECT_EQ(ComponentMessage(SSessionActive), "Cannot perform this operation on an active session.");
  EXPECT_EQ(ComponentMessage(65195), "");
  EXPECT_EQ(ComponentMessage(65206), "");
}

}  // namespace

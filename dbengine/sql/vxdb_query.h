// The query component: one SQL statement whose ":name" parameters become "?" placeholders with a
// parameter list, prepared on the database's directory, run with the parameter values, and shown
// as a dataset over its result (the source table's own cursor for a live result, a result table
// in the session's private folder otherwise).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "dbengine/sql/query_bridge.h"
#include "dbengine/storage/components/vxdb_dataset.h"

class TVXDBQuery;

// Lets a data source supply the values of the query's parameters that were not set.
class TVXDBQueryDataLink : public TDataLink {
 public:
  explicit TVXDBQueryDataLink(TVXDBQuery* AQuery) : FQuery(AQuery) {}

 protected:
  void ActiveChanged() override;
  void RecordChanged(TField* Field) override;
  void CheckBrowseMode() override;
  TDataSet* GetDetailDataSet() override;

 private:
  TVXDBQuery* FQuery;
};

using TQueryProgressEvent =
    std::function<void(TObject* Sender, int CurrentRecord, uint16_t PercentDone, bool& AbortQuery)>;
using TQueryScriptErrorEvent = std::function<void(TObject* Sender, const Exception& E, bool& AbortScript)>;

class TVXDBQuery : public TVXDBDBDataSet {
 public:
  explicit TVXDBQuery(TComponent* AOwner);
  ~TVXDBQuery() override;
  std::string ClassName() const override { return "TVXDBQuery"; }

  std::string EngineVersion() const { return "2.08"; }
  void SetEngineVersion(const std::string&) {}
  TStrings* SQL() const { return FSQL; }
  // Takes the lines when their text differs (the query is disconnected first).
  void SetSQL(const TStrings* Lines);
  TStrings* SQLScript() const { return FSQLScript; }
  // The SQL text with every parameter replaced by "?".
  const std::string& Text() const { return FText; }
  TVXDBParams* Params() const { return FParams; }
  // Copies the values of the parameters of the same name.
  void SetParams(TVXDBParams* Value) { FParams->Assign(Value); }
  int ParamCount() const { return FParams->Count(); }
  // Without regard to case; "Parameter '%s' not found".
  TVXDBParam* ParamByName(const std::string& Name) const { return FParams->ParamByName(Name); }
  bool ParamCheck() const { return FParamCheck; }
  void SetParamCheck(bool Value) { FParamCheck = Value; }
  bool RequestLive() const { return FRequestLive; }
  void SetRequestLive(bool Value);
  int32_t MaxRowCount() const { return FMaxRowCount; }
  void SetMaxRowCount(int32_t Value);
  int32_t RowsAffected() const { return FRowsAffected; }
  double ExecutionTime() const { return FExecutionTime; }
  TDataSource* DataSource() const { return FDataLink->DataSource(); }
  void SetDataSource(TDataSource* Value);

  bool Prepared() const { return FPrepared; }
  void SetPrepared(bool Value);
  void Prepare() { SetPrepared(true); }
  void UnPrepare() { SetPrepared(false); }
  // Runs a statement that gives no rows to browse (INSERT, UPDATE, DELETE, table statements);
  // RowsAffected tells how many rows it touched. A SELECT's result is dropped.
  void ExecSQL();
  // Closes the query and frees its statement.
  void Disconnect() override;
  // Runs when the SQL text changes: parameters parsed again (keeping the values of those of the
  // same name), the statement freed.
  void QueryChanged();
  // The data source's record changed: the query is opened again with the new values.
  void RefreshParams();

  TQueryProgressEvent OnQueryProgress;
  TNotifyEvent OnSaveProgress;
  TQueryScriptErrorEvent OnScriptError;

 protected:
  TDataCursor* CreateHandle() override;
  void DestroyHandle() override;
  bool GetCanModify() override;
  TDataSource* GetDataSource() override { return FDataLink->DataSource(); }
  void SetDatabaseFlag(int Flag, bool Value) override;

 public:
  void SetDatabaseName(const std::string& Value) override;

 private:
  void CreateStatement();
  // Values of unset parameters from the data source's fields, then every value to the statement.
  void BindParams();
  void PassParams();
  // Prepares (when needed) and runs the statement under the session's engine lock.
  TQryResult Run();
  template <class F>
  auto Locked(F Body);

  TSQLExecutor* FStatement = nullptr;
  TStringList* FSQL;
  TStringList* FSQLScript;
  TVXDBParams* FParams;
  TVXDBQueryDataLink* FDataLink;
  std::string FText;
  TQryResult FResult;
  bool FPrepared = false;
  bool FRequestLive = false;
  bool FParamCheck = true;
  bool FInSetSQL = false;
  int32_t FMaxRowCount = -1;
  int32_t FRowsAffected = 0;
  double FExecutionTime = 0;
};

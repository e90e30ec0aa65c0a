#include "dbengine/sql/query_bridge.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "dbengine/sql/sql_exec.h"
#include "dbengine/sql/sql_plan.h"
#include "dbengine/storage/data_fields.h"
#include "dbengine/storage/data_session.h"
#include "dbengine/storage/engine_keys.h"

TSQLExecutor* QryNewStatement(TDataDirectory* Directory) { return new TSQLExecutor(Directory); }

void QryFreeStatement(TSQLExecutor*& Statement) {
  try {
    delete Statement;
  } catch (...) {
  }
  Statement = nullptr;
}

void QrySetRequestLive(TSQLExecutor* Statement, bool Live) { Statement->SetRequestLive(Live); }
void QrySetMaxRowCount(TSQLExecutor* Statement, int32_t N) { Statement->SetMaxRowCount(N); }
void QryPrepare(TSQLExecutor* Statement, const std::string& Text) { Statement->Prepare(Text); }

namespace {

void PutU16(uint8_t* P, uint32_t V) {
  P[0] = static_cast<uint8_t>(V & 0xFF);
  P[1] = static_cast<uint8_t>((V >> 8) & 0xFF);
}

}  // namespace

void QrySetParams(TSQLExecutor* Statement, const std::vector<TQryParamValue>& Params) {
  constexpr uint8_t kBlobType = 3;
  std::vector<std::array<uint8_t, 768>> Descs(Params.size());
  std::vector<uint8_t> Area;
  for (std::size_t I = 0; I < Params.size(); ++I) {
    const TQryParamValue& P = Params[I];
    // A BLOB value travels as its length and a pointer to its bytes, which stay alive in Params
    // until the statement has copied them.
    std::vector<uint8_t> Value;
    if (P.Type == kBlobType) {
      const uint32_t Length = static_cast<uint32_t>(P.Bytes.size());
      const uint8_t* Data = reinterpret_cast<const uint8_t*>(P.Bytes.data());
      Value.resize(4 + sizeof Data);
      std::memcpy(Value.data(), &Length, 4);
      std::memcpy(Value.data() + 4, &Data, sizeof Data);
    } else {
      Value.assign(P.Bytes.begin(), P.Bytes.end());
    }
    if (Area.size() + Value.size() + 1 > 0xFFFF) SQLFail("Parameter values are too large");
    std::array<uint8_t, 768>& D = Descs[I];
    D.fill(0);
    PutU16(D.data() + kFieldDescNumberOffset, static_cast<uint32_t>(I + 1));
    SetShortString(D.data() + kFieldDescNameOffset, 30, P.Name.substr(0, 30));
    D[kFieldDescTypeOffset] = P.Type;
    D[kFieldDescSubTypeOffset] = P.SubType;
    D[kFieldDescDeclaredSizeOffset] = static_cast<uint8_t>(std::min<std::size_t>(Value.size(), 255));
    D[kFieldDescDeclaredScaleOffset] = P.Scale;
    PutU16(D.data() + kFieldDescDataSizeOffset, static_cast<uint32_t>(Value.size()));
    D[kFieldDescDataScaleOffset] = P.Scale;
    PutU16(D.data() + kFieldDescRecordOffset, static_cast<uint32_t>(Area.size()));
    Area.push_back(P.Null ? 0 : 1);
    Area.insert(Area.end(), Value.begin(), Value.end());
  }
  Statement->SetParams(Descs, Area.data());
}

void QrySetProgressHandler(TSQLExecutor* Statement, std::function<void(uint32_t, uint32_t, bool&)> Handler) {
  Statement->OnProgress = std::move(Handler);
}

TQryResult QryExecute(TSQLExecutor* Statement) {
  Statement->Execute();
  TQryResult R;
  if (Statement->ResultCursor() == nullptr) return R;
  if (Statement->ResultIsLive()) {
    R.Cursor = Statement->ResultCursor();
    R.Live = true;
    return R;
  }
  R.Cursor = Statement->TakeResultCursor(R.Directory);
  return R;
}

void QryFreeResult(TQryResult& Result) {
  if (Result.Cursor != nullptr && !Result.Live) {
    try {
      if (Result.Cursor->Active) Result.Cursor->Close();
    } catch (...) {
    }
    delete Result.Cursor;
    if (Result.Directory != nullptr) {
      try {
        Result.Directory->Session->CloseDirectory(Result.Directory);
      } catch (...) {
      }
    }
  }
  Result = TQryResult();
}

uint32_t QryRowsAffected(TSQLExecutor* Statement) { return Statement->RowsAffected(); }
double QryExecutionTime(TSQLExecutor* Statement) { return Statement->ExecutionTime(); }

#include "tutor/core/DataModule.h"

#include "dbengine/sql/vxdb_query.h"

TDM* DM = nullptr;

TDM::TDM(TComponent* AOwner) : TDataModule(AOwner) {}
TDM::~TDM() = default;
void TDM::DataModuleCreate(TObject*) {}
void TDM::DBBeforeConnect(TObject*) {}
void TDM::VXSessionStartup(TObject*) {}
void TDM::Open() {}
void TDM::Close() {}
int TDM::Logon(int, int) { return -1; }
void TDM::Logout() {}
void TDM::Ping(bool, const std::string&, const std::string&, const std::string&) {}
void TDM::GetConfigParam(const std::string&, const std::string& Default, std::string& Value) { Value = Default; }
std::string TDM::GetParam(const std::string& Param, const std::string& Default) {
  std::string v;
  GetConfigParam(Param, Default, v);
  return v;
}
void TDM::Rollback() {}
bool TDM::HoldsSessionLock() { return false; }
void TDM::FSessionTimerOnTimer(TObject*) {}
void TDM::OpenTable(TVXDBTable*) {}
bool TDM::LocateOwnSessionRow() { return false; }
bool TDM::RelockOwnLocksRow() { return false; }
void TDM::ReleaseSessionRows() {}

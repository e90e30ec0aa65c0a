#include "tutor/app/tests/exercise_road_host.h"

#include "tutor/core/DataModule.h"

TTestHost::TTestHost(TComponent* AOwner) : TForm(AOwner) {
  SetBorderStyle(bsNone);
  SetBounds(0, 0, 800, 600);
  SetPageHost(this);
}

TTestHost::~TTestHost() {
  if (PageHost() == this) SetPageHost(nullptr);
  for (auto& [Id, Page] : FPages)
    if (Page) {
      Page->RemoveFreeNotification(this);
      delete Page;
    }
}

void TTestHost::Present(TForm* Page) {
  for (auto& [Id, P] : FPages)
    if (P && P != Page) P->SetVisible(false);
  Page->SetParent(this);
  Page->SetBounds(0, 0, 800, 600);
  Page->Show();
  FShown = Page;
}

void TTestHost::ShowPage(TPageId Page) {
  TForm*& Slot = FPages[Page];
  if (!Slot) {
    const TPageFactory* Make = FindPageFactory(Page);
    if (!Make) return;
    Slot = (*Make)();
    if (!Slot) return;
    Slot->FreeNotification(this);
  }
  Present(Slot);
}

TForm* TTestHost::FindPage(TPageId Page) const {
  auto It = FPages.find(Page);
  return It == FPages.end() ? nullptr : It->second;
}

void TTestHost::SetReturnPage(TForm* Page) {
  FReturn = Page;
  if (Page) Page->FreeNotification(this);
}

void TTestHost::ShowReturnPage() {
  if (FReturn) Present(FReturn);
}

void TTestHost::Ping(const std::string& Info1, const std::string& Info2, const std::string&) {
  Pings.push_back(Info1 + "|" + Info2);
  if (DM) DM->Ping(true, Info1, Info2, "");
}

int TTestHost::CurrentStudent() const { return DM && DM->SessionId != -1 ? DM->CurrentStudent : -1; }
int TTestHost::CurrentGroup() const { return DM && DM->SessionId != -1 ? DM->CurrentGroup : -1; }

void TTestHost::Notification(TComponent* AComponent, TOperation Operation) {
  TForm::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FReturn) FReturn = nullptr;
  if (AComponent == FShown) FShown = nullptr;
  for (auto& [Id, Page] : FPages)
    if (Page == AComponent) Page = nullptr;
}

#include "tutor/core/PageHost.h"

#include <map>

namespace {
TPageHost* gHost = nullptr;
std::map<TPageId, TPageFactory>& Factories() {
  static std::map<TPageId, TPageFactory> F;
  return F;
}
}  // namespace

void RegisterPageFactory(TPageId Page, TPageFactory Factory) { Factories()[Page] = std::move(Factory); }

const TPageFactory* FindPageFactory(TPageId Page) {
  auto It = Factories().find(Page);
  return It == Factories().end() || !It->second ? nullptr : &It->second;
}

const char* PageClassName(TPageId Page) {
  static const char* const Names[] = {"TMainForm",      "TSelectForm",       "TGameSelectForm", "TBomberTopTenForm",
                                      "TGalleryTopTenForm", "TStdLessonForm", "TOptionsForm",    "THelpForm",
                                      "TStatForm",      "TResultsForm",      "TScenarioForm",   "TStuddingForm",
                                      "TLessonHtmlForm", "TCertificateForm"};
  const auto I = static_cast<std::size_t>(Page);
  return I < std::size(Names) ? Names[I] : "?";
}

TPageHost* PageHost() { return gHost; }
void SetPageHost(TPageHost* Host) { gHost = Host; }

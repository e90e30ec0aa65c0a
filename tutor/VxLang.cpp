#include "tutor/VxLang.h"

#include "platform/core/inifiles.h"
#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

TVxLanguage::TVxLanguage(TComponent* AOwner) : TComponent(AOwner) {}

TVxLanguage::~TVxLanguage() {
  SetArchive(nullptr);
}

void TVxLanguage::SetArchive(TZLBArchive* Value) {
  if (Value == FArchive) return;
  if (FArchive) {
    FArchive->RemoveLinkedControl(this);
    RemoveFreeNotification(FArchive);
  }
  FArchive = Value;
  if (FArchive) {
    // The translator has nothing to reload when the archive changes: it reads the language file
    // at each pass. The link only tells the archive who uses it.
    FArchive->AddLinkedControl(this, nullptr);
    FreeNotification(FArchive);
  }
}

void TVxLanguage::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FArchive) FArchive = nullptr;
}

std::string TVxLanguage::Section() const {
  if (!FSection.empty()) return FSection;
  if (auto* Form = dynamic_cast<TForm*>(Owner())) return Form->Name();
  return std::string();
}

void TVxLanguage::SetSeparator(const std::string& V) {
  FSeparator = Trim(V).empty() ? std::string(",") : V;
}

void TVxLanguage::Loaded() {
  TComponent::Loaded();
  if (FAutoTranslate) Translate();
}

void TVxLanguage::Translate() {
  if (OnBeforeTranslation) OnBeforeTranslation(this);
  TMemIniFile Ini;
  if (FArchive) {
    try {
      TStringList Lines;
      FArchive->ExtractToStrings(&Lines, FLanguageFile);
      Ini.SetStrings(&Lines);
    } catch (const std::exception&) {
      // A missing archive or member translates nothing; the form keeps its own texts.
      Ini.Clear();
    }
  }
  const std::string Sect = Section();
  for (int i = 0; i < FProperties.Count(); ++i) {
    // Blanks around a line are not part of the key (the ini file's keys are trimmed too).
    const std::string Path = Trim(FProperties.Strings(i));
    if (Path.empty()) continue;
    TranslateProperty(Path, Ini.ReadString(Sect, Path, ""));
  }
  if (OnAfterTranslation) OnAfterTranslation(this);
}

void TVxLanguage::TranslateProperty(const std::string& Path, const std::string& Value) {
  std::string Prop;
  TComponent* Target = ResolvePropertyPath(Owner(), Path, Prop);
  if (!Target || Value.empty()) return;
  std::string NewValue = Value;
  if (OnTranslate) OnTranslate(this, Target, NewValue, GetPropertyText(Target, Prop), Trim(Path));
  SetPropertyText(Target, Prop, NewValue, FSeparator);
}

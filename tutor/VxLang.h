// The form translator: sets the texts of a form's components from the form's section of the
// language file ("translation.txt" of the main archive), so that no screen text is fixed in code.
//
// Language file: an ini file (CP1250) with one section per form, lines Component.Property=value.
// Properties lists the paths to translate, one a line ('EnterBtn.Caption', 'Panel1.Button2.Caption').
// A path is walked from the translator's owner through owned components by name (without regard
// to case); the last part is the property: string properties take the value as it is, integer
// properties its number (a bad number raises EConvertError), string lists the items of the value
// split at Separator, each trimmed. Unknown components or properties and empty values change
// nothing; a missing language file or member translates nothing and shows no error.
//
// A form built in code creates its translator, calls SetLoading(true) on it, sets it up, and calls
// SetLoading(false) when its components exist: with AutoTranslate set, that runs the pass.
#pragma once

#include <functional>
#include <string>

#include "platform/core/classes.h"
#include "tutor/ZLIBArchive.h"

class TVxLanguage : public TComponent {
 public:
  using TTranslateEvent = std::function<void(TObject* Sender, TComponent* Component, std::string& Value,
                                             const std::string& OldValue, const std::string& Path)>;

  explicit TVxLanguage(TComponent* AOwner);
  ~TVxLanguage() override;
  std::string ClassName() const override { return "TVxLanguage"; }

  // The archive holding the language file (not owned). Setting it links the translator to the new
  // archive and unlinks it from the old one.
  TZLBArchive* Archive() const { return FArchive; }
  void SetArchive(TZLBArchive* Value);
  bool AutoTranslate() const { return FAutoTranslate; }
  void SetAutoTranslate(bool V) { FAutoTranslate = V; }
  const std::string& LanguageFile() const { return FLanguageFile; }
  void SetLanguageFile(const std::string& V) { FLanguageFile = V; }
  TStrings* Properties() { return &FProperties; }
  void SetProperties(const TStrings* V) { FProperties.Assign(V); }
  // The section set, or else the owning form's name when the owner is a form.
  std::string Section() const;
  void SetSection(const std::string& V) { FSection = V; }
  const std::string& Separator() const { return FSeparator; }
  // An empty or blank separator restores ",".
  void SetSeparator(const std::string& V);

  // The translation pass over every line of Properties.
  void Translate();
  // Sets the property that Path names, from Value (the steps of one line of the pass).
  void TranslateProperty(const std::string& Path, const std::string& Value);

  TNotifyEvent OnBeforeTranslation;
  TNotifyEvent OnAfterTranslation;
  // Called before each property is set; may change Value.
  TTranslateEvent OnTranslate;

 protected:
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TZLBArchive* FArchive = nullptr;
  bool FAutoTranslate = false;
  std::string FLanguageFile;
  TStringList FProperties;
  std::string FSection;
  std::string FSeparator = ",";
};

// Common dialogs: file open and print setup.
#pragma once

#include <string>

#include "platform/gui/controls.h"

constexpr unsigned ofHideReadOnly = 4, ofAllowMultiSelect = 0x200, ofPathMustExist = 0x800,
                   ofFileMustExist = 0x1000, ofNoChangeDir = 8;

class TOpenDialog : public TComponent {
 public:
  explicit TOpenDialog(TComponent* AOwner);
  ~TOpenDialog() override;
  std::string Title;
  // "Text files (*.txt)|*.txt|All files (*.*)|*.*": description and masks in pairs.
  std::string Filter;
  int FilterIndex = 1;  // 1-based
  std::string InitialDir;
  std::string FileName;
  std::string DefaultExt;
  unsigned Options = ofHideReadOnly;
  // Shows the dialog modally; true when the user chose a file (FileName then holds it).
  bool Execute();
};

// The filter of the open dialog in Qt's "description (masks)" form, one entry per pair.
std::vector<std::string> ConvertDialogFilter(const std::string& filter);

enum TPrintRange { prAllPages, prSelection, prPageNums };

class TPrintDialog : public TComponent {
 public:
  explicit TPrintDialog(TComponent* AOwner);
  TPrintRange PrintRange = prAllPages;
  int FromPage = 0, ToPage = 0, MinPage = 0, MaxPage = 0;
  int Copies = 1;
  // Shows the print dialog; the printer chosen becomes the current Printer().
  bool Execute();
};

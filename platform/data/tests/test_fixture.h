// Shared pieces of the dataset tests: a people table and a recorder of events.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/data/tests/memory_dataset.h"

// A link that counts what it hears.
class TProbeLink : public TDataLink {
 public:
  int Changed = 0;
  int Scrolled = 0;
  int ActiveChanges = 0;
  std::vector<TField*> RecordChanges;

 protected:
  void ActiveChanged() override { ++ActiveChanges; }
  void DataSetChanged() override { ++Changed; }
  void DataSetScrolled(int) override { ++Scrolled; }
  void RecordChanged(TField* Field) override { RecordChanges.push_back(Field); }
};

inline TMemoryDataSet* NewPeople(TComponent* Owner, int Rows) {
  auto* ds = new TMemoryDataSet(Owner);
  ds->Columns = {{"ID", ftAutoInc, 0, true}, {"NAME", ftString, 20, true}, {"AGE", ftInteger, 0, false}};
  ds->Open();
  static const char* const Names[] = {"Ala", "Bartek", "Celina", "Darek", "Ewa", "Franek", "Gosia", "Henryk", "Iza", "Janek"};
  for (int i = 0; i < Rows; ++i) ds->AppendRecord({Variant::Null(), Names[i % 10], 20 + i});
  ds->First();
  return ds;
}

// Records the dataset's events in order.
inline void RecordEvents(TDataSet* ds, std::vector<std::string>* log) {
  auto on = [log](const char* name) { return [log, name](TDataSet*) { log->push_back(name); }; };
  ds->BeforeInsert = on("BeforeInsert");
  ds->AfterInsert = on("AfterInsert");
  ds->BeforeEdit = on("BeforeEdit");
  ds->AfterEdit = on("AfterEdit");
  ds->BeforePost = on("BeforePost");
  ds->AfterPost = on("AfterPost");
  ds->BeforeCancel = on("BeforeCancel");
  ds->AfterCancel = on("AfterCancel");
  ds->BeforeDelete = on("BeforeDelete");
  ds->AfterDelete = on("AfterDelete");
  ds->BeforeScroll = on("BeforeScroll");
  ds->AfterScroll = on("AfterScroll");
  ds->OnNewRecord = on("OnNewRecord");
}

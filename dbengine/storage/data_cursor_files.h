// The table files as a cursor reaches them: the file set of the open table (TTableFileSet) with
// its data file, index file and BLOB file.
#pragma once

#include "dbengine/storage/data_table.h"
#include "dbengine/storage/table_files.h"

// The file set of an open table; raises 0x2B06 when the table's files are not one.
TTableFileSet* TableFileAccess(TDataTable* Table);

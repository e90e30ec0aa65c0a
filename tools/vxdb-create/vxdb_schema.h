// The application's database: the tables, columns and indexes its data module and games open, the
// configuration rows it reads, and their creation through the engine's SQL.
#pragma once

#include <string>
#include <vector>

struct TVXDatabaseOptions {
  bool Overwrite = false;      // replace the tables of an existing directory
  std::string SharedGroup;     // a shared installation's group id ("id_group" and "group" rows)
  std::string GroupName;       // CP1250, at most 40 characters; empty: "Grupa " and the id
  unsigned short LanguageID = 1045;  // Polish, as the application's session uses
};

// The CREATE TABLE and CREATE INDEX statements, in order.
const std::vector<std::string>& VXSchemaStatements();
// The names of the tables, in creation order.
const std::vector<std::string>& VXSchemaTables();

// Creates the database in Dir (made when missing); a shared installation gets its group's row,
// dated today, so that students can be added to it. Raises an exception with a readable message
// when Dir already holds any of the tables and Overwrite is not set, when the group id or name
// cannot be stored, or when the engine fails.
void CreateVXDatabase(const std::string& Dir, const TVXDatabaseOptions& Options);

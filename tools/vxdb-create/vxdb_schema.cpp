#include "tools/vxdb-create/vxdb_schema.h"

#include <ctime>
#include <filesystem>
#include <memory>

#include "dbengine/sql/sql_exec.h"
#include "dbengine/storage/data_session.h"
#include "dbengine/storage/table_files.h"
#include "platform/core/sysutils.h"

const std::vector<std::string>& VXSchemaStatements() {
  // Reserved words among the names are bracketed. Left open by the application's own description
  // and fixed here: exercise has a COURSE column in its primary key (the course runner finds and
  // writes exercise rows by course), exercise.TYPE holds "Certificate", results.ID_PRACTICE is a
  // plain integer (the statistics saving writes the practice id into it).
  static const std::vector<std::string> S = {
      "CREATE TABLE [group] (ID_GROUP AUTOINC, NAME CHAR(40), [DATE] CHAR(10), PRIMARY KEY (ID_GROUP))",
      "CREATE TABLE student (ID_STUDENT AUTOINC NOT NULL, ID_GROUP INTEGER NOT NULL, NAME CHAR(45) NOT NULL, "
      "COURSE INTEGER, SEX CHAR(1) NOT NULL, PRIMARY KEY (ID_STUDENT, ID_GROUP))",
      "CREATE INDEX ID_GROUP ON student (ID_GROUP)",
      "CREATE TABLE practice (ID_PRACTICE AUTOINC, CPM FLOAT, [DATE] DATE, ID_GROUP INTEGER, ID_STUDENT INTEGER, "
      "PARAMETERS CHAR(200), [TYPE] CHAR(1), ID_LESSON INTEGER, [COUNT] INTEGER, ACCURACY FLOAT, VARIANCE FLOAT, "
      "ERRORS FLOAT, STDEV FLOAT, FILENAME CHAR(25), COMPLETED FLOAT, DURATION FLOAT, AVERR FLOAT, AVIDX FLOAT, "
      "[DESC] CHAR(100), PRIMARY KEY (ID_PRACTICE))",
      "CREATE INDEX ID_STUDENT ON practice (ID_STUDENT, ID_GROUP)",
      "CREATE INDEX ID_LESSON ON practice (ID_LESSON)",
      "CREATE TABLE statistics ([KEY] SMALLINT, ID_PRACTICE INTEGER, MISSED_KEY SMALLINT, DELAY FLOAT, "
      "ID_STATISTICS AUTOINC, PRIMARY KEY (ID_STATISTICS))",
      "CREATE INDEX ID_PRACTICE ON statistics (ID_PRACTICE)",
      "CREATE TABLE lesson (ID_STUDENT INTEGER, ID_LESSON INTEGER, NAME CHAR(40), [DATE] DATE, [TIME] TIME, "
      "STATE CHAR(1), COURSE CHAR(10) NOT NULL, PRIMARY KEY (ID_STUDENT, ID_LESSON, COURSE))",
      "CREATE INDEX ID_STUDENT ON lesson (ID_STUDENT)",
      "CREATE TABLE exercise (ID_STUDENT INTEGER, ID_LESSON INTEGER, ID_EXERCISE INTEGER, NAME CHAR(40), "
      "[NUMBER] CHAR(10), PARAMETERS CHAR(50), [TYPE] CHAR(12), [DATE] DATE, [TIME] TIME, STATE CHAR(1), "
      "COURSE CHAR(10), PRIMARY KEY (ID_EXERCISE, ID_STUDENT, ID_LESSON, COURSE))",
      "CREATE INDEX SK1 ON exercise (ID_STUDENT, ID_LESSON)",
      "CREATE TABLE statcalc (ID_PRACTICE INTEGER, [KEY] SMALLINT, CPM FLOAT, ACCURACY FLOAT, ERRORS FLOAT, "
      "[COUNT] FLOAT, STDEV FLOAT, VARIANCE FLOAT, ID_STUDENT INTEGER)",
      "CREATE INDEX ID_PRACTICE ON statcalc (ID_PRACTICE)",
      "CREATE TABLE netstat (ID_STUDENT INTEGER, ID_PRACTICE INTEGER, [KEY] SMALLINT, KEY_NAME CHAR(2), "
      "CNT INTEGER, CPM FLOAT, ACC FLOAT)",
      "CREATE INDEX netstat ON netstat (ID_STUDENT, ID_PRACTICE)",
      "CREATE TABLE course (ID_STUDENT INTEGER, ID_COURSE INTEGER, ID_LESSON INTEGER, ID_EXERCISE INTEGER, "
      "PRIMARY KEY (ID_STUDENT, ID_COURSE))",
      "CREATE TABLE config (PARAM CHAR(40), [VALUE] CHAR(250))",
      "CREATE TABLE results (ID_GROUP INTEGER, ID_STUDENT INTEGER, ID_PRACTICE INTEGER, CPM FLOAT, "
      "[DATE] TIMESTAMP, ACCURACY FLOAT, ERRORS FLOAT, DURATION FLOAT, PRIMARY KEY (ID_GROUP, ID_STUDENT))",
      "CREATE TABLE SESSIONS (ID_SESSION AUTOINC, ID_GROUP INTEGER, ID_STUDENT INTEGER, LOGON_TIME TIMESTAMP, "
      "PING_TIME TIMESTAMP, COMPUTER CHAR(15), LOGIN CHAR(50), INFO1 CHAR(100), INFO2 CHAR(100), "
      "INFO3 CHAR(100), PRIMARY KEY (ID_SESSION))",
      "CREATE INDEX ID_GROUP ON SESSIONS (ID_GROUP, ID_STUDENT)",
      "CREATE TABLE locks (ID_SESSION INTEGER, ID_STUDENT INTEGER, PRIMARY KEY (ID_SESSION))",
      "CREATE TABLE gallery (ID_STUDENT INTEGER, SCORE INTEGER)",
      "CREATE TABLE bomber (ID_STUDENT INTEGER, SCORE INTEGER)",
  };
  return S;
}

const std::vector<std::string>& VXSchemaTables() {
  static const std::vector<std::string> T = {"group",  "student", "practice", "statistics", "lesson",
                                             "exercise", "statcalc", "netstat", "course",   "config",
                                             "results", "SESSIONS", "locks",   "gallery",  "bomber"};
  return T;
}

void CreateVXDatabase(const std::string& Dir, const TVXDatabaseOptions& Options) {
  if (!Options.SharedGroup.empty()) {
    if (Options.SharedGroup.size() > 10 || Options.SharedGroup.find_first_not_of("0123456789") != std::string::npos ||
        std::stoll(Options.SharedGroup) < 1 || std::stoll(Options.SharedGroup) > 2147483647)
      throw Exception("The group id must be a number from 1 to 2147483647");
    if (Options.GroupName.size() > 40) throw Exception("The group name is longer than 40 characters");
  }
  if (!GetTableFilesFactory()) SetTableFilesFactory(MakeTableFiles);
  std::filesystem::create_directories(Dir);
  std::unique_ptr<TDataSession> Session(new TDataSession());
  Session->LanguageID = Options.LanguageID;
  Session->SortID = 0;
  Session->SetPrivateDir(std::filesystem::temp_directory_path().string());
  TDataDirectory* D = Session->OpenDirectory("data", Dir);
  {
    TSQLExecutor SQL(D);
    for (const std::string& T : VXSchemaTables()) {
      if (!D->TableExists(T, false)) continue;
      if (!Options.Overwrite)
        throw Exception("The directory " + Dir + " already holds the table " + T + " (use --force to replace it)");
      SQL.ExecSQL("DROP TABLE [" + T + "]");
    }
    for (const std::string& S : VXSchemaStatements()) SQL.ExecSQL(S);
    std::vector<std::pair<std::string, std::string>> Config = {
        {"course_enabled", "true"}, {"exercises_enabled", "true"}, {"games_enabled", "true"},
        {"results_enabled", "true"}, {"options_enabled", "true"},  {"students_enabled", "true"},
        {"help_enabled", "true"},   {"site_enabled", "true"},     {"allow_edit", "1"}};
    if (!Options.SharedGroup.empty()) {
      Config.emplace_back("id_group", Options.SharedGroup);
      Config.emplace_back("group", Options.SharedGroup);
    }
    for (auto& [Param, Value] : Config)
      SQL.ExecSQL("INSERT INTO config (PARAM, [VALUE]) VALUES ('" + Param + "', '" + Value + "')");
    if (!Options.SharedGroup.empty()) {
      // The logon dialog adds students only to a group that exists.
      const std::string Name = Options.GroupName.empty() ? "Grupa " + Options.SharedGroup : Options.GroupName;
      std::string Quoted;
      for (char Ch : Name) Quoted += Ch == '\'' ? std::string("''") : std::string(1, Ch);
      const std::time_t Now = std::time(nullptr);
      std::tm Local{};
      localtime_r(&Now, &Local);
      char Date[16];
      std::strftime(Date, sizeof Date, "%Y-%m-%d", &Local);
      SQL.ExecSQL("INSERT INTO [group] (ID_GROUP, NAME, [DATE]) VALUES (" + Options.SharedGroup + ", '" + Quoted +
                  "', '" + Date + "') NOAUTOINC");
    }
  }
  Session->CloseDirectory(D);
}

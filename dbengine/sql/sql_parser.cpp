// The SQL statement parser: turns the tokens of the statement's expression scanner into the
// clause records of its queries. Every expression goes to the expression parser.
#include <algorithm>
#include <cstdlib>

#include "dbengine/sql/sql_statement.h"
#include "dbengine/storage/collation.h"

namespace {
std::string Cut(const std::string& S) { return S.size() > 255 ? S.substr(0, 255) : S; }

std::string FilePart(const std::string& S) {
  size_t P = S.find_last_of("\\/:");
  return P == std::string::npos ? S : S.substr(P + 1);
}

std::string WithoutExtension(const std::string& S) {
  size_t P = S.rfind('.');
  return P == std::string::npos ? S : S.substr(0, P);
}

bool IsAggregate(const TExpToken* N) {
  return N && N->Kind == nkFunction &&
         (N->Code == fnSum || N->Code == fnCount || N->Code == fnMin || N->Code == fnMax || N->Code == fnAvg);
}

bool ContainsAggregate(const TExpToken* N) {
  if (!N) return false;
  if (IsAggregate(N)) return true;
  return ContainsAggregate(N->Operand1) || ContainsAggregate(N->Operand2) || ContainsAggregate(N->Operand3);
}

uint8_t AggregateKind(uint8_t Code) {
  switch (Code) {
    case fnSum: return 1;
    case fnMin: return 2;
    case fnMax: return 3;
    case fnAvg: return 4;
    default: return 5;
  }
}

void CollectParams(TExpToken* N, std::vector<TExpToken*>& Out) {
  if (!N) return;
  if (N->Parameter) Out.push_back(N);
  CollectParams(N->Operand1, Out);
  CollectParams(N->Operand2, Out);
  CollectParams(N->Operand3, Out);
}
}  // namespace

void TResultField::SetSourceName(const std::string& Name) {
  if (Name == SourceName) return;
  SourceName = Cut(Name);
  if (ResultName.empty() && Name != "*") ResultName = SourceName;
}

void TSourceTable::SetName(const std::string& Text, bool InMemory, const std::string& OwnerDatabase) {
  Memory = InMemory ? 1 : 0;
  if (InMemory) {
    TableName = Cut(FilePart(Text));
    DatabaseName = "Memory";
  } else if (Text.find_first_of(":\\") != std::string::npos) {
    size_t P = Text.find_last_of("\\/:");
    TableName = Cut(Text.substr(P + 1));
    DatabaseName = Cut(Text.substr(0, P + 1));
  } else {
    TableName = Cut(Text);
    DatabaseName = OwnerDatabase;
  }
  if (CorrelationName.empty()) CorrelationName = Cut(WithoutExtension(FilePart(Text)));
}

TDataQuery::TDataQuery(TQueryStatement* Owner, bool SubQuery) : Owner(Owner), SubQuery(SubQuery) {}

void TDataQuery::Reset() {
  Kind = 0;
  Distinct = HasAvg = HasExpressionColumns = MultipleSources = NoJoinOptimize = false;
  HiddenColumns = 0;
  HasCondition = HasHaving = HasOrderBy = NoCase = GroupBy = IntoMemory = InsertFromSelect = WithLocks = false;
  OrderByIndex = 255;
  ResultTableName.clear();
  Encrypted = EncryptedGiven = LanguageGiven = SortGiven = false;
  Password.clear();
  LanguageId = SortId = 0;
  BlobBlockSize = 512;
  BlobBlockSizeGiven = DescriptionGiven = MajorGiven = MinorGiven = false;
  Description.clear();
  MajorVersion = 1;
  MinorVersion = 0;
  NoBackup = false;
  LastAutoInc = -1;
  DropIndexName.clear();
  NoAutoInc = false;
  CommitInterval = 0;
  CommitIntervalGiven = false;
  RowsAffected = 0;
}

TExpressionParser& TDataQuery::P() { return Owner->Parser; }

void TDataQuery::FailAt(const std::string& Head) { P().Fail(Head + P().TokenText() + "'"); }

void TDataQuery::RequireKeyword(const char* Word, const char* After) {
  if (!Kw(Word)) FailAt(std::string(Word) + " keyword expected after " + After + " keyword, instead found '");
}

bool TDataQuery::Kw(const char* W) { return P().TokenKind() == tkIdentifier && P().IsKeyword(W); }

bool TDataQuery::IsName() {
  uint8_t K = P().TokenKind();
  return K == tkIdentifier || K == tkBracketed || K == tkString;
}

std::string TDataQuery::TakeName() {
  // Strings and bracketed names give their contents (the scanner strips the quotes).
  std::string S = P().TokenText();
  P().NextToken();
  return Cut(S);
}

void TDataQuery::ParseEnd(const char* KindName) {
  if (P().IsSymbol(';')) P().NextToken();
  if (P().TokenKind() != tkEnd)
    FailAt(std::string("End of ") + KindName + " statement expected, instead found '");
}

TExpToken* TDataQuery::Clause(const char* Context, const char* EmptyMessage, uint8_t Flags) {
  P().Context = Context;
  if (P().TokenKind() == tkEnd || P().IsSymbol(';') || P().IsSymbol(')') || P().IsSymbol(','))
    P().Fail(EmptyMessage);
  return P().ParseExpression(Flags);
}

int64_t TDataQuery::NumberClause(const char* Context, const char* EmptyMessage) {
  P().Context = Context;
  if (P().TokenKind() == tkEnd || P().IsSymbol(';') || P().IsSymbol(')') || P().IsSymbol(','))
    P().Fail(EmptyMessage);
  bool Negative = false;
  if (P().IsSymbol('-')) {
    Negative = true;
    P().NextToken();
  }
  if (P().TokenKind() != tkInteger) P().Fail(std::string("Integer constant expected in ") + Context);
  std::string T = P().TokenText();
  if (T.size() > 12) P().Fail(std::string("Integer constant expected in ") + Context);
  int64_t V = std::strtoll(T.c_str(), nullptr, 10);
  P().NextToken();
  return Negative ? -V : V;
}

void TSourceTable::AddJoin(TSourceTable* Target, uint8_t Type, TExpToken* Condition) {
  TExpTree Cond(Condition);
  for (auto& J : Joins)
    if (J->Target == Target && (J->JoinType == Type || J->JoinType == 0)) {
      // Several conditions towards one table form one condition joined with AND.
      TExpToken* And = GetExpToken();
      And->Kind = nkBinary;
      And->Code = opAnd;
      And->DataType = ftBoolean;
      And->Operand1 = J->Condition.Release();
      And->Operand2 = Cond.Release();
      if (And->Operand1) And->Operand1->Parent = And;
      And->Operand2->Parent = And;
      J->Condition.Reset(And);
      if (J->JoinType == 0) J->JoinType = Type;
      return;
    }
  auto J = std::make_unique<TTableJoin>();
  J->Owner = this;
  J->JoinType = Type;
  J->Target = Target;
  J->Condition.Reset(Cond.Release());
  Joins.push_back(std::move(J));
}

void TDataQuery::AddJoin(TSourceTable* From, TSourceTable* To, uint8_t Type, TExpToken* Condition) {
  From->AddJoin(To, Type, Condition);
}

void TDataQuery::AddWhere(TExpToken* Cond) {
  if (!Where.Get()) {
    Where.Reset(Cond);
    return;
  }
  TExpToken* And = GetExpToken();
  And->Kind = nkBinary;
  And->Code = opAnd;
  And->DataType = ftBoolean;
  And->Operand1 = Where.Release();
  And->Operand2 = Cond;
  And->Operand1->Parent = And;
  Cond->Parent = And;
  Where.Reset(And);
}

void TDataQuery::Parse() {
  Reset();
  if (Kw("SELECT")) {
    ParseSelect();
    if (!SubQuery) ParseEnd("SELECT");
  } else if (Kw("INSERT")) {
    ParseInsert();
  } else if (Kw("UPDATE")) {
    ParseUpdate();
  } else if (Kw("DELETE")) {
    ParseDelete();
  } else if (Kw("CREATE")) {
    P().NextToken();
    if (Kw("TABLE")) ParseCreateTable();
    else if (Kw("INDEX") || Kw("UNIQUE") || Kw("ASC") || Kw("ASCENDING") || Kw("DESC") || Kw("DESCENDING") || Kw("NOCASE"))
      ParseCreateIndex();
    else FailAt("TABLE or INDEX keyword expected, instead found '");
  } else if (Kw("ALTER")) {
    P().NextToken();
    if (!Kw("TABLE")) FailAt("TABLE keyword expected, instead found '");
    ParseAlterTable();
  } else if (Kw("DROP")) {
    P().NextToken();
    if (Kw("TABLE")) {
      Kind = skDropTable;
      P().NextToken();
      ParseSimpleTable("Table name expected after TABLE keyword, instead found '", "Table name expected after TABLE keyword, instead found '");
      ParseEnd("DROP TABLE");
    } else if (Kw("INDEX")) {
      Kind = skDropIndex;
      P().NextToken();
      bool Mem = false;
      if (Kw("MEMORY")) { Mem = true; P().NextToken(); }
      if (!IsName()) FailAt("Table name expected after INDEX keyword, instead found '");
      TExpTree N(Clause("index name expression", "Index name expression is empty", 0));
      auto S = std::make_unique<TSourceTable>();
      S->Query = this;
      S->Position = 1;
      std::string Table = N->Kind == nkColumn ? N->CorrelationName : std::string();
      std::string Index = N->Kind == nkColumn ? N->ColumnName : N->Text;
      S->SetName(Table, Mem, Owner->OwnerDatabase);
      DropIndexName = Cut(Index);
      Sources.push_back(std::move(S));
      ParseEnd("DROP INDEX");
    } else FailAt("TABLE or INDEX keyword expected, instead found '");
  } else {
    FailAt("SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER, or DROP keyword expected, instead found '");
  }
}

TSourceTable* TDataQuery::ParseTableRef(const char* Head, bool Join, bool InsertSub) {
  bool Mem = false;
  if (Kw("MEMORY")) { Mem = true; P().NextToken(); }
  if (!IsName()) FailAt(Head);
  std::string Name = TakeName();
  auto S = std::make_unique<TSourceTable>();
  S->Query = this;
  if (Kw("AS")) {
    P().NextToken();
    if (!IsName()) FailAt("Symbol or string expected after AS keyword, instead found '");
    S->CorrelationName = TakeName();
  } else if (IsName()) {
    static const char* Stop[] = {"LEFT", "RIGHT", "INNER", "JOIN", "WHERE", "ORDER", "GROUP", "HAVING", "WITH",
                                 "ENCRYPTED", "FULL", "ON"};
    bool Stopped = false;
    if (P().TokenKind() == tkIdentifier) {
      for (const char* W : Stop)
        if ((!Join || std::string(W) == "ON" || true) && Kw(W)) Stopped = true;
      if (!Join && Kw("ON")) Stopped = false;
      if (InsertSub && (Kw("NOAUTOINC") || Kw("COMMIT"))) Stopped = true;
    }
    if (!Stopped) S->CorrelationName = TakeName();
  }
  S->SetName(Name, Mem, Owner->OwnerDatabase);
  for (auto& O : Sources)
    if (SameText(O->CorrelationName, S->CorrelationName))
      P().Fail("Duplicate table correlation name '" + S->CorrelationName + "'" + " found in source tables");
  TSourceTable* R = S.get();
  Sources.push_back(std::move(S));
  return R;
}

void TDataQuery::ParseResultItem() {
  P().MarkPosition();
  auto F = std::make_unique<TResultField>();
  F->Query = this;
  F->Expression.Reset(Clause("source column expression", "Source column expression is empty",
                             pfAggregates | pfAllColumns | pfPredicates));
  TExpToken* N = F->Expression.Get();
  if (IsAggregate(N)) {
    F->Aggregate = AggregateKind(N->Code);
    if (F->Aggregate == 4) HasAvg = true;
    if (ContainsAggregate(N->Operand1)) P().Fail("Aggregate functions cannot be nested");
    if (N->Operand1 && N->Operand1->Kind == nkColumn) {
      if (N->Operand1->ColumnName == "*") F->CountAll = true;
      F->CorrelationName = N->Operand1->CorrelationName;
      F->SourceName = N->Operand1->ColumnName;
    } else if (!N->Operand1) {
      F->CountAll = true;
    }
    F->ExpressionText = P().MarkedText();
  } else if (N->Kind == nkColumn) {
    F->CorrelationName = N->CorrelationName;
    F->SetSourceName(N->ColumnName);
  } else {
    if (ContainsAggregate(N)) P().Fail("Aggregate functions cannot be used within expressions");
    F->IsExpression = true;
    F->ExpressionText = P().MarkedText();
    HasExpressionColumns = true;
  }
  if (Kw("AS")) {
    P().NextToken();
    if (!IsName() && P().TokenKind() != tkInteger) FailAt("Symbol or string expected after AS keyword, instead found '");
    F->ResultName = TakeName();
    if (P().IsSymbol('.')) {
      P().NextToken();
      if (!IsName()) FailAt("Symbol or string expected after table correlation name, instead found '");
      F->ResultName = TakeName();
    }
    F->NameGenerated = false;
  } else if (IsName() && !Kw("INTO") && !Kw("FROM")) {
    F->ResultName = TakeName();
    if (P().IsSymbol('.')) {
      P().NextToken();
      if (!IsName()) FailAt("Symbol or string expected after table correlation name, instead found '");
      F->ResultName = TakeName();
    }
    F->NameGenerated = false;
  }
  ResultFields.push_back(std::move(F));
}

void TDataQuery::ParseColumnList(bool Order) {
  const char* Msg = Order ? "Column name or column number expected in ORDER BY clause, instead found '"
                          : "Column name or column number expected in GROUP BY clause, instead found '";
  for (;;) {
    std::string Name, Corr;
    uint16_t No = 0;
    if (P().TokenKind() == tkInteger) {
      long V = std::strtol(P().TokenText().c_str(), nullptr, 10);
      if (V < 1 || V > 65535) FailAt(Msg);
      No = static_cast<uint16_t>(V);
      P().NextToken();
    } else if (IsName()) {
      Name = TakeName();
      if (P().IsSymbol('.')) {
        P().NextToken();
        if (!IsName()) FailAt(Msg);
        Corr = Name;
        Name = TakeName();
      }
    } else {
      FailAt(Msg);
    }
    if (Order) {
      auto O = std::make_unique<TOrderByField>();
      O->Query = this;
      O->ColumnName = Name;
      O->CorrelationName = Corr;
      O->ColumnNo = No;
      if (Kw("ASC") || Kw("ASCENDING")) P().NextToken();
      else if (Kw("DESC") || Kw("DESCENDING")) { O->Descending = 1; P().NextToken(); }
      OrderBy.push_back(std::move(O));
    } else {
      auto G = std::make_unique<TGroupByField>();
      G->Query = this;
      G->ColumnName = Name;
      G->CorrelationName = Corr;
      G->ColumnNo = No;
      GroupByFields.push_back(std::move(G));
    }
    if (!P().IsSymbol(',')) break;
    P().NextToken();
  }
}

void TDataQuery::ParseLanguage() {
  P().NextToken();
  std::string L = P().TokenKind() == tkString ? TakeName() : std::string();
  if (!IsValidLanguageName(L)) P().Fail("Invalid language constant '" + L + "'" + " specified after LANGUAGE keyword");
  LanguageId = LanguageIdFromName(L);
  LanguageGiven = true;
  if (Kw("SORT")) {
    P().NextToken();
    std::string S = P().TokenKind() == tkString ? TakeName() : std::string();
    if (!IsValidSortName(LanguageId, S)) P().Fail("Invalid sort constant '" + S + "'" + " specified after SORT keyword");
    SortId = SortIdFromName(LanguageId, S);
    SortGiven = true;
  }
}

void TDataQuery::ParseSelect() {
  Kind = skSelect;
  P().NextToken();
  if (Kw("ALL")) P().NextToken();
  if (Kw("DISTINCT")) { Distinct = true; P().NextToken(); }
  for (;;) {
    ParseResultItem();
    if (!P().IsSymbol(',')) break;
    P().NextToken();
  }
  if (Kw("INTO")) {
    RequestLive = false;
    P().NextToken();
    if (Kw("MEMORY")) {
      IntoMemory = true;
      P().NextToken();
      if (!IsName()) FailAt("Result table name expected in INTO MEMORY clause, instead found '");
    } else if (!IsName()) {
      FailAt("Result table name expected in INTO clause, instead found '");
    }
    ResultTableName = TakeName();
  }
  if (!Kw("FROM")) FailAt("FROM keyword expected, instead found '");
  P().NextToken();
  bool InsertSub = SubQuery && Owner->MainQuery() && Owner->MainQuery()->Kind == skInsert;
  for (;;) {
    TSourceTable* Left = ParseTableRef("Table name expected after FROM keyword, instead found '", false, InsertSub);
    for (;;) {
      uint8_t Type;
      if (Kw("JOIN")) Type = 1;
      else if (Kw("INNER")) {
        P().NextToken();
        RequireKeyword("JOIN", "INNER");
        Type = 1;
      } else if (Kw("LEFT") || Kw("RIGHT")) {
        Type = Kw("LEFT") ? 2 : 3;
        P().NextToken();
        if (Kw("OUTER")) P().NextToken();
        if (!Kw("JOIN"))
          FailAt(Type == 2 ? "JOIN keyword expected after LEFT or OUTER keyword, instead found '"
                           : "JOIN keyword expected after RIGHT or OUTER keyword, instead found '");
      } else if (Kw("FULL")) {
        P().Fail("Full outer joins are currently not supported in VXDB SQL SELECT statements");
      } else break;
      P().NextToken();
      TSourceTable* Right = ParseTableRef("Table name expected after JOIN keyword, instead found '", true, InsertSub);
      if (Type == 3) {
        // The right-joined table drives: it goes in front of the source list.
        auto It = Sources.end() - 1;
        std::unique_ptr<TSourceTable> Moved = std::move(*It);
        Sources.erase(It);
        Sources.insert(Sources.begin(), std::move(Moved));
      }
      if (!Kw("ON")) FailAt("ON keyword expected in JOIN clause, instead found '");
      P().NextToken();
      TExpToken* Cond = Clause("WHERE or JOIN clause", "WHERE or JOIN clause is empty", pfPredicates | pfParameters);
      AddJoin(Left, Right, Type, CopyExpression(Cond));
      AddWhere(Cond);
      MultipleSources = true;
      HasCondition = true;
      Left = Right;
    }
    if (!P().IsSymbol(',')) break;
    MultipleSources = true;
    P().NextToken();
  }
  for (size_t I = 0; I < Sources.size(); ++I) Sources[I]->Position = static_cast<uint16_t>(I + 1);
  if (Kw("WHERE")) {
    P().NextToken();
    AddWhere(Clause("WHERE or JOIN clause", "WHERE or JOIN clause is empty", pfPredicates | pfParameters | pfSubSelects));
    HasCondition = true;
  }
  if (Kw("GROUP")) {
    P().NextToken();
    RequireKeyword("BY", "GROUP");
    P().NextToken();
    ParseColumnList(false);
    GroupBy = true;
  }
  if (Kw("HAVING")) {
    P().NextToken();
    Having.Reset(Clause("HAVING clause", "HAVING clause is empty", pfAggregates));
    HasHaving = true;
  }
  if (Kw("ORDER")) {
    P().NextToken();
    RequireKeyword("BY", "ORDER");
    P().NextToken();
    ParseColumnList(true);
    HasOrderBy = true;
    if (Kw("NOCASE")) { NoCase = true; P().NextToken(); }
  }
  if (Kw("WITH")) {
    P().NextToken();
    RequireKeyword("LOCKS", "WITH");
    WithLocks = true;
    P().NextToken();
  }
  if (Kw("LANGUAGE")) ParseLanguage();
  if (Kw("ENCRYPTED")) {
    P().NextToken();
    RequireKeyword("WITH", "ENCRYPTED");
    P().NextToken();
    Password = P().TokenKind() == tkString ? TakeName() : std::string();
    Encrypted = !Password.empty();
    EncryptedGiven = true;
  }
  if (Kw("NOJOINOPTIMIZE")) { NoJoinOptimize = true; P().NextToken(); }
}

void TDataQuery::ParseCommitOptions(bool AllowNoAutoInc) {
  if (AllowNoAutoInc && Kw("NOAUTOINC")) { NoAutoInc = true; P().NextToken(); }
  if (Kw("COMMIT")) {
    P().NextToken();
    RequireKeyword("INTERVAL", "COMMIT");
    P().NextToken();
    int64_t N = NumberClause("commit interval", "Commit interval is empty");
    if (N < 1 || N > 0xFFFFFFFFLL)
      P().Fail("COMMIT INTERVAL specified (" + std::to_string(N) + ") is invalid, it must be " + "greater than 0");
    CommitInterval = static_cast<uint32_t>(N);
    CommitIntervalGiven = true;
  }
}

void TDataQuery::ParseSimpleTable(const char* Head, const char* AfterMemory) {
  bool Mem = false;
  if (Kw("MEMORY")) { Mem = true; P().NextToken(); }
  if (!IsName()) FailAt(Mem ? AfterMemory : Head);
  auto S = std::make_unique<TSourceTable>();
  S->Query = this;
  S->Position = 1;
  S->SetName(TakeName(), Mem, Owner->OwnerDatabase);
  Sources.push_back(std::move(S));
}

void TDataQuery::ParseInsert() {
  Kind = skInsert;
  RequestLive = true;
  P().NextToken();
  if (!Kw("INTO")) FailAt("INTO keyword expected, instead found '");
  P().NextToken();
  ParseSimpleTable("Table name expected after INTO keyword, instead found '", "Table name expected after INTO clause, instead found '");
  if (IsName() && !Kw("VALUES") && !Kw("SELECT")) Sources.back()->CorrelationName = TakeName();
  if (P().IsSymbol('(')) {
    P().NextToken();
    for (;;) {
      auto F = std::make_unique<TUpdateField>();
      F->Query = this;
      P().Context = "table column";
      if (P().TokenKind() == tkEnd || P().IsSymbol(')') || P().IsSymbol(',') || P().IsSymbol('='))
        P().Fail("Table column name is empty");
      F->Expression.Reset(P().ParsePrimary(0));
      F->ColumnName = F->Expression->Kind == nkColumn ? F->Expression->ColumnName : F->Expression->Text;
      F->CorrelationName = F->Expression->CorrelationName;
      F->Table = Sources.back().get();
      UpdateFields.push_back(std::move(F));
      if (!P().IsSymbol(',')) break;
      P().NextToken();
    }
    if (!P().IsSymbol(')')) FailAt("Right parentheses expected after list of table columns, instead found '");
    P().NextToken();
  } else {
    auto F = std::make_unique<TUpdateField>();
    F->Query = this;
    F->ColumnName = "*";
    F->Table = Sources.back().get();
    UpdateFields.push_back(std::move(F));
  }
  SourceAt = static_cast<size_t>(P().GetPosition());
  ParseInsertSource();
}

void TDataQuery::ParseValuesAgain() {
  NoAutoInc = false;
  CommitInterval = 0;
  CommitIntervalGiven = false;
  RowsAffected = 0;
  ParseInsertSource();
}

void TDataQuery::ParseInsertSource() {
  if (Kw("VALUES")) {
    P().NextToken();
    if (!P().IsSymbol('(')) FailAt("Left parentheses expected after VALUES keyword, instead found '");
    P().NextToken();
    // A list parsed again takes the places of the values before it.
    size_t Count = 0;
    for (;;) {
      if (Count == UpdateValues.size()) {
        UpdateValues.push_back(std::make_unique<TUpdateValue>());
        UpdateValues.back()->Query = this;
      }
      TUpdateValue& V = *UpdateValues[Count++];
      P().MarkPosition();
      V.Expression.Reset(Clause("value expression", "Value expression is empty", pfParameters));
      V.Text = P().MarkedText();
      if (!P().IsSymbol(',')) break;
      P().NextToken();
    }
    UpdateValues.resize(Count);
    if (!P().IsSymbol(')')) FailAt("Right parentheses expected after list of values, instead found '");
    P().NextToken();
  } else if (Kw("SELECT")) {
    InsertFromSelect = true;
    TDataQuery* Q = Owner->NewSubQuery();
    Q->Reset();
    Q->RequestLive = true;
    Q->ParseSelect();
    SubSelect = Q;
  } else {
    FailAt("VALUES or SELECT  keyword expected, instead found '");
  }
  ParseCommitOptions(true);
  ParseEnd("INSERT");
}

void TDataQuery::ParseUpdate() {
  Kind = skUpdate;
  RequestLive = true;
  P().NextToken();
  ParseSimpleTable("Table name expected, instead found '", "Table name expected, instead found '");
  if (Kw("AS")) {
    P().NextToken();
    if (!IsName()) FailAt("Symbol or string expected after AS keyword, instead found '");
    Sources.back()->CorrelationName = TakeName();
  } else if (IsName() && !Kw("SET")) {
    Sources.back()->CorrelationName = TakeName();
  }
  if (!Kw("SET")) FailAt("SET keyword expected, instead found '");
  P().NextToken();
  for (;;) {
    auto F = std::make_unique<TUpdateField>();
    F->Query = this;
    F->Table = Sources.back().get();
    P().Context = "table column";
      if (P().TokenKind() == tkEnd || P().IsSymbol(')') || P().IsSymbol(',') || P().IsSymbol('='))
        P().Fail("Table column name is empty");
      F->Expression.Reset(P().ParsePrimary(0));
    F->ColumnName = F->Expression->Kind == nkColumn ? F->Expression->ColumnName : F->Expression->Text;
    F->CorrelationName = F->Expression->CorrelationName;
    UpdateFields.push_back(std::move(F));
    if (!P().IsSymbol('=')) FailAt("Assignment (=) operator expected after column name, instead found '");
    P().NextToken();
    auto V = std::make_unique<TUpdateValue>();
    V->Query = this;
    P().MarkPosition();
    V->Expression.Reset(Clause("value expression", "Value expression is empty", pfParameters));
    V->Text = P().MarkedText();
    UpdateValues.push_back(std::move(V));
    if (!P().IsSymbol(',')) break;
    P().NextToken();
  }
  if (Kw("WHERE")) {
    P().NextToken();
    AddWhere(Clause("WHERE or JOIN clause", "WHERE or JOIN clause is empty", pfPredicates | pfParameters | pfSubSelects));
    HasCondition = true;
  }
  ParseCommitOptions(true);
  ParseEnd("UPDATE");
}

void TDataQuery::ParseDelete() {
  Kind = skDelete;
  RequestLive = true;
  P().NextToken();
  if (!Kw("FROM")) FailAt("FROM keyword expected, instead found '");
  P().NextToken();
  ParseSimpleTable("Table name expected, instead found '", "Table name expected, instead found '");
  if (Kw("AS")) {
    P().NextToken();
    if (!IsName()) FailAt("Symbol or string expected after AS keyword, instead found '");
    Sources.back()->CorrelationName = TakeName();
  } else if (IsName() && !Kw("WHERE") && !Kw("NOJOINOPTIMIZE") && !Kw("COMMIT")) {
    Sources.back()->CorrelationName = TakeName();
  }
  if (Kw("WHERE")) {
    P().NextToken();
    AddWhere(Clause("WHERE or JOIN clause", "WHERE or JOIN clause is empty", pfPredicates | pfParameters | pfSubSelects));
    HasCondition = true;
  }
  if (Kw("NOJOINOPTIMIZE")) { NoJoinOptimize = true; P().NextToken(); }
  ParseCommitOptions(false);
  ParseEnd("DELETE");
}

void TDataQuery::ParseColumnDef(TCreateField& F, bool Alter) {
  F.Query = this;
  if (!IsName()) FailAt("Column name expected, instead found '");
  F.Name = TakeName();
  F.Definition.Reset(GetExpToken());
  P().Context = "column definition";
  P().ParseDataTypeKeyword(F.Definition.Get(), 0, Alter && F.Redefine);
  F.DataType = F.Definition->DataType;
  F.SubType = F.Definition->SubType;
  // The type's arguments hang as a chain on the definition node: size, then scale.
  auto Arg = [](const TExpToken* A) -> long {
    if (!A || A->Kind != nkConstant) return 0;
    long V = std::strtol(A->Text.c_str(), nullptr, 10);
    return V < 0 ? 0 : (V > 0xFFFF ? 0xFFFF : V);
  };
  const TExpToken* SizeArg = F.Definition->Operand2;
  F.Size = static_cast<uint32_t>(Arg(SizeArg));
  F.Scale = static_cast<uint8_t>(SizeArg ? std::min<long>(Arg(SizeArg->Operand2), 255) : 0);
  auto Value = [&](std::string& Text, bool& Given) {
    P().NextToken();
    Text = P().TokenKind() == tkString ? TakeName() : (P().NextToken(), std::string());
    Given = true;
  };
  if (Kw("DESCRIPTION")) Value(F.Description, F.DescriptionGiven);
  if (Kw("NOT")) {
    P().NextToken();
    RequireKeyword("NULL", "NOT");
    P().NextToken();
    F.NotNull = F.NotNullGiven = true;
  }
  auto Token = [&](std::string& Text, bool& Given) {
    P().NextToken();
    if (P().TokenKind() == tkEnd) FailAt("Value expected, instead found '");
    Text = (P().TokenKind() == tkString) ? TakeName() : P().TokenText();
    if (P().TokenKind() != tkEnd && Text == P().TokenText()) P().NextToken();
    Given = true;
  };
  if (Kw("DEFAULT")) Token(F.DefaultText, F.DefaultGiven);
  if (Kw("MIN") || Kw("MINIMUM")) Token(F.MinText, F.MinGiven);
  if (Kw("MAX") || Kw("MAXIMUM")) Token(F.MaxText, F.MaxGiven);
  if (Kw("CHARCASE")) {
    P().NextToken();
    if (Kw("UPPER")) F.CharCase = 2;
    else if (Kw("LOWER")) F.CharCase = 1;
    else if (Kw("NOCHANGE")) F.CharCase = 0;
    else FailAt("UPPER, LOWER, or NOCHANGE keyword expected after CHARCASE keyword, instead found '");
    F.CharCaseGiven = true;
    P().NextToken();
  }
  (void)Value;
}

void TDataQuery::ParseIndexColumns(TCreateIndex& I) {
  if (!P().IsSymbol('(')) FailAt("Left parentheses expected after KEY keyword, instead found '");
  P().NextToken();
  for (;;) {
    P().Context = "index column";
    if (P().TokenKind() == tkEnd || P().IsSymbol(')') || P().IsSymbol(',')) P().Fail("Index column name is empty");
    TExpTree N(P().ParsePrimary(0));
    if (N->Kind == nkConstant && !N->Parameter && N->DataType == ftString) I.Columns.push_back(N->AsString());
    else I.Columns.push_back(N->Kind == nkColumn ? N->ColumnName : N->Text);
    if (!P().IsSymbol(',')) break;
    P().NextToken();
  }
  if (!P().IsSymbol(')')) FailAt("Right parentheses expected after primary key clause, instead found '");
  P().NextToken();
}

void TDataQuery::ParseCompress(TCreateIndex& I) {
  if (!Kw("COMPRESS")) return;
  P().NextToken();
  if (Kw("NONE")) I.Compression = 0;
  else if (Kw("DUPBYTE")) I.Compression = 1;
  else if (Kw("TRAILBYTE")) I.Compression = 2;
  else if (Kw("FULL")) I.Compression = 3;
  else FailAt("FULL, DUPBYTE, TRAILBYTE, or NONE keyword expected after COMPRESS keyword, instead found '");
  P().NextToken();
}

bool TDataQuery::ParsePrimaryKey(TCreateIndex& I, bool) {
  if (Kw("CONSTRAINT")) {
    P().NextToken();
    if (!IsName()) FailAt("PRIMARY keyword expected, instead found '");
    I.Name = TakeName();
  }
  if (Kw("UNIQUE")) { I.Unique = true; P().NextToken(); }
  if (Kw("ASC") || Kw("ASCENDING")) P().NextToken();
  else if (Kw("DESC") || Kw("DESCENDING")) { I.Descending = true; P().NextToken(); }
  if (Kw("NOCASE")) { I.NoCase = true; P().NextToken(); }
  if (!Kw("PRIMARY")) FailAt("PRIMARY keyword expected, instead found '");
  P().NextToken();
  RequireKeyword("KEY", "PRIMARY");
  P().NextToken();
  ParseIndexColumns(I);
  ParseCompress(I);
  return true;
}

void TDataQuery::ParseTableOptions() {
  if (Kw("DESCRIPTION")) {
    P().NextToken();
    Description = P().TokenKind() == tkString ? TakeName() : std::string();
    DescriptionGiven = true;
  }
  if (Kw("BLOB")) {
    P().NextToken();
    RequireKeyword("BLOCK", "BLOB");
    P().NextToken();
    RequireKeyword("SIZE", "BLOCK");
    P().NextToken();
    BlobBlockSize = static_cast<uint16_t>(NumberClause("BLOB block size", "BLOB block size is empty"));
    BlobBlockSizeGiven = true;
  }
  if (Kw("LANGUAGE")) ParseLanguage();
  if (Kw("ENCRYPTED")) {
    P().NextToken();
    RequireKeyword("WITH", "ENCRYPTED");
    P().NextToken();
    Password = P().TokenKind() == tkString ? TakeName() : std::string();
    Encrypted = !Password.empty();
    EncryptedGiven = true;
  }
  while (Kw("USER")) {
    P().NextToken();
    bool Major = Kw("MAJOR");
    if (!Major && !Kw("MINOR")) FailAt(MajorGiven ? "MINOR keyword expected after USER keyword, instead found '"
                                                  : "MAJOR keyword expected after USER keyword, instead found '");
    P().NextToken();
    if (!Kw("VERSION")) FailAt(Major ? "VERSION keyword expected after MAJOR keyword, instead found '"
                                     : "VERSION keyword expected after MINOR keyword, instead found '");
    P().NextToken();
    uint16_t V = static_cast<uint16_t>(NumberClause("user version number", "User version number is empty"));
    if (Major) { MajorVersion = V; MajorGiven = true; } else { MinorVersion = V; MinorGiven = true; }
  }
}

void TDataQuery::ParseCreateTable() {
  Kind = skCreateTable;
  P().NextToken();
  ParseSimpleTable("Table name expected after CREATE TABLE keywords, instead found '", "Table name expected, instead found '");
  if (!P().IsSymbol('(')) FailAt("Left parentheses expected before list of table columns, instead found '");
  P().NextToken();
  static const char* Stops[] = {"CONSTRAINT", "PRIMARY", "UNIQUE", "ASC", "ASCENDING", "DESC", "DESCENDING", "NOCASE",
                                "DESCRIPTION", "BLOB", "LANGUAGE", "ENCRYPTED", "USER"};
  auto AtStop = [&] {
    if (P().IsSymbol(')')) return true;
    for (const char* W : Stops) if (Kw(W)) return true;
    return false;
  };
  bool First = true;
  while (!AtStop()) {
    if (!First) {
      if (!P().IsSymbol(',')) break;
      P().NextToken();
      if (AtStop()) break;
    }
    auto F = std::make_unique<TCreateField>();
    ParseColumnDef(*F, false);
    F->FieldNo = static_cast<uint16_t>(CreateFields.size() + 1);
    CreateFields.push_back(std::move(F));
    First = false;
  }
  if (Kw("CONSTRAINT") || Kw("PRIMARY") || Kw("UNIQUE") || Kw("ASC") || Kw("ASCENDING") || Kw("DESC") ||
      Kw("DESCENDING") || Kw("NOCASE")) {
    auto I = std::make_unique<TCreateIndex>();
    I->Query = this;
    ParsePrimaryKey(*I, false);
    CreateIndexes.push_back(std::move(I));
    if (P().IsSymbol(',')) P().NextToken();
  }
  ParseTableOptions();
  if (!P().IsSymbol(')')) FailAt("Right parentheses expected after CREATE TABLE statement, instead found '");
  P().NextToken();
  ParseEnd("CREATE TABLE");
}

void TDataQuery::ParseCreateIndex() {
  Kind = skCreateIndex;
  auto I = std::make_unique<TCreateIndex>();
  I->Query = this;
  if (Kw("UNIQUE")) { I->Unique = true; P().NextToken(); }
  if (Kw("ASC") || Kw("ASCENDING")) P().NextToken();
  else if (Kw("DESC") || Kw("DESCENDING")) { I->Descending = true; P().NextToken(); }
  if (Kw("NOCASE")) { I->NoCase = true; P().NextToken(); }
  if (!Kw("INDEX")) FailAt("INDEX keyword expected, instead found '");
  P().NextToken();
  if (!IsName()) FailAt("Index name expected after INDEX keyword, instead found '");
  I->Name = TakeName();
  if (!Kw("ON")) FailAt("ON keyword expected after index name, instead found '");
  P().NextToken();
  ParseSimpleTable("Table name expected after ON keyword, instead found '", "Table name expected, instead found '");
  ParseIndexColumns(*I);
  ParseCompress(*I);
  CreateIndexes.push_back(std::move(I));
  ParseEnd("CREATE INDEX");
}

void TDataQuery::ParseAlterTable() {
  Kind = skAlterTable;
  P().NextToken();
  ParseSimpleTable("Table name expected after ALTER TABLE keywords, instead found '", "Table name expected, instead found '");
  for (;;) {
    bool Add = Kw("ADD"), Redef = Kw("REDEFINE"), Drop = Kw("DROP");
    if (!Add && !Redef && !Drop) FailAt("ADD, DROP, or REDEFINE keyword expected, instead found '");
    P().NextToken();
    bool KeyClause = Kw("CONSTRAINT") || Kw("PRIMARY") || Kw("UNIQUE") || Kw("ASC") || Kw("ASCENDING") ||
                     Kw("DESC") || Kw("DESCENDING") || Kw("NOCASE");
    if (KeyClause) {
      auto I = std::make_unique<TCreateIndex>();
      I->Query = this;
      I->Add = Add;
      I->Redefine = Redef;
      I->Drop = Drop;
      if (Drop) {
        if (Kw("CONSTRAINT")) { P().NextToken(); if (IsName()) I->Name = TakeName(); }
        if (!Kw("PRIMARY")) FailAt("PRIMARY keyword expected, instead found '");
        P().NextToken();
        RequireKeyword("KEY", "PRIMARY");
        P().NextToken();
      } else {
        ParsePrimaryKey(*I, false);
      }
      CreateIndexes.push_back(std::move(I));
    } else {
      if (Kw("COLUMN")) P().NextToken();
      auto F = std::make_unique<TCreateField>();
      F->Query = this;
      F->Add = Add;
      F->Redefine = Redef;
      F->Drop = Drop;
      if (Drop) {
        if (!IsName()) FailAt("Column name expected, instead found '");
        F->Name = TakeName();
      } else {
        if (Redef) {
          if (!IsName()) FailAt("Column name expected, instead found '");
          F->OldName = TakeName();
        }
        ParseColumnDef(*F, true);
        if (Kw("AT")) {
          P().NextToken();
          F->AtPosition = static_cast<int32_t>(NumberClause("column position", "column position is empty"));
        }
      }
      CreateFields.push_back(std::move(F));
    }
    if (!P().IsSymbol(',')) break;
    P().NextToken();
  }
  ParseTableOptions();
  if (Kw("LAST")) {
    P().NextToken();
    RequireKeyword("AUTOINC", "LAST");
    P().NextToken();
    LastAutoInc = NumberClause("next auto-increment number", "Next auto-increment number is empty");
  }
  if (Kw("NOBACKUP")) { NoBackup = true; P().NextToken(); }
  ParseEnd("ALTER TABLE");
}

TQueryStatement::TQueryStatement(const std::string& OwnerDatabase) : OwnerDatabase(OwnerDatabase) {
  Queries.push_back(std::make_unique<TDataQuery>(this, false));
  Parser.OnParseSubSelect = [this](TExpressionParser&) -> TDataQuery* {
    TDataQuery* Q = NewSubQuery();
    Q->Reset();
    Q->ParseSelect();
    return Q;
  };
}

TQueryStatement::~TQueryStatement() {
  while (!Queries.empty()) Queries.pop_back();
}

TDataQuery* TQueryStatement::NewSubQuery() {
  Queries.push_back(std::make_unique<TDataQuery>(this, true));
  return Queries.back().get();
}

uint32_t TQueryStatement::Parse(const std::string& Text, uint32_t& Consumed) {
  Parser.ErrorCode = kSQLErrorCode;
  Parser.SetText(Text);
  Parser.NextToken();
  FValuesHead.clear();
  MainQuery()->Parse();
  CollectParameters();
  const TDataQuery* Q = MainQuery();
  if (Q->Kind == skInsert && !Q->InsertFromSelect && Queries.size() == 1) FValuesHead = Text.substr(0, Q->SourceAt);
  Consumed += static_cast<uint32_t>(Parser.GetPosition());
  return Consumed;
}

bool TQueryStatement::ParseValuesAgain(const std::string& Text) {
  const size_t At = FValuesHead.size();
  if (At == 0 || Text.size() <= At || Text.compare(0, At, FValuesHead) != 0) return false;
  // The same bytes up to the keyword scan into the same tokens: the keyword stands where it stood.
  Parser.SetText(Text);
  Parser.ScanFrom(At);
  if (!Parser.IsKeyword("VALUES")) return false;
  MainQuery()->ParseValuesAgain();
  CollectParameters();
  return true;
}

void TQueryStatement::CollectParameters() {
  Params.clear();
  for (auto& Q : Queries) {
    CollectParams(Q->Where.Get(), Params);
    for (auto& V : Q->UpdateValues) CollectParams(V->Expression.Get(), Params);
  }
}

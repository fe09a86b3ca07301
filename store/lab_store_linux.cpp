// The lab store on a PostgreSQL server through libpq (lab_store_linux.h).
//
// One connection per opened store, in autocommit: an import is one INSERT … RETURNING, which the
// server runs as a transaction of its own, so the table gains the whole row or nothing also when
// the connection or the server dies on the way. The history streams in libpq's single-row mode, so
// memory stays flat whatever the table holds.
#include "store/lab_store_linux.h"

#include <libpq-fe.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "app/afx.h"

namespace {

// The schema init-store makes. Every name is fixed here, so no text from outside reaches SQL.
constexpr const char* kStampFunctionBody =
    "\nBEGIN\n"
    "  NEW.imported_by := session_user;\n"
    "  IF NEW.copied_from IS NULL THEN\n"
    "    NEW.imported_at := now();\n"
    "  END IF;\n"
    "  RETURN NEW;\n"
    "END\n";
constexpr const char* kKeepFunctionBody =
    "\nBEGIN\n"
    "  RAISE EXCEPTION 'rows of table1 are never changed or deleted' USING ERRCODE = 'insufficient_privilege';\n"
    "END\n";

// How long a connection may take unless the location says otherwise, in seconds.
constexpr const char* kConnectTimeout = "10";

std::string Quoted(const char* column) { return std::string("\"") + column + "\""; }

// The eleven parameter columns as SQL, in table order, separated by ", ".
std::string ParameterColumnList() {
  std::string list;
  for (const char* column : kParameterColumns) list += (list.empty() ? "" : ", ") + Quoted(column);
  return list;
}

// The quality columns as SQL, in table order, separated by ", ".
std::string QualityColumnList() {
  std::string list;
  for (const char* column : kQualityColumns) list += (list.empty() ? "" : ", ") + Quoted(column);
  return list;
}

// What a read gives, in this order: the parameters, the time (UTC, as the program writes it), the
// source, the role and the workstation.
std::string ReadColumns() {
  return ParameterColumnList() +
         ", to_char(imported_at AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'), source, imported_by, "
         "workstation, " + QualityColumnList();
}

std::vector<std::string> CreateStatements() {
  std::string table = "CREATE TABLE table1 (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY";
  for (const char* column : kParameterColumns) table += ", " + Quoted(column) + " text";
  table +=
      ", imported_at timestamp with time zone, source text, imported_by text NOT NULL, workstation text NOT NULL,"
      " copied_from text UNIQUE";
  for (const char* column : kQualityColumns) table += ", " + Quoted(column) + " text";
  table += ")";
  return {
      table,
      // The current set: the newest row of one workstation is the first entry of its range.
      "CREATE INDEX table1_current ON table1 (workstation, imported_at DESC NULLS LAST, id DESC)",
      "CREATE INDEX table1_history ON table1 (imported_at NULLS FIRST, id)",
      std::string("CREATE FUNCTION table1_stamp() RETURNS trigger LANGUAGE plpgsql SET search_path = pg_catalog AS $q$") +
          kStampFunctionBody + "$q$",
      std::string("CREATE FUNCTION table1_keep() RETURNS trigger LANGUAGE plpgsql SET search_path = pg_catalog AS $q$") +
          kKeepFunctionBody + "$q$",
      "CREATE TRIGGER table1_stamp BEFORE INSERT ON table1 FOR EACH ROW EXECUTE FUNCTION table1_stamp()",
      "CREATE TRIGGER table1_keep BEFORE UPDATE OR DELETE OR TRUNCATE ON table1 FOR EACH STATEMENT "
      "EXECUTE FUNCTION table1_keep()",
      // Also for a session that replicates (session_replication_role), which skips ordinary triggers.
      "ALTER TABLE table1 ENABLE ALWAYS TRIGGER table1_stamp",
      "ALTER TABLE table1 ENABLE ALWAYS TRIGGER table1_keep",
      "DO $q$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'qelmora_member') THEN "
      "CREATE ROLE qelmora_member NOLOGIN; END IF; END $q$",
      "REVOKE ALL ON table1 FROM PUBLIC",
      "GRANT SELECT, INSERT ON table1 TO qelmora_member",
      "DO $q$ BEGIN EXECUTE format('GRANT USAGE ON SCHEMA %I TO qelmora_member', current_schema()); END $q$",
  };
}

// The facts of table1 that the schema check compares, each a text the server forms from its
// catalogs, and what init-store's table gives for each. The table is the one "table1" names on
// this connection; its schema's name is left out of the definitions.
struct SchemaFact {
  const char* what;  // named in the message when it differs
  const char* query;
  const char* expected;
};

// Each fact costs a fresh server process a catalog's first read, so there are few: what pg_class
// says of the table (rules, row security, inheritance, check constraints), the columns, the indexes,
// the triggers with their functions' whole definitions, and who may do what.
const std::array<SchemaFact, 5> kSchemaFacts = {{
    {"表的种类",
     "t.relkind::text || ' ' || t.relrowsecurity || ' ' || t.relforcerowsecurity || ' ' || t.relhasrules || ' ' || "
     "t.relhassubclass || ' ' || t.relispartition || ' ' || t.relchecks",
     "r false false false false false 0"},
    {"列",
     "(SELECT string_agg(a.attname || ' ' || format_type(a.atttypid, a.atttypmod)"
     " || CASE WHEN a.attnotnull THEN ' not null' ELSE '' END"
     " || CASE a.attidentity WHEN 'a' THEN ' always identity' WHEN 'd' THEN ' identity' ELSE '' END"
     " || CASE WHEN a.atthasdef THEN ' default' ELSE '' END"
     " || CASE WHEN a.attgenerated <> '' THEN ' generated' ELSE '' END"
     " || CASE WHEN a.attacl IS NULL THEN '' ELSE ' acl' END"
     " || CASE WHEN a.attcollation IN (0, 100) THEN '' ELSE ' collation' END, ',' ORDER BY a.attnum)"
     " FROM pg_attribute a WHERE a.attrelid = t.oid AND a.attnum > 0 AND NOT a.attisdropped)",
     nullptr},  // ExpectedColumns()
    // The key and the unique column are indexes too; a foreign key would add triggers, an exclusion
    // constraint an index, a check constraint is counted above.
    {"索引",
     "(SELECT string_agg(replace(pg_get_indexdef(i.indexrelid), ' ON ' || quote_ident(t.nspname) || '.', ' ON ')"
     " || CASE WHEN i.indisvalid AND i.indisready THEN '' ELSE ' invalid' END, ';' ORDER BY i.indexrelid::regclass::text)"
     " FROM pg_index i WHERE i.indrelid = t.oid)",
     "CREATE UNIQUE INDEX table1_copied_from_key ON table1 USING btree (copied_from);"
     "CREATE INDEX table1_current ON table1 USING btree (workstation, imported_at DESC NULLS LAST, id DESC);"
     "CREATE INDEX table1_history ON table1 USING btree (imported_at NULLS FIRST, id);"
     "CREATE UNIQUE INDEX table1_pkey ON table1 USING btree (id)"},
    // A function of another schema keeps its schema's name in its definition, and so differs.
    {"触发器",
     "(SELECT string_agg(g.tgname || ' ' || g.tgtype || ' ' || g.tgenabled::text || ' ' || g.tgnargs || ' ' ||"
     " (g.tgqual IS NULL) || ' ' || replace(pg_get_functiondef(g.tgfoid), ' FUNCTION ' || quote_ident(t.nspname) || '.',"
     " ' FUNCTION '), ';' ORDER BY g.tgname) FROM pg_trigger g WHERE g.tgrelid = t.oid)",
     nullptr},  // formed from the function bodies above
    {"权限",
     "(SELECT count(*) FROM aclexplode(t.relacl) x"
     " WHERE x.grantee <> t.relowner AND x.privilege_type NOT IN ('SELECT', 'INSERT'))::text",
     "0"},
}};

// The columns of the earlier release's table1, which had no quality columns; init-store adds them.
constexpr const char* kEarlierColumns =
    "id bigint not null always identity,L0 text,R0 text,R1 text,CPE1-T text,CPE1-P text,R2 text,CPE2-T text,"
    "CPE2-P text,R3 text,CPE3-T text,CPE3-P text,imported_at timestamp with time zone,source text,"
    "imported_by text not null,workstation text not null,copied_from text";
constexpr std::size_t kColumnsFact = 1;

std::string ExpectedColumns() {
  std::string columns = kEarlierColumns;
  for (const char* column : kQualityColumns) columns += std::string(",") + column + " text";
  return columns;
}

// The triggers as the server describes them: name, type bits (58: before update, delete and
// truncate, per statement; 7: before insert, per row), enabled always, no arguments, no condition,
// and the function's definition.
std::string ExpectedTriggers() {
  const auto definition = [](const char* name, const char* body) {
    return std::string("CREATE OR REPLACE FUNCTION ") + name + "()\n RETURNS trigger\n LANGUAGE plpgsql\n" +
           " SET search_path TO 'pg_catalog'\nAS $function$" + body + "$function$\n";
  };
  return "table1_keep 58 A 0 true " + definition("table1_keep", kKeepFunctionBody) + ";table1_stamp 7 A 0 true " +
         definition("table1_stamp", kStampFunctionBody);
}

std::string SchemaQuery() {
  std::string sql = "SELECT t.oid IS NOT NULL";
  for (const SchemaFact& fact : kSchemaFacts) sql += std::string(", ") + fact.query;
  sql +=
      " FROM (SELECT 1) one LEFT JOIN (SELECT c.*, n.nspname FROM pg_class c JOIN pg_namespace n"
      " ON n.oid = c.relnamespace WHERE c.oid = to_regclass('table1')) t ON true";
  return sql;
}

// libpq's text without its trailing line ends, its lines joined.
std::string LibpqText(const char* text) {
  std::string s = text != nullptr ? text : "";
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  std::string joined;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\n') {
      joined += ' ';
      while (i + 1 < s.size() && (s[i + 1] == '\t' || s[i + 1] == ' ')) ++i;
    } else {
      joined += s[i];
    }
  }
  return joined;
}

class Result {
 public:
  explicit Result(PGresult* result) : m_result(result) {}
  ~Result() { PQclear(m_result); }
  Result(Result&& other) noexcept : m_result(std::exchange(other.m_result, nullptr)) {}
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  PGresult* get() const { return m_result; }
  ExecStatusType Status() const { return PQresultStatus(m_result); }
  int Rows() const { return PQntuples(m_result); }
  std::string Text(int row, int column) const {
    std::string text;
    Assign(row, column, text);
    return text;
  }
  void Assign(int row, int column, std::string& text) const {
    text.assign(PQgetvalue(m_result, row, column), static_cast<std::size_t>(PQgetlength(m_result, row, column)));
  }

 private:
  PGresult* m_result;
};

// A location's server as the user is shown it, before or without a connection: host and database.
std::string LocationName(const std::string& location) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(location.c_str(), &error);
  PQfreemem(error);
  std::string host, db, service;
  for (PQconninfoOption* o = options; o != nullptr && o->keyword != nullptr; ++o) {
    const std::string value = o->val != nullptr ? o->val : "";
    if (std::strcmp(o->keyword, "host") == 0) host = value;
    if (std::strcmp(o->keyword, "dbname") == 0) db = value;
    if (std::strcmp(o->keyword, "service") == 0) service = value;
  }
  PQconninfoFree(options);
  if (!service.empty() && host.empty() && db.empty()) return "service=" + service;
  return (host.empty() ? "localhost" : host) + "/" + db;
}

std::string ConnectionName(PGconn* connection) {
  const char* host = PQhost(connection);
  const char* db = PQdb(connection);
  return std::string(host != nullptr && *host != '\0' ? host : "localhost") + "/" + (db != nullptr ? db : "");
}

// Refuses a location that is not a lab store's or that carries a password.
void CheckLocation(const std::string& location) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(location.c_str(), &error);
  if (options == nullptr) {
    const std::string reason = LibpqText(error);
    PQfreemem(error);
    throw StoreError("实验室数据库的连接串无效：" + reason);
  }
  bool password = false;
  for (PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
    if (std::strcmp(o->keyword, "password") == 0 && o->val != nullptr && *o->val != '\0') password = true;
  }
  PQconninfoFree(options);
  if (password) {
    throw StoreError("实验室数据库 " + LocationName(location) +
                     " 的连接串中写有密码：qelmora 不保存也不显示密码，请改用 ~/.pgpass、PGPASSWORD 或服务文件");
  }
}

class Connection {
 public:
  explicit Connection(const std::string& location) {
    CheckLocation(location);
    // The location first, so that its own connect_timeout wins; the encoding the program's texts use last.
    const char* keywords[] = {"connect_timeout", "dbname", "fallback_application_name", "client_encoding", nullptr};
    const char* values[] = {kConnectTimeout, location.c_str(), "qelmora", "UTF8", nullptr};
    m_connection = PQconnectdbParams(keywords, values, 1);
    if (m_connection == nullptr) throw StoreError("无法连接实验室数据库 " + LocationName(location) + "：内存不足");
    if (PQstatus(m_connection) != CONNECTION_OK) {
      // A service that could not be read names no database yet: then the location names the server.
      const char* db = PQdb(m_connection);
      const std::string name = db != nullptr && *db != '\0' ? ConnectionName(m_connection) : LocationName(location);
      const std::string text = "无法连接实验室数据库 " + name + "：" + LibpqText(PQerrorMessage(m_connection));
      PQfinish(m_connection);
      throw StoreError(text);
    }
    m_name = ConnectionName(m_connection);
  }
  ~Connection() { PQfinish(m_connection); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const std::string& Name() const { return m_name; }
  std::string Role() const { return PQuser(m_connection); }

  // Runs one statement with text parameters (nullopt: NULL); a failure raises StoreError led by `what`.
  Result Run(const std::string& what, const std::string& sql, const std::vector<std::optional<std::string>>& params = {}) {
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
    Result result(PQexecParams(m_connection, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                               nullptr, nullptr, 0));
    if (result.Status() != PGRES_COMMAND_OK && result.Status() != PGRES_TUPLES_OK) throw Failure(what, result);
    return result;
  }

  // What the user is told of a failed statement: the server's own words, the connection's state.
  StoreError Failure(const std::string& what, const Result& result) const {
    if (PQstatus(m_connection) == CONNECTION_BAD) {
      return StoreError(what + "：与实验室数据库 " + m_name + " 的连接中断（" + LibpqText(PQerrorMessage(m_connection)) +
                        "），这一操作没有完成");
    }
    const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
    const char* primary = PQresultErrorField(result.get(), PG_DIAG_MESSAGE_PRIMARY);
    const std::string reason = LibpqText(primary != nullptr ? primary : PQerrorMessage(m_connection));
    if (state != nullptr && std::strcmp(state, "42501") == 0) {
      return StoreError(what + "：数据库角色 " + Role() + " 在实验室数据库 " + m_name + " 中没有这一权限（" + reason + "）");
    }
    return StoreError(what + "：实验室数据库 " + m_name + " 报告：" + reason);
  }

  // Runs a query whose rows come one at a time, as the server sends them (libpq's single-row mode),
  // so that memory stays flat whatever the table holds. When `row` raises, the query is cancelled,
  // what the server still sends is let go, and that exception goes on.
  void Stream(const std::string& what, const std::string& sql, const std::function<void(const Result&)>& row) {
    if (PQsendQueryParams(m_connection, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 0 ||
        PQsetSingleRowMode(m_connection) == 0) {
      throw Failure(what, Result(PQgetResult(m_connection)));
    }
    std::exception_ptr error;
    while (PGresult* next = PQgetResult(m_connection)) {
      const Result result(next);
      if (error) continue;
      if (result.Status() == PGRES_SINGLE_TUPLE) {
        try {
          row(result);
        } catch (...) {
          error = std::current_exception();
          if (PGcancel* cancel = PQgetCancel(m_connection)) {
            char reason[256];
            PQcancel(cancel, reason, sizeof reason);
            PQfreeCancel(cancel);
          }
        }
      } else if (result.Status() != PGRES_TUPLES_OK) {
        error = std::make_exception_ptr(Failure(what, result));
      }
    }
    if (error) std::rethrow_exception(error);
  }

  // Rolls an open transaction back, quietly: the failure that led here is what the user is told.
  void RollBackQuietly() noexcept {
    if (PQtransactionStatus(m_connection) != PQTRANS_IDLE) PQclear(PQexec(m_connection, "ROLLBACK"));
  }

 private:
  PGconn* m_connection = nullptr;
  std::string m_name;
};

// Whether table1 is there and, when it is, the first fact that differs from init-store's table
// (empty when none does).
struct SchemaState {
  bool present = false;
  std::string difference;
  bool earlier = false;  // init-store's table of the earlier release: the quality columns are missing
};

SchemaState CheckSchema(Connection& connection) {
  const Result result = connection.Run("无法检查实验室数据库中的 table1", SchemaQuery());
  SchemaState state;
  state.present = result.Text(0, 0) == "t";
  if (!state.present) return state;
  for (std::size_t i = 0; i < kSchemaFacts.size(); ++i) {
    const std::string expected = kSchemaFacts[i].expected != nullptr ? kSchemaFacts[i].expected
                                 : i == kColumnsFact                 ? ExpectedColumns()
                                                                     : ExpectedTriggers();
    if (i == kColumnsFact && !PQgetisnull(result.get(), 0, static_cast<int>(i) + 1) &&
        result.Text(0, static_cast<int>(i) + 1) == kEarlierColumns) {
      state.earlier = true;
      continue;
    }
    if (PQgetisnull(result.get(), 0, static_cast<int>(i) + 1) || result.Text(0, static_cast<int>(i) + 1) != expected) {
      state.difference = kSchemaFacts[i].what;
      break;
    }
  }
  return state;
}

std::optional<std::string> Present(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return text;
}

// The first row of a result of ReadColumns into `stored`.
void ReadRow(const Result& result, StoredRow& stored) {
  for (int i = 0; i < static_cast<int>(kParameterCount); ++i) {
    result.Assign(0, i, stored.parameters[static_cast<std::size_t>(i)]);
  }
  result.Assign(0, kParameterCount, stored.provenance[kImportedAt]);
  result.Assign(0, kParameterCount + 1, stored.provenance[kSource]);
  result.Assign(0, kParameterCount + 2, stored.importedBy);
  result.Assign(0, kParameterCount + 3, stored.workstation);
  for (std::size_t i = 0; i < kQualityCount; ++i) {
    result.Assign(0, static_cast<int>(kParameterCount + 4 + i), stored.quality[i]);
  }
}

class LabStore;

class LabPendingRow final : public PendingRow {
 public:
  explicit LabPendingRow(LabStore& store) : m_store(store) {}
  void Put(const std::string& column, const std::string& value) override;
  void Save(const Provenance& provenance) override;
  void PutQuality(const QualityTexts& quality) override { m_quality = quality; }
  void Drop() noexcept override {
    m_values.fill(std::nullopt);
    m_quality = {};
  }

 private:
  LabStore& m_store;
  std::array<std::optional<std::string>, kParameterCount> m_values;
  QualityTexts m_quality;
};

class LabStore final : public ParameterStore {
 public:
  explicit LabStore(const std::string& location) : m_connection(location), m_workstation(WorkstationName()) {
    const SchemaState schema = CheckSchema(m_connection);
    if (!schema.present) {
      throw StoreError("实验室数据库 " + m_connection.Name() +
                       " 中没有 table1：请管理员先运行 qelmora-cli --store 连接串 init-store");
    }
    if (!schema.difference.empty()) {
      throw StoreError("实验室数据库 " + m_connection.Name() + " 中的 table1 不是 init-store 建立的结构（" +
                       schema.difference + "不同），qelmora 不使用它");
    }
    if (schema.earlier) {
      throw StoreError("实验室数据库 " + m_connection.Name() +
                       " 中的 table1 是较早版本建立的（没有拟合质量的列）：请管理员运行 qelmora-cli --store 连接串 "
                       "init-store 升级它");
    }
  }

  std::unique_ptr<PendingRow> StartRow() override { return std::make_unique<LabPendingRow>(*this); }

  StoredRow ReadCurrent() override {
    const Result result = m_connection.Run(
        "无法读取当前参数",
        "SELECT " + ReadColumns() +
            " FROM table1 WHERE workstation = $1 ORDER BY imported_at DESC NULLS LAST, id DESC LIMIT 1",
        {m_workstation});
    if (result.Rows() == 0) {
      throw StoreError("实验室数据库 " + m_connection.Name() + " 中还没有从本工作站（" + m_workstation + "）导入的参数");
    }
    StoredRow row;
    ReadRow(result, row);
    return row;
  }

  void ReadHistory(const std::function<void(const StoredRow&)>& visit) override {
    StoredRow row;  // its texts keep their room from row to row
    m_connection.Stream("无法读取参数历史",
                        "SELECT " + ReadColumns() + " FROM table1 ORDER BY imported_at NULLS FIRST, id",
                        [&](const Result& result) {
                          ReadRow(result, row);
                          visit(row);
                        });
  }

  std::string Name() const override { return m_connection.Name(); }
  bool Shared() const override { return true; }

  // One row, as one statement; the id it returns shows that the server holds it.
  void Insert(const std::array<std::optional<std::string>, kParameterCount>& values, const Provenance& provenance,
              const QualityTexts& quality) {
    std::vector<std::optional<std::string>> params(values.begin(), values.end());
    params.push_back(Present(provenance[kSource]));
    params.push_back(m_workstation);
    for (const std::string& text : quality) params.push_back(Present(text));
    std::string marks;
    for (std::size_t i = 1; i <= params.size(); ++i) marks += (i > 1 ? ", $" : "$") + std::to_string(i);
    const Result result =
        m_connection.Run("无法保存参数", "INSERT INTO table1 (" + ParameterColumnList() + ", source, workstation, " +
                                             QualityColumnList() + ") VALUES (" +
                                             marks + ") RETURNING id",
                         params);
    if (result.Rows() != 1) throw StoreError("无法保存参数：实验室数据库 " + m_connection.Name() + " 没有确认这一行");
  }

  // copy-history: every row of `from`, each keyed by where it came from, in one transaction.
  std::string CopyFrom(ParameterStore& from, const std::string& fromName) {
    const std::string what = "无法复制参数历史";
    std::string sql = "INSERT INTO table1 (" + ParameterColumnList() + ", imported_at, source, workstation, copied_from, " +
                      QualityColumnList() + ") VALUES (";
    for (std::size_t i = 1; i <= kParameterCount + 4 + kQualityCount; ++i) {
      sql += (i > 1 ? ", $" : "$") + std::to_string(i) + (i == kParameterCount + 1 ? "::timestamptz" : "");
    }
    sql += ") ON CONFLICT (copied_from) DO NOTHING RETURNING id";
    const std::string origin = m_workstation + ":" + fromName + "#";
    long rows = 0;
    long copied = 0;
    m_connection.Run(what, "BEGIN");
    try {
      from.ReadHistory([&](const StoredRow& row) {
        std::vector<std::optional<std::string>> params;
        for (const std::string& value : row.parameters) params.push_back(Present(value));
        params.push_back(Present(row.provenance[kImportedAt]));
        params.push_back(Present(row.provenance[kSource]));
        params.push_back(m_workstation);
        params.push_back(origin + std::to_string(++rows));
        for (const std::string& text : row.quality) params.push_back(Present(text));
        copied += m_connection.Run(what, sql, params).Rows();
      });
      m_connection.Run(what, "COMMIT");
    } catch (...) {
      m_connection.RollBackQuietly();
      throw;
    }
    return Format("已从 %s 向实验室数据库 %s 复制 %ld 行（%ld 行此前已复制过）", fromName.c_str(),
                  m_connection.Name().c_str(), copied, rows - copied);
  }

  const std::string& ServerName() const { return m_connection.Name(); }

 private:
  Connection m_connection;
  std::string m_workstation;
};

void LabPendingRow::Put(const std::string& column, const std::string& value) {
  for (std::size_t i = 0; i < kParameterCount; ++i) {
    if (column == kParameterColumns[i]) {
      m_values[i] = value;
      return;
    }
  }
  throw StoreError("实验室数据库 " + m_store.ServerName() + " 的 table1 没有列 " + column);
}

void LabPendingRow::Save(const Provenance& provenance) {
  m_store.Insert(m_values, provenance, m_quality);
  Drop();
}

}  // namespace

bool IsLabStoreLocation(const std::string& location) {
  return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0 ||
         location.rfind("service=", 0) == 0;
}

std::unique_ptr<ParameterStore> OpenLabStore(const std::string& location) {
  return std::make_unique<LabStore>(location);
}

std::string InitLabStore(const std::string& location) {
  Connection connection(location);
  const SchemaState schema = CheckSchema(connection);
  if (schema.present) {
    if (!schema.difference.empty()) {
      throw StoreError("实验室数据库 " + connection.Name() + " 中已有另一种 table1（" + schema.difference +
                       "与 init-store 建立的不同）：init-store 不改动它");
    }
    if (schema.earlier) {
      // The earlier release's table gains the quality columns, at its end as a new table has them;
      // its rows keep NULL there.
      const std::string what = "无法升级实验室数据库 " + connection.Name() + " 中的 table1";
      connection.Run(what, "BEGIN");
      try {
        for (const char* column : kQualityColumns) {
          connection.Run(what, "ALTER TABLE table1 ADD COLUMN " + Quoted(column) + " text");
        }
        connection.Run(what, "COMMIT");
      } catch (...) {
        connection.RollBackQuietly();
        throw;
      }
      return "已升级实验室数据库 " + connection.Name() + " 中的 table1（加入拟合质量的列），原有的行未改动";
    }
    return "实验室数据库 " + connection.Name() + " 中的 table1 已是 init-store 建立的结构，未做任何改动";
  }
  const std::string what = "无法在实验室数据库 " + connection.Name() + " 中建立 table1";
  connection.Run(what, "BEGIN");
  try {
    for (const std::string& statement : CreateStatements()) connection.Run(what, statement);
    connection.Run(what, "COMMIT");
  } catch (...) {
    connection.RollBackQuietly();
    throw;
  }
  return "已在实验室数据库 " + connection.Name() + " 中建立 table1；实验室成员的角色请加入 " + kLabMemberRole +
         "（只能导入和读取）";
}

std::string CopyHistoryToLabStore(ParameterStore& lab, ParameterStore& from, const std::string& fromName) {
  auto* store = dynamic_cast<LabStore*>(&lab);
  if (store == nullptr) throw StoreError("copy-history 的目标必须是实验室数据库（--store 连接串）");
  return store->CopyFrom(from, fromName);
}

std::string WorkstationName() {
  std::string user;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    user = found->pw_name;
  } else {
    user = std::to_string(geteuid());
  }
  std::array<char, 256> host{};
  if (gethostname(host.data(), host.size() - 1) != 0) host[0] = '\0';
  return user + "@" + (host[0] != '\0' ? host.data() : "localhost");
}

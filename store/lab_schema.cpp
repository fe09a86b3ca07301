// The lab store's table as init-store makes it and as every backend that reaches it (libpq on
// Linux, ODBC on Windows) reads, checks and appends to it. Only SQL texts and the facts the schema
// check compares are here; how a statement reaches the server is the backend's.
#include "store/lab_schema.h"

#include <array>

#include "base/afx.h"

namespace lab {

// The schema init-store makes. Every name is fixed here, so no text from outside reaches SQL. The
// table lives in a schema of its own, named in every statement: no search_path, the location's or
// the role's, decides which table1 a statement means.
const char* const kStampFunctionBody =
    "\nBEGIN\n"
    "  NEW.imported_by := session_user;\n"
    "  NEW.imported_at := now();\n"
    "  IF NEW.copied_from IS NULL THEN\n"
    "    NEW.recorded_at := NULL;\n"
    "  END IF;\n"
    "  RETURN NEW;\n"
    "END\n";
const char* const kKeepFunctionBody =
    "\nBEGIN\n"
    "  RAISE EXCEPTION 'rows of table1 are never changed or deleted' USING ERRCODE = 'insufficient_privilege';\n"
    "END\n";

// What each import carries besides its values (lab::Import): its id, when the file was read, the
// digest of the bytes read. The id's index keeps it unique; the source index finds a workstation's
// newest import of one model file, whose digest the import compares.
const char* const kImportColumns = "import_id, read_at, content_sha256";
const char* const kImportColumnTypes =
    "import_id uuid INSERT qelmora_member,read_at timestamp with time zone INSERT qelmora_member,"
    "content_sha256 text INSERT qelmora_member";
const char* const kImportIdIndex = "CREATE UNIQUE INDEX table1_import_id ON qelmora.table1 USING btree (import_id)";
const char* const kSourceIndex =
    "CREATE INDEX table1_source ON qelmora.table1 USING btree (workstation, imported_by, source, imported_at DESC)"
    " WHERE (copied_from IS NULL)";

static std::string Quoted(const char* column) { return std::string("\"") + column + "\""; }

// The eleven parameter columns as SQL, in table order, separated by ", ".
std::string ParameterColumnList() {
  std::string list;
  for (const char* column : kParameterColumns) list += (list.empty() ? "" : ", ") + Quoted(column);
  return list;
}

// The fit-quality columns as SQL, in table order, separated by ", ".
std::string QualityColumnList() {
  std::string list;
  for (const char* column : kQualityColumns) list += (list.empty() ? "" : ", ") + Quoted(column);
  return list;
}

// A time as the program writes it: UTC, "YYYY-MM-DDTHH:MM:SSZ".
std::string ProgramTime(const std::string& time) {
  return "pg_catalog.to_char((" + time + ") AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"')";
}

// What a read gives, in this order: the parameters, the time, the source, the role, the
// workstation and the fit-quality columns.
std::string ReadColumns() {
  return ParameterColumnList() + ", " + ProgramTime(kShownTime) + ", source, imported_by, workstation, " +
         QualityColumnList();
}

// The columns a member may set: those an import or a copy gives. imported_at and imported_by are
// the server's on every row (the stamp trigger).
static std::string MemberColumnList() {
  return ParameterColumnList() + ", source, workstation, copied_from, recorded_at, " + QualityColumnList() + ", " +
         kImportColumns;
}

std::vector<std::string> CreateStatements() {
  std::string table = "CREATE TABLE qelmora.table1 (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY";
  for (const char* column : kParameterColumns) table += ", " + Quoted(column) + " text";
  table +=
      ", imported_at timestamp with time zone NOT NULL, source text, imported_by text NOT NULL,"
      " workstation text NOT NULL, copied_from text UNIQUE, recorded_at timestamp with time zone";
  for (const char* column : kQualityColumns) table += ", " + Quoted(column) + " text";
  table += ", import_id uuid, read_at timestamp with time zone, content_sha256 text)";
  return {
      "CREATE SCHEMA qelmora",
      table,
      // The current set: the newest import of one workstation by one role is the first entry of its range.
      "CREATE INDEX table1_current ON qelmora.table1 (workstation, imported_by, imported_at DESC, id DESC)"
      " WHERE copied_from IS NULL",
      std::string("CREATE INDEX table1_history ON qelmora.table1 ((") + kShownTime + ") NULLS FIRST, id)",
      std::string("CREATE FUNCTION qelmora.table1_stamp() RETURNS trigger LANGUAGE plpgsql"
                  " SET search_path = pg_catalog AS $q$") +
          kStampFunctionBody + "$q$",
      std::string("CREATE FUNCTION qelmora.table1_keep() RETURNS trigger LANGUAGE plpgsql"
                  " SET search_path = pg_catalog AS $q$") +
          kKeepFunctionBody + "$q$",
      "CREATE TRIGGER table1_stamp BEFORE INSERT ON qelmora.table1 FOR EACH ROW"
      " EXECUTE FUNCTION qelmora.table1_stamp()",
      "CREATE TRIGGER table1_keep BEFORE UPDATE OR DELETE OR TRUNCATE ON qelmora.table1 FOR EACH STATEMENT "
      "EXECUTE FUNCTION qelmora.table1_keep()",
      // Also for a session that replicates (session_replication_role), which skips ordinary triggers.
      "ALTER TABLE qelmora.table1 ENABLE ALWAYS TRIGGER table1_stamp",
      "ALTER TABLE qelmora.table1 ENABLE ALWAYS TRIGGER table1_keep",
      "DO $q$ BEGIN IF NOT EXISTS (SELECT FROM pg_catalog.pg_roles WHERE rolname = 'qelmora_member') THEN "
      "CREATE ROLE qelmora_member NOLOGIN; END IF; END $q$",
      "REVOKE ALL ON qelmora.table1 FROM PUBLIC",
      "GRANT SELECT ON qelmora.table1 TO qelmora_member",
      "GRANT INSERT (" + MemberColumnList() + ") ON qelmora.table1 TO qelmora_member",
      "GRANT USAGE ON SCHEMA qelmora TO qelmora_member",
      kImportIdIndex,
      kSourceIndex,
  };
}

std::vector<std::string> ImportIdUpgradeStatements() {
  return {"ALTER TABLE qelmora.table1 ADD COLUMN import_id uuid, ADD COLUMN read_at timestamp with time zone,"
          " ADD COLUMN content_sha256 text",
          kImportIdIndex, kSourceIndex,
          std::string("GRANT INSERT (") + kImportColumns + ") ON qelmora.table1 TO qelmora_member"};
}

// The facts of table1 that the schema check compares, each a text the server forms from its
// catalogs, and what init-store's table gives for each. The table is qelmora.table1; the query runs
// with search_path pinned to pg_catalog, so that no operator or function of another schema can be
// chosen for it (a member's better-matching one would run as whoever opens the store).
struct SchemaFact {
  const char* what;  // named in the message when it differs
  const char* query;
  std::string (*expected)();
};

// The columns as the server describes them: name, type, not null, identity, and what others may do
// with the column (a member may insert the ones an import or a copy sets).
static std::string ExpectedColumnsBeforeImportIds() {
  std::string columns = "id bigint not null always identity";
  for (const char* column : kParameterColumns) columns += std::string(",") + column + " text INSERT qelmora_member";
  columns +=
      ",imported_at timestamp with time zone not null,source text INSERT qelmora_member,imported_by text not null,"
      "workstation text not null INSERT qelmora_member,copied_from text INSERT qelmora_member,"
      "recorded_at timestamp with time zone INSERT qelmora_member";
  for (const char* column : kQualityColumns) columns += std::string(",") + column + " text INSERT qelmora_member";
  return columns;
}
static std::string ExpectedColumns() { return ExpectedColumnsBeforeImportIds() + "," + kImportColumnTypes; }

// The indexes, by name; before import ids, without table1_import_id and table1_source.
static std::string ExpectedIndexes(bool importIds) {
  return std::string(
             "CREATE UNIQUE INDEX table1_copied_from_key ON qelmora.table1 USING btree (copied_from);"
             "CREATE INDEX table1_current ON qelmora.table1 USING btree"
             " (workstation, imported_by, imported_at DESC, id DESC) WHERE (copied_from IS NULL);"
             "CREATE INDEX table1_history ON qelmora.table1 USING btree ((\nCASE\n    WHEN (copied_from IS NULL)"
             " THEN imported_at\n    ELSE recorded_at\nEND) NULLS FIRST, id);") +
         (importIds ? std::string(kImportIdIndex) + ";" : "") +
         "CREATE UNIQUE INDEX table1_pkey ON qelmora.table1 USING btree (id)" +
         (importIds ? std::string(";") + kSourceIndex : "");
}

// The triggers as the server describes them: name, type bits (58: before update, delete and
// truncate, per statement; 7: before insert, per row), enabled always, no arguments, no condition,
// the function owned by the table's owner, and the function's definition.
static std::string ExpectedTriggers() {
  const auto definition = [](const char* name, const char* body) {
    return std::string("CREATE OR REPLACE FUNCTION qelmora.") + name + "()\n RETURNS trigger\n LANGUAGE plpgsql\n" +
           " SET search_path TO 'pg_catalog'\nAS $function$" + body + "$function$\n";
  };
  return "table1_keep 58 A 0 true true " + definition("table1_keep", kKeepFunctionBody) +
         ";table1_stamp 7 A 0 true true " + definition("table1_stamp", kStampFunctionBody);
}

// Each fact costs a fresh server process a catalog's first read, so there are few: what pg_class
// says of the table (rules, row security, inheritance, check constraints, logged), its schema's
// owner and who else may do what there, the columns with who may set them, the indexes, the
// triggers with their functions' owners and whole definitions, and who may do what with the table.
const std::array<SchemaFact, 6> kSchemaFacts = {{
    {"表的种类",
     "t.relkind::text || ' ' || t.relrowsecurity || ' ' || t.relforcerowsecurity || ' ' || t.relhasrules || ' ' || "
     "t.relhassubclass || ' ' || t.relispartition || ' ' || t.relchecks || ' ' || t.relpersistence::text",
     [] { return std::string("r false false false false false 0 p"); }},
    // The schema is init-store's: its owner owns the table, and nobody else may create in it.
    {"模式",
     "(t.nspowner = t.relowner) || ' ' || (SELECT pg_catalog.count(*) FROM pg_catalog.aclexplode(t.nspacl) x"
     " WHERE x.grantee <> t.nspowner AND x.privilege_type <> 'USAGE')",
     [] { return std::string("true 0"); }},
    {"列",
     "(SELECT pg_catalog.string_agg(a.attname || ' ' || pg_catalog.format_type(a.atttypid, a.atttypmod)"
     " || CASE WHEN a.attnotnull THEN ' not null' ELSE '' END"
     " || CASE WHEN a.attidentity = 'a' THEN ' always identity' WHEN a.attidentity = 'd' THEN ' identity' ELSE '' END"
     " || CASE WHEN a.atthasdef THEN ' default' ELSE '' END"
     " || CASE WHEN a.attgenerated <> '' THEN ' generated' ELSE '' END"
     " || COALESCE((SELECT pg_catalog.string_agg("
     "' ' || x.privilege_type || ' ' || pg_catalog.pg_get_userbyid(x.grantee), '' ORDER BY x.privilege_type, x.grantee)"
     " FROM pg_catalog.aclexplode(a.attacl) x WHERE x.grantee <> t.relowner), '')"
     " || CASE WHEN a.attcollation IN (0, 100) THEN '' ELSE ' collation' END, ',' ORDER BY a.attnum)"
     " FROM pg_catalog.pg_attribute a WHERE a.attrelid = t.oid AND a.attnum > 0 AND NOT a.attisdropped)",
     ExpectedColumns},
    // The key and the unique column are indexes too; a foreign key would add triggers, an exclusion
    // constraint an index, a check constraint is counted above.
    {"索引",
     "(SELECT pg_catalog.string_agg(pg_catalog.pg_get_indexdef(i.indexrelid)"
     " || CASE WHEN i.indisvalid AND i.indisready THEN '' ELSE ' invalid' END,"
     " ';' ORDER BY i.indexrelid::regclass::text)"
     " FROM pg_catalog.pg_index i WHERE i.indrelid = t.oid)",
     [] { return ExpectedIndexes(true); }},
    // A function of another schema keeps its schema's name in its definition, and so differs; one
    // that a member owns could be replaced by that member.
    {"触发器",
     "(SELECT pg_catalog.string_agg(g.tgname || ' ' || g.tgtype || ' ' || g.tgenabled::text || ' ' || g.tgnargs"
     " || ' ' || (g.tgqual IS NULL)"
     " || ' ' || (SELECT p.proowner = t.relowner FROM pg_catalog.pg_proc p WHERE p.oid = g.tgfoid)"
     " || ' ' || pg_catalog.pg_get_functiondef(g.tgfoid), ';' ORDER BY g.tgname)"
     " FROM pg_catalog.pg_trigger g WHERE g.tgrelid = t.oid)",
     ExpectedTriggers},
    // Others may only read the whole table; what a member may insert is on the columns.
    {"权限",
     "(SELECT pg_catalog.count(*) FROM pg_catalog.aclexplode(t.relacl) x"
     " WHERE x.grantee <> t.relowner AND x.privilege_type <> 'SELECT')::text",
     [] { return std::string("0"); }},
}};

std::string SchemaQuery(const char* table) {
  std::string sql = "SELECT t.oid IS NOT NULL";
  for (const SchemaFact& fact : kSchemaFacts) sql += std::string(", ") + fact.query;
  sql +=
      " FROM (SELECT 1) one LEFT JOIN (SELECT c.*, n.nspowner, n.nspacl FROM pg_catalog.pg_class c"
      " JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace"
      " WHERE c.oid = pg_catalog.to_regclass('" + std::string(table) + "')) t ON true";
  return sql;
}

// A text from libpq or the server as the terminal may show it: control characters other than the
// line feed (an escape sequence in a host name, say) written as \xNN, those of C1 as \u00NN.
std::string Printable(const std::string& text) {
  std::string shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if ((c < 0x20 && c != '\n') || c == 0x7f) {
      shown += Format("\\x%02X", c);
    } else if (c == 0xc2 && next >= 0x80 && next <= 0x9f) {
      shown += Format("\\u00%02X", next);
      ++i;
    } else {
      shown += text[i];
    }
  }
  return shown;
}
// Where the indexes fact stands in kSchemaFacts (the columns fact: kColumnsFact).
constexpr std::size_t kIndexesFact = 3;

void CompareSchema(const std::function<std::optional<std::string>(std::size_t column)>& value, SchemaState& state) {
  bool older = true;
  for (std::size_t i = 0; i < kSchemaFacts.size(); ++i) {
    const std::optional<std::string> found = value(i + 1);
    const std::string before = i == kColumnsFact   ? ExpectedColumnsBeforeImportIds()
                               : i == kIndexesFact ? ExpectedIndexes(false)
                                                   : kSchemaFacts[i].expected();
    if (!found || *found != before) older = false;
    if (state.difference.empty() && (!found || *found != kSchemaFacts[i].expected())) {
      state.difference = kSchemaFacts[i].what;
    }
  }
  state.withoutImportIds = older;
}

void RefuseOtherSchema(const std::string& name, const SchemaState& schema) {
  if (!schema.present && schema.earlier) {
    throw StoreError("实验室数据库 " + name +
                     " 中的 table1 是较早版本建立的（没有拟合质量的列）：请管理员运行 qelmora-cli --store 连接串 "
                     "init-store 升级它");
  }
  if (!schema.present) {
    throw StoreError("实验室数据库 " + name + " 中没有 table1：请管理员先运行 qelmora-cli --store 连接串 init-store");
  }
  if (schema.withoutImportIds) {
    throw StoreError("实验室数据库 " + name +
                     " 中的 table1 是较早版本建立的（没有导入编号的列）：请管理员运行 qelmora-cli --store 连接串 "
                     "init-store 升级它");
  }
  if (!schema.difference.empty()) {
    throw StoreError("实验室数据库 " + name + " 中的 table1 不是 init-store 建立的结构（" + schema.difference +
                     "不同），qelmora 不使用它");
  }
}

std::string& ReadField(StoredRow& row, std::size_t column) {
  if (column < kParameterCount) return row.parameters[column];
  switch (column - kParameterCount) {
    case 0: return row.provenance[kImportedAt];
    case 1: return row.provenance[kSource];
    case 2: return row.importedBy;
    case 3: return row.workstation;
    default: return row.quality[column - kParameterCount - 4];
  }
}

std::string ImportIdText(std::array<unsigned char, 16> bits) {
  bits[6] = static_cast<unsigned char>((bits[6] & 0x0F) | 0x40);  // version 4: random
  bits[8] = static_cast<unsigned char>((bits[8] & 0x3F) | 0x80);  // the variant of RFC 4122
  std::string id;
  for (std::size_t i = 0; i < bits.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) id += '-';
    id += Format("%02x", bits[i]);
  }
  return id;
}

// The id and the time read are sent as text (an ODBC driver binds them as varchar): cast to the
// column's type, which an insert does not do of itself.
std::string ImportStatement(const std::function<std::string(std::size_t number)>& mark) {
  std::string marks;
  for (std::size_t i = 1; i <= kImportValueCount; ++i) {
    marks += (i > 1 ? ", " : "") + mark(i);
    if (i == kImportValueCount - 2) marks += "::pg_catalog.uuid";
    if (i == kImportValueCount - 1) marks += "::pg_catalog.timestamptz";
  }
  return "INSERT INTO qelmora.table1 (" + ParameterColumnList() + ", source, workstation, " + QualityColumnList() +
         ", " + kImportColumns + ") VALUES (" + marks + ") ON CONFLICT (import_id) DO NOTHING RETURNING id";
}

std::string ImportIdQuery(const std::string& mark) {
  return "SELECT id FROM qelmora.table1 WHERE import_id = " + mark + "::pg_catalog.uuid";
}

std::vector<std::optional<std::string>> ImportValues(const Import& import, const std::string& workstation) {
  const auto present = [](const std::string& text) { return text.empty() ? std::nullopt : std::optional(text); };
  std::vector<std::optional<std::string>> all(import.values.begin(), import.values.end());
  all.push_back(present(import.source));
  all.push_back(workstation);
  for (const std::string& text : import.quality) all.push_back(present(text));
  all.push_back(import.importId);
  all.push_back(present(import.readAt));
  all.push_back(present(import.contentSha256));
  return all;
}

std::string ImportValueName(std::size_t index) {
  if (index < kParameterCount) return "参数";
  if (index == kParameterCount) return "模型文件的路径";
  if (index == kParameterCount + 1) return "本工作站的名称";
  if (index < kParameterCount + 2 + kQualityCount) {
    return std::string("拟合质量 ") + kQualityColumns[index - kParameterCount - 2];
  }
  static const char* const kImportNames[] = {"导入编号", "读取时间", "内容摘要"};
  return kImportNames[index - kParameterCount - 2 - kQualityCount];
}

std::string SourceImportQuery(const std::string& workstation, const std::string& role, const std::string& source) {
  return "SELECT content_sha256, " + ProgramTime("imported_at") + " FROM qelmora.table1 WHERE workstation = " +
         workstation + " AND imported_by = " + role + " AND copied_from IS NULL AND source = " + source +
         " ORDER BY imported_at DESC, id DESC LIMIT 1";
}

void ImportRow::Put(const std::string& column, const std::string& value) {
  for (std::size_t i = 0; i < kParameterCount; ++i) {
    if (column == kParameterColumns[i]) {
      m_import.values[i] = value;
      return;
    }
  }
  throw StoreError("实验室数据库 " + m_name + " 的 table1 没有列 " + column);
}

void ImportRow::Save(const Provenance& provenance) {
  m_import.readAt = provenance[kImportedAt];
  m_import.source = provenance[kSource];
  m_note = m_save(m_import);
  Drop();
}

std::string CurrentSetQuery(const std::string& workstation, const std::string& role) {
  return "SELECT " + ReadColumns() + " FROM qelmora.table1 WHERE workstation = " + workstation +
         " AND imported_by = " + role + " AND copied_from IS NULL ORDER BY imported_at DESC, id DESC LIMIT 1";
}

std::string HistoryQuery() {
  return "SELECT " + ReadColumns() + " FROM qelmora.table1 ORDER BY (" + kShownTime + ") NULLS FIRST, id";
}

std::string NoCurrentSetText(const std::string& name, const std::string& workstation, const std::string& role) {
  return "实验室数据库 " + name + " 中还没有从本工作站（" + workstation + "）以角色 " + role + " 导入的参数";
}

}  // namespace lab

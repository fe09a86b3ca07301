// The least a program can do to save one row in the lab store: connect through libpq, one INSERT of
// the eleven texts, the workstation and the source, and exit. What bench_lab_store measures the
// import process against.
//
//   lab_bare_insert LOCATION
#include <libpq-fe.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const char* keywords[] = {"connect_timeout", "dbname", nullptr};
  const char* values[] = {"10", argv[1], nullptr};
  PGconn* connection = PQconnectdbParams(keywords, values, 1);
  if (PQstatus(connection) != CONNECTION_OK) {
    std::fprintf(stderr, "%s", PQerrorMessage(connection));
    return 1;
  }
  const char* row[] = {"1.2345E-07", "0.015234", "0.0041187", "0.81236", "0.78412", "0.023107", "12.453",
                       "0.91027",    "0.10342",  "356.71",    "0.65318", "bench@lab", "/data/cell.mdl"};
  PGresult* result = PQexecParams(connection,
                                  "INSERT INTO qelmora.table1 (\"L0\", \"R0\", \"R1\", \"CPE1-T\", \"CPE1-P\", \"R2\", "
                                  "\"CPE2-T\", \"CPE2-P\", \"R3\", \"CPE3-T\", \"CPE3-P\", workstation, source) "
                                  "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13) RETURNING id",
                                  13, nullptr, row, nullptr, nullptr, 0);
  const bool saved = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1;
  if (!saved) std::fprintf(stderr, "%s", PQerrorMessage(connection));
  PQclear(result);
  PQfinish(connection);
  return saved ? 0 : 1;
}

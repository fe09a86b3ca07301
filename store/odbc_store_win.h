// The lab store (lab-store.md) from the Windows program: table1 of the lab's PostgreSQL server,
// reached through ODBC and the PostgreSQL ODBC driver (psqlODBC). The same table, schema check and
// guarantees as the Linux backend (lab_store_linux.h), whose SQL it shares (lab_schema.h).
//
// A location is an ODBC connection string ("Driver={PostgreSQL Unicode};Server=dbhost;Database=lab;
// SSLMode=verify-full") or a data source ("dsn=NAME"). It never carries a password: that comes from
// the driver's own means (the data source, %APPDATA%\postgresql\pgpass.conf).
#pragma once

#include <memory>
#include <string>

#include "store/parameter_store.h"

// Whether a store location is an ODBC connection string or data source rather than a folder: its
// first keyword is DRIVER, DSN or FILEDSN (in any case), or it carries a password (to be refused).
bool IsOdbcStoreLocation(const std::string& location);

// Connects (within 10 s), checks that table1 is exactly what init-store makes and raises StoreError
// with the user's message when it is not or the server cannot be reached.
std::unique_ptr<ParameterStore> OpenOdbcStore(const std::string& location);

// "user@host" of this program: the environment's USERNAME and COMPUTERNAME (else the system's names).
std::string OdbcWorkstationName();

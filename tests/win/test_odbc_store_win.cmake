# The Windows qelmora-cli on the lab store through ODBC, against the lab_server fixture.
qelmora_wine_path(cli_exe_wine "${CMAKE_BINARY_DIR}/qelmora-cli.exe")
add_dependencies(test_odbc_store_win qelmora-cli)
target_compile_definitions(test_odbc_store_win PRIVATE QELMORA_CLI_EXE="${cli_exe_wine}")
qelmora_lab_server_test(test_odbc_store_win)

# The lab store through ODBC against a PostgreSQL server of its own: CTest starts one before the
# test (scripts/lab-server.sh up) and stops it after. psql and the Linux qelmora-cli (of the linux
# preset's build, which scripts/test.sh builds first) read back, run by Wine as Unix programs.
set(lab_server_file ${CMAKE_BINARY_DIR}/lab-server.path)
set(lab_server_script ${PROJECT_SOURCE_DIR}/scripts/lab-server.sh)
add_test(NAME lab_server_up COMMAND ${lab_server_script} up ${lab_server_file})
add_test(NAME lab_server_down COMMAND ${lab_server_script} down ${lab_server_file})
set_tests_properties(lab_server_up PROPERTIES FIXTURES_SETUP lab_server)
set_tests_properties(lab_server_down PROPERTIES FIXTURES_CLEANUP lab_server)
set(QELMORA_LINUX_CLI ${PROJECT_SOURCE_DIR}/build/linux/qelmora-cli CACHE FILEPATH "The Linux qelmora-cli the Wine tests read the lab store back with")
find_program(QELMORA_PSQL psql NO_CMAKE_FIND_ROOT_PATH REQUIRED)
qelmora_wine_path(lab_server_file_wine "${lab_server_file}")
qelmora_wine_path(cli_exe_wine "${CMAKE_BINARY_DIR}/qelmora-cli.exe")
add_dependencies(test_odbc_store_win qelmora-cli)
target_compile_definitions(test_odbc_store_win PRIVATE
  QELMORA_LAB_SERVER_FILE="${lab_server_file_wine}"
  QELMORA_PSQL="${QELMORA_PSQL}"
  QELMORA_LINUX_CLI="${QELMORA_LINUX_CLI}"
  QELMORA_CLI_EXE="${cli_exe_wine}")
set_tests_properties(test_odbc_store_win PROPERTIES FIXTURES_REQUIRED lab_server)

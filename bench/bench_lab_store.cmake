# The bare libpq program the import process is measured against, the tool and the server script.
add_executable(lab_bare_insert ${CMAKE_CURRENT_SOURCE_DIR}/lab_bare_insert.cpp)
target_link_libraries(lab_bare_insert PRIVATE PkgConfig::LIBPQ)
add_dependencies(bench_lab_store lab_bare_insert qelmora-cli)
target_compile_definitions(bench_lab_store PRIVATE
  QELMORA_CLI="$<TARGET_FILE:qelmora-cli>" LAB_BARE_INSERT="$<TARGET_FILE:lab_bare_insert>"
  QELMORA_LAB_SERVER_SCRIPT="${PROJECT_SOURCE_DIR}/scripts/lab-server.sh")

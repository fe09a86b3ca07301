# The report runs as the command-line tool, one process each.
add_dependencies(bench_store qelmora-cli)
target_compile_definitions(bench_store PRIVATE QELMORA_CLI="$<TARGET_FILE:qelmora-cli>")

# The sample writer of every format lives with the tests.
target_compile_definitions(bench_measured_data PRIVATE QELMORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

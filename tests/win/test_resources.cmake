# Reads the resources of the built program.
add_dependencies(test_resources qelmora)

# The association read back from outside with `wine reg query`. Both tests write the same keys of
# the shared prefix, so they never run at the same time.
add_test(NAME test_shell_win_reg_query
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/reg_query_association.sh
          ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh ${CMAKE_BINARY_DIR} $<TARGET_FILE:test_shell_win>
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
set_tests_properties(test_shell_win_reg_query PROPERTIES TIMEOUT 300 LABELS wine)
set_tests_properties(test_shell_win test_shell_win_reg_query PROPERTIES RESOURCE_LOCK wine_mdl_association)

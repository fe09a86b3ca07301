# The real qelmora.exe under Xvfb and Wine (skipped where Xvfb is missing).
if(TARGET qelmora)
  add_test(NAME smoke_qelmora
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/smoke_qelmora.sh ${CMAKE_BINARY_DIR} $<TARGET_FILE:qelmora>)
  set_tests_properties(smoke_qelmora PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77 LABELS "wine;gui"
    RUN_SERIAL TRUE)
endif()

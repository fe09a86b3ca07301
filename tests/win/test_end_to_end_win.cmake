# The COM doubles (ADO's Connection and Recordset, a spreadsheet server) as an in-process server DLL,
# registered by the test in a Wine prefix of its own, and the real qelmora.exe run on a display of
# its own.
add_library(com_doubles SHARED ${CMAKE_CURRENT_SOURCE_DIR}/com_doubles.cpp)
set_target_properties(com_doubles PROPERTIES PREFIX "")
# mingw-w64's ADO headers need -fpermissive (see app/view_win.cmake); the exports keep their plain
# names in the 32-bit build too.
target_compile_options(com_doubles PRIVATE -fpermissive)
target_link_options(com_doubles PRIVATE -static -Wl,--kill-at)
target_link_libraries(com_doubles PRIVATE ole32 oleaut32 uuid)

add_dependencies(test_end_to_end_win com_doubles qelmora sim_standin)
qelmora_wine_path(com_doubles_path "${CMAKE_CURRENT_BINARY_DIR}/com_doubles.dll")
qelmora_wine_path(qelmora_exe_path "${CMAKE_BINARY_DIR}/qelmora.exe")
qelmora_wine_path(sim_standin_e2e_path "${CMAKE_CURRENT_BINARY_DIR}/sim_standin.exe")
target_compile_definitions(test_end_to_end_win PRIVATE
  QELMORA_COM_DOUBLES="${com_doubles_path}"
  QELMORA_EXE="${qelmora_exe_path}"
  QELMORA_SIM_STANDIN="${sim_standin_e2e_path}")
set_tests_properties(test_end_to_end_win PROPERTIES ENVIRONMENT
  "QELMORA_WINE_XVFB=1;QELMORA_WINE_ROOT=${CMAKE_CURRENT_BINARY_DIR}/end_to_end")
# The real program on the lab store through ODBC too.
qelmora_lab_server_test(test_end_to_end_win)

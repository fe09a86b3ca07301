# The stand-in of the simulation program that the hand-off starts.
add_executable(sim_standin WIN32 ${CMAKE_CURRENT_SOURCE_DIR}/sim_standin.cpp)
add_dependencies(test_handoff_win sim_standin)
qelmora_wine_path(sim_standin_path "$<TARGET_FILE:sim_standin>")
target_compile_definitions(test_handoff_win PRIVATE QELMORA_SIM_STANDIN="${sim_standin_path}")

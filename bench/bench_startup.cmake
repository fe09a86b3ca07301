# The start-up benchmark drives the real Qt dialog; without the dialog program (e.g. the fuzzing
# build) it is left out.
if(TARGET qelmora_view)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  target_link_libraries(bench_startup PRIVATE qelmora_view Qt6::Widgets)
else()
  set_target_properties(bench_startup PROPERTIES EXCLUDE_FROM_ALL TRUE)
endif()

# The start-up benchmark drives the real Qt dialog.
if(TARGET qelmora_view)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  target_link_libraries(bench_startup PRIVATE qelmora_view Qt6::Widgets)
endif()

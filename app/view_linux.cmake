# The Qt6 view of the dialogs in a library of its own (the program and the tests link it), and the
# program qelmora, built into the top of the build directory beside qelmora-cli.
find_package(Qt6 REQUIRED COMPONENTS Widgets)

add_library(qelmora_view STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/main_dialog_view_linux.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/main_dialog_view_linux.h
  ${CMAKE_CURRENT_SOURCE_DIR}/about_dialog_view_linux.cpp)
set_target_properties(qelmora_view PROPERTIES AUTOMOC ON)
target_link_libraries(qelmora_view PUBLIC qelmora_app Qt6::Widgets)

# Icon 128: both images, compiled in as resources under :/qelmora/.
qt_add_resources(qelmora_view "qelmora_icons"
  PREFIX "/qelmora"
  BASE ${PROJECT_SOURCE_DIR}/res
  FILES ${PROJECT_SOURCE_DIR}/res/icon_32.png ${PROJECT_SOURCE_DIR}/res/icon_16.png)

add_executable(qelmora ${CMAKE_CURRENT_SOURCE_DIR}/main_linux.cpp)
target_link_libraries(qelmora PRIVATE qelmora_view)
set_target_properties(qelmora PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

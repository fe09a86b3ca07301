# The Windows program: the Win32 view of the main dialog, WinMain and the resources.
# Included by app/CMakeLists.txt when building for Windows.

# mingw-w64's ADO headers name each coclass in a bare declaration ("Connection;"), which GCC only
# accepts with -fpermissive; the one file that includes them gets it.
set_source_files_properties(${PROJECT_SOURCE_DIR}/store/ado_win.cpp
  DIRECTORY ${PROJECT_SOURCE_DIR}
  PROPERTIES COMPILE_OPTIONS -fpermissive)

enable_language(RC)

# The view as objects of its own: the program and the tests link them (objects, not an archive,
# since the library's ViewerApp calls CreateMainDialogView back).
add_library(qelmora_view OBJECT
  ${CMAKE_CURRENT_SOURCE_DIR}/main_dialog_view_win.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/main_dialog_view_win.h
  ${CMAKE_CURRENT_SOURCE_DIR}/about_dialog_view_win.cpp)
target_link_libraries(qelmora_view PUBLIC qelmora_app comdlg32)

# The resource script, compiled by windres; programs that show the dialogs link it as an object.
set(QELMORA_RC ${PROJECT_SOURCE_DIR}/res/qelmora.rc)
set_source_files_properties(${QELMORA_RC} PROPERTIES
  OBJECT_DEPENDS "${PROJECT_SOURCE_DIR}/res/qelmora.ico;${PROJECT_SOURCE_DIR}/res/resource.h")
add_library(qelmora_resources OBJECT ${QELMORA_RC})
target_include_directories(qelmora_resources PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/res)

add_executable(qelmora WIN32 ${CMAKE_CURRENT_SOURCE_DIR}/main_win.cpp)
target_link_libraries(qelmora PRIVATE qelmora_view qelmora_resources)
set_target_properties(qelmora PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

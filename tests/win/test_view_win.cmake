# The real dialog: the view's objects and the resources (the templates load from the test program),
# run on a display of its own.
target_link_libraries(test_view_win PRIVATE qelmora_view qelmora_resources)
set_tests_properties(test_view_win PROPERTIES ENVIRONMENT "QELMORA_WINE_XVFB=1")

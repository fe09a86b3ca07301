# Runs this program in code page 1252 instead of the usual 936.
set_tests_properties(test_code_page_1252 PROPERTIES ENVIRONMENT "QELMORA_WINE_LOCALE=de_DE.UTF-8")

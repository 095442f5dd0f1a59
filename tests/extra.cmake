# Tests that drive the build from outside rather than through Qt Test.
add_test(NAME install_layout COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/install_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(install_layout PROPERTIES TIMEOUT 120)

# Desktop integration: where files live, passwords in the keyring.
pkg_check_modules(LIBSECRET REQUIRED IMPORTED_TARGET libsecret-1)
target_sources(wexmoor_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/../src/settings/file_locations.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../src/settings/secret_service_keyring.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../src/program/desktop_environment.cpp)
target_link_libraries(wexmoor_core PUBLIC PkgConfig::LIBSECRET)

# The keyring tests run on a private session bus, with and without a keyring.
function(wexmoor_add_keyring_tests)
  add_executable(test_settings_keyring ${CMAKE_CURRENT_LIST_DIR}/../tests/settings/keyring_on_private_bus.cpp)
  target_link_libraries(test_settings_keyring PRIVATE wexmoor_test_peers GTest::gtest_main)
  set(wrapper ${CMAKE_CURRENT_LIST_DIR}/../tests/support/with_private_keyring.sh)
  add_test(NAME Keyring.WithSecretService COMMAND ${wrapper} $<TARGET_FILE:test_settings_keyring>)
  add_test(NAME Keyring.WithoutSecretService COMMAND ${wrapper} --no-keyring $<TARGET_FILE:test_settings_keyring>)
  set_tests_properties(Keyring.WithSecretService Keyring.WithoutSecretService PROPERTIES LABELS integration TIMEOUT 120)
endfunction()
target_sources(wexmoor_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src/program/upload_notifications.cpp)

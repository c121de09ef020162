# Helper programs of the OpenSSL loader tests (included by tests/CMakeLists.txt
# for the folder's test target UPD_TEST_TARGET): the loader in a shared
# library of its own, as in the product's library, and two executables that
# drive it, one of which exports a build number of its own.
set(probe_dir ${CMAKE_CURRENT_LIST_DIR}/fixtures)
add_library(openssl_probe SHARED ${probe_dir}/openssl_probe_library.cpp)
target_link_libraries(openssl_probe PRIVATE upd_net upd_warnings)
target_link_options(openssl_probe PRIVATE
  "-Wl,--version-script=${probe_dir}/openssl_probe.map" -Wl,--no-undefined)
set_target_properties(openssl_probe PROPERTIES LINK_DEPENDS ${probe_dir}/openssl_probe.map
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

add_executable(openssl_probe_host ${probe_dir}/openssl_probe_main.cpp)
target_link_libraries(openssl_probe_host PRIVATE openssl_probe upd_warnings)

add_executable(openssl_probe_foreign_id ${probe_dir}/openssl_probe_main.cpp)
target_compile_definitions(openssl_probe_foreign_id PRIVATE UPD_PROBE_FOREIGN_BUILD_ID=65050632)
target_link_libraries(openssl_probe_foreign_id PRIVATE openssl_probe upd_warnings)
set_target_properties(openssl_probe_foreign_id PROPERTIES ENABLE_EXPORTS ON)

add_dependencies(${UPD_TEST_TARGET} openssl_probe_host openssl_probe_foreign_id)
# The tests build fake OpenSSL libraries with the C compiler.
target_compile_definitions(${UPD_TEST_TARGET} PRIVATE UPD_C_COMPILER="${CMAKE_C_COMPILER}")

# Warnings apply to the project's own targets only (not to GoogleTest or Benchmark).
add_library(upd_warnings INTERFACE)
target_compile_options(upd_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(UPD_WERROR)
  target_compile_options(upd_warnings INTERFACE -Werror)
endif()

# One INTERFACE target carries the settings every Kestrow target shares.
add_library(kestrow_common INTERFACE)
target_compile_features(kestrow_common INTERFACE cxx_std_20)
target_compile_options(kestrow_common INTERFACE -Wall -Wextra -Wpedantic)
if(KESTROW_WERROR)
  target_compile_options(kestrow_common INTERFACE -Werror)
endif()
target_include_directories(kestrow_common INTERFACE ${PROJECT_SOURCE_DIR}/src)
target_compile_definitions(kestrow_common INTERFACE KESTROW_VERSION="${PROJECT_VERSION}")

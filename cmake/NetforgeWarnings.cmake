# Settings shared by every Netforge target, applied per target so that a
# parent project's own targets are never touched.
function(netforge_target_settings target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
  # -ffp-contract=off: results must not depend on whether the compiler fuses
  # multiply and add; never -ffast-math for the same reason.
  target_compile_options(${target} PRIVATE -Wall -Wextra -ffp-contract=off)
  if(NETFORGE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(NETFORGE_LIBFUZZER)
    # Coverage instrumentation for libFuzzer; the fuzz targets add the driver.
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
  if(NETFORGE_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

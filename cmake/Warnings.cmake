# Warnings and sanitizers shared by every target of the project.
add_compile_options(-Wall -Wextra)
if(VANDREL_WERROR)
  add_compile_options(-Werror)
endif()

if(VANDREL_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_compile_options(${_san})
  add_link_options(${_san})
  # Run-time options for every test: leaks are errors, UB aborts.
  set(VANDREL_SANITIZER_ENV
      "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
      "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
      "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan.supp:print_suppressions=0")
else()
  set(VANDREL_SANITIZER_ENV "")
endif()

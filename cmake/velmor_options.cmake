# Warnings for the project's own targets, and sanitizers for the whole build.
add_library(velmor-warnings INTERFACE)
add_library(velmor::warnings ALIAS velmor-warnings)
target_compile_options(velmor-warnings INTERFACE -Wall -Wextra -Wpedantic
                       $<$<BOOL:${VELMOR_STRICT}>:-Werror>)

if(VELMOR_SANITIZE)
  add_compile_options(-fsanitize=${VELMOR_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VELMOR_SANITIZE})
  # With sanitizers GCC 12 reports maybe-uninitialized values inside Boost's
  # parsers that the same code at plain optimisation does not have.
  add_compile_options(-Wno-maybe-uninitialized)
  if(VELMOR_SANITIZE MATCHES "thread")
    # GCC warns that ThreadSanitizer cannot see Asio's atomic_thread_fence; the
    # warning concerns the library's headers, not our code.
    add_compile_options(-Wno-tsan)
  endif()
endif()

# ZARVEL_SANITIZE=address,undefined builds and links every target with those sanitizers;
# ZARVEL_WERROR turns our warnings into errors. Both apply to this project's targets only:
# Qt, GoogleTest and the system headers come in as system includes and stay unchecked.
if(ZARVEL_SANITIZE)
  string(REPLACE "," ";" zarvel_sanitizers "${ZARVEL_SANITIZE}")
  foreach(sanitizer IN LISTS zarvel_sanitizers)
    if(NOT sanitizer MATCHES "^(address|undefined|leak|thread)$")
      message(FATAL_ERROR "ZARVEL_SANITIZE: unknown sanitizer '${sanitizer}'")
    endif()
  endforeach()
  list(JOIN zarvel_sanitizers "," zarvel_sanitizer_list)
  set(zarvel_sanitize_flags -fsanitize=${zarvel_sanitizer_list} -fno-omit-frame-pointer)
  if("undefined" IN_LIST zarvel_sanitizers)
    # A finding must fail the test that caused it, not scroll past in its output.
    list(APPEND zarvel_sanitize_flags -fno-sanitize-recover=undefined)
  endif()
  add_compile_options(${zarvel_sanitize_flags})
  add_link_options(${zarvel_sanitize_flags})
  message(STATUS "Sanitizers: ${zarvel_sanitizer_list}")
endif()

if(ZARVEL_WERROR)
  add_compile_options(-Werror)
endif()

# The hardening Debian builds its packages with, for every build: fortified libc calls,
# stack protection, and a relocation table that is read-only before main runs.
# A sanitizer build keeps its own instrumentation of the libc calls instead of fortified ones.
if(NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  add_compile_options($<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
endif()
add_compile_options(-fstack-protector-strong)
add_link_options(LINKER:-z,relro LINKER:-z,now)

# Warnings as errors everywhere, PE hardening and a static runtime for the Windows programs.
add_library(velmora_flags INTERFACE)

if(MSVC)
  # /sdl: the compiler's security checks as errors and its run-time checks; /guard:cf: indirect
  # calls only to valid targets; /CETCOMPAT: shadow stacks where the processor has them (x64).
  target_compile_options(velmora_flags INTERFACE /W4 /WX /permissive- /utf-8 /EHsc /sdl
                                                 /guard:cf)
  target_compile_definitions(velmora_flags INTERFACE UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>" CACHE STRING "" FORCE)
  target_link_options(velmora_flags INTERFACE /DYNAMICBASE /NXCOMPAT /guard:cf)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    target_link_options(velmora_flags INTERFACE /HIGHENTROPYVA /CETCOMPAT)
  endif()
  return()
endif()

target_compile_options(velmora_flags INTERFACE -Wall -Wextra -Wpedantic -Werror
                                               -Wno-missing-field-initializers)

if(WIN32)
  target_compile_definitions(velmora_flags INTERFACE UNICODE _UNICODE NOMINMAX
                                                     WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
  target_compile_options(velmora_flags INTERFACE -fstack-protector-strong
                         $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
  target_link_options(velmora_flags INTERFACE -static -static-libgcc -static-libstdc++
                      -fstack-protector-strong -Wl,--dynamicbase -Wl,--nxcompat)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    target_link_options(velmora_flags INTERFACE -Wl,--high-entropy-va)
  endif()
else()
  target_compile_options(velmora_flags INTERFACE -fstack-protector-strong)
  if(VELMORA_SANITIZE)
    target_compile_options(velmora_flags INTERFACE -fsanitize=address,undefined
                           -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(velmora_flags INTERFACE -fsanitize=address,undefined)
  endif()
endif()

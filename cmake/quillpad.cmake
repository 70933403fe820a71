# Compiler settings shared by every target.

if(WIN32)
  enable_language(RC)
  # windres never writes a dependency file by itself: without one, editing
  # resource.h or strings.def would not rebuild the resources.
  set(CMAKE_RC_COMPILE_OBJECT
    "<CMAKE_RC_COMPILER> -O coff <DEFINES> <INCLUDES> <FLAGS> --preprocessor-arg=-MMD --preprocessor-arg=-MF<DEP_FILE> --preprocessor-arg=-MT<OBJECT> <SOURCE> <OBJECT>")
  set(CMAKE_RC_DEPFILE_FORMAT gcc)
  set(CMAKE_DEPFILE_FLAGS_RC " ")
  # The ANSI character model: never UNICODE.
  add_compile_definitions(NOMINMAX STRICT WINVER=0x0601 _WIN32_WINNT=0x0601)
endif()

include_directories(${CMAKE_SOURCE_DIR})

set(QP_WARNINGS -Wall -Wextra -Wno-unused-parameter -Wshadow -Wformat=2)

if(NOT WIN32 AND QP_SANITIZE AND NOT QP_BENCH AND NOT QP_FUZZ)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  add_compile_options(-ffunction-sections -fdata-sections)
  add_link_options(-Wl,--gc-sections)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    # 4 GiB of address space on 64-bit Windows instead of 2: room for files
    # of well over a gigabyte. Every pointer may lie above 2 GiB.
    add_link_options(-Wl,--large-address-aware)
  endif()
endif()

# Product code: no exceptions, no RTTI, warnings as errors.
function(qp_product_target target)
  get_target_property(type ${target} TYPE)
  target_compile_options(${target} PRIVATE ${QP_WARNINGS} -Werror
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
endfunction()

# A self-contained Windows executable importing only system DLLs.
function(qp_static_exe target)
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
endfunction()

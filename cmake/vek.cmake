# Project-wide helpers: one call declares a plug-in, one call declares a test.

set(VEK_HOST_SOURCES
  ${PROJECT_SOURCE_DIR}/host/binding.cpp
  ${PROJECT_SOURCE_DIR}/host/loader.cpp
  ${PROJECT_SOURCE_DIR}/host/exports.cpp)

set(VEK_PLUGINS "" CACHE INTERNAL "every plug-in target")

# vek_add_plugin(<ShaderName> <sources...>)
# A plug-in is one shared library named after its shader, without a "lib" prefix,
# that exports exactly its shader, _init, _exit, _version and miSetModuleHandle,
# and links against nothing but the C and mathematics libraries.
function(vek_add_plugin name)
  add_library(${name} MODULE ${ARGN} ${VEK_HOST_SOURCES})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LIBRARY_OUTPUT_DIRECTORY ${VEK_PLUGIN_DIR}
    RUNTIME_OUTPUT_DIRECTORY ${VEK_PLUGIN_DIR})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE VEK_SHADER_NAME=${name})
  target_compile_options(${name} PRIVATE -fno-exceptions -fno-rtti)
  if(WIN32)
    target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
  elseif(NOT VEK_SANITIZE)
    # Everything a plug-in needs from outside is resolved at link time except the
    # host, which it reaches by name at run time.
    target_link_options(${name} PRIVATE -Wl,--no-undefined -Wl,--as-needed)
  endif()
  set(VEK_PLUGINS ${VEK_PLUGINS} ${name} CACHE INTERNAL "every plug-in target")
endfunction()

# vek_add_test(<name> <sources...> [PLUGIN] [LIBS <libs...>])
# PLUGIN: the test loads built plug-ins through the recording host of tests/support.
function(vek_add_test name)
  cmake_parse_arguments(T "PLUGIN" "" "LIBS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE GTest::gtest_main ${T_LIBS})
  target_compile_definitions(${name} PRIVATE
    VEK_PLUGIN_DIR="${VEK_PLUGIN_DIR}"
    VEK_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VEK_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(VEK_SANITIZE)
    target_compile_definitions(${name} PRIVATE VEK_SANITIZED=1)
  endif()
  if(T_PLUGIN)
    target_link_libraries(${name} PRIVATE vek_plugin_testing)
    add_dependencies(${name} vek_test_modules)
  endif()
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    # Under wine every start of a program costs about half a second: one test
    # entry runs the whole program, through CMAKE_CROSSCOMPILING_EMULATOR.
    add_test(NAME ${name} COMMAND ${name})
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

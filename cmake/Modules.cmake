# Each folder of sources becomes one static library made of every .cpp in it, so a
# new file needs no edit of a list. A folder with no sources yet gives an interface
# library that only passes its dependencies on.
function(orvanth_module name dir)
  file(GLOB _sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  list(FILTER _sources INCLUDE REGEX ".*\\.cpp$")
  if(_sources)
    file(GLOB _all CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
    add_library(${name} STATIC ${_all})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# One GoogleTest executable per test folder; it runs under the virtual display
# that ./test provides when a test needs a window or GL.
function(orvanth_test name dir)
  file(GLOB _sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  if(NOT _sources)
    return()
  endif()
  add_executable(${name} ${_sources})
  target_link_libraries(${name} PRIVATE GTest::gtest ${ARGN})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 900)
endfunction()

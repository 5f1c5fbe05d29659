# vexa: the program with the windows. The standard and the error table template
# are written beside it at build time.
if(TARGET vexa_forms)
  add_executable(vexa ${CMAKE_CURRENT_SOURCE_DIR}/vexa_main.cpp)
  target_link_libraries(vexa PRIVATE vexa_forms)
  if(TARGET vexa_standard_files)
    add_dependencies(vexa vexa_standard_files)
  endif()
endif()

# vexa-query: Access SQL on one dBASE table as TestTab, with the standard's tables and saved queries.
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/vexa_query.cpp AND TARGET vexa_standard)
  add_executable(vexa-query vexa_query.cpp)
  target_link_libraries(vexa-query PRIVATE vexa_standard vexa_dbase vexa_block vexa_common)
endif()

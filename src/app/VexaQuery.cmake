# vexa-query: Access SQL on one dBASE table as TestTab, with the standard's tables and saved queries.
add_executable(vexa-query vexa_query.cpp)
target_link_libraries(vexa-query PRIVATE vexa_standard vexa_dbase vexa_block vexa_common)

# vexa-check: the batch check run (the check-run driver with a terminal view).
add_executable(vexa-check vexa_check.cpp)
target_link_libraries(vexa-check PRIVATE vexa_report vexa_run vexa_export vexa_standard vexa_block vexa_dbase vexa_common)

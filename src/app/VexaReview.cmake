# vexa-review: the exceptions and the run history of a map from the command line.
add_executable(vexa-review vexa_review.cpp)
target_link_libraries(vexa-review PRIVATE vexa_report vexa_export vexa_review vexa_standard vexa_block vexa_dbase vexa_common)

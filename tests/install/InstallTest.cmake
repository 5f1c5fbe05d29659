# Runs as cmake -P: installs the build into WORK_DIR/usr and checks the installed tree
# and the installed vexa-check (its version, a check of a copy of the sample map
# with the standard and template it finds in share/vexa, and its export through the
# writer module it finds in lib/vexa).
set(prefix ${WORK_DIR}/usr)
file(REMOVE_RECURSE ${WORK_DIR})

function(fail)
  string(JOIN "" text ${ARGN})
  message(FATAL_ERROR "${text}")
endfunction()

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  fail("cmake --install failed (${rc}):\n${out}${err}")
endif()

set(expected bin/vexa-check bin/vexa-info bin/vexa-query bin/vexa-review lib/vexa/vexa-gdal.so share/vexa/Chyby.dbf
             share/vexa/StandardGXD.mdb)
if(WITH_GUI)
  list(APPEND expected bin/vexa share/applications/vexa.desktop share/icons/hicolor/scalable/apps/vexa.svg)
endif()
if(WITH_MAN)
  list(APPEND expected share/man/man1/vexa-check.1 share/man/man1/vexa-info.1 share/man/man1/vexa-query.1
                       share/man/man1/vexa-review.1)
endif()
foreach(file ${expected})
  if(NOT EXISTS ${prefix}/${file})
    fail("not installed: ${file}")
  endif()
endforeach()
# The companions are not beside the installed programs: they must be found in share/vexa.
if(EXISTS ${prefix}/bin/StandardGXD.mdb OR EXISTS ${prefix}/bin/Chyby.dbf)
  fail("companion files installed into bin")
endif()
if(WITH_GUI)
  file(READ ${prefix}/share/applications/vexa.desktop desktop)
  if(NOT desktop MATCHES "\nExec=vexa" OR NOT desktop MATCHES "\nIcon=vexa")
    fail("desktop entry without Exec=vexa and Icon=vexa:\n${desktop}")
  endif()
endif()
if(WITH_MAN)
  file(READ ${prefix}/share/man/man1/vexa-check.1 page)
  if(NOT page MATCHES "Návratový stav" OR NOT page MATCHES "${VERSION}")
    fail("vexa-check.1 lacks the exit statuses or the version")
  endif()
endif()

# Every program takes the same spellings for the same things: --version, --help and -h,
# and --standard FILE (a missing file is named, never an unknown option).
set(programs vexa-check vexa-info vexa-query vexa-review)
if(WITH_GUI)
  list(APPEND programs vexa)
endif()
foreach(program ${programs})
  execute_process(COMMAND ${prefix}/bin/${program} --version RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "^${program} ${VERSION}\n$")
    fail("${program} --version: ${rc} '${out}' '${err}'")
  endif()
  foreach(help --help -h)
    execute_process(COMMAND ${prefix}/bin/${program} ${help} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT out MATCHES "^Použitie: ${program} ")
      fail("${program} ${help}: ${rc} '${out}' '${err}'")
    endif()
  endforeach()
endforeach()
foreach(program vexa-check vexa-info vexa-query)
  set(args --standard ${WORK_DIR}/chyba.mdb)
  if(program STREQUAL "vexa-check")
    list(APPEND args --points 1 ${SAMPLE_MAP})
  elseif(program STREQUAL "vexa-query")
    list(APPEND args ${SAMPLE_MAP}/LE_00002.blk/p0001.dbf "SELECT 1")
  endif()
  execute_process(COMMAND ${prefix}/bin/${program} ${args} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 2 OR NOT err MATCHES "chyba\\.mdb" OR err MATCHES "nezn[a-zá]+ voľba")
    fail("${program} --standard with a missing file: ${rc} '${out}' '${err}'")
  endif()
endforeach()

# A check of one block of the sample map: its one inadmissible point, found with the
# installed standard and written through the installed template.
file(COPY ${SAMPLE_MAP}/ DESTINATION ${WORK_DIR}/map)
file(REMOVE ${WORK_DIR}/map/Chyby.DBF)
execute_process(COMMAND ${prefix}/bin/vexa-check --quiet --points 1 --block LE_00002.blk ${WORK_DIR}/map
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 1 OR NOT out STREQUAL "LE_00002.blk\tB\t2\t6\t-31\tneprípustný druh vo vrstve\n" OR
   NOT EXISTS ${WORK_DIR}/map/Chyby.DBF)
  fail("installed vexa-check on the sample map: ${rc}\n'${out}'\n'${err}'")
endif()
# The installed writer module: the same check exported as a GeoPackage.
execute_process(COMMAND ${prefix}/bin/vexa-check --quiet --points 1 --block LE_00002.blk --export ${WORK_DIR}/f.gpkg
                        ${WORK_DIR}/map RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 1 OR NOT EXISTS ${WORK_DIR}/f.gpkg)
  fail("installed vexa-check --export: ${rc}\n'${out}'\n'${err}'")
endif()
# The installed vexa-review: the two runs above are kept, and compared (one finding persists).
execute_process(COMMAND ${prefix}/bin/vexa-review ${WORK_DIR}/map compare
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^{\"status\":\"persisting\",\"block\":\"LE_00002.blk\"[^\n]*\n$")
  fail("installed vexa-review compare: ${rc}\n'${out}'\n'${err}'")
endif()
execute_process(COMMAND ${prefix}/bin/vexa-review --version RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "vexa-review ${VERSION}\n")
  fail("vexa-review --version: ${rc} '${out}' '${err}'")
endif()
# The installed GDAL driver: GDAL loads it from the installed plugin folder and opens the
# checked map with it, findings included.
if(NOT EXISTS ${prefix}/${GDAL_PLUGIN_DIR}/ogr_Vexa.so)
  fail("not installed: ${GDAL_PLUGIN_DIR}/ogr_Vexa.so")
endif()
set(preload)
if(PRELOAD)
  # ogrinfo's own leaks are not ours.
  set(preload LD_PRELOAD=${PRELOAD} ASAN_OPTIONS=detect_leaks=0)
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env GDAL_DRIVER_PATH=${prefix}/${GDAL_PLUGIN_DIR} ${preload}
                        ogrinfo -ro -so ${WORK_DIR}/map RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "using driver `Vexa' successful" OR NOT out MATCHES "findings_line")
  fail("ogrinfo through the installed driver: ${rc}\n'${out}'\n'${err}'")
endif()
file(REMOVE_RECURSE ${WORK_DIR})

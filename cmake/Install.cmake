# cmake --install: the programs into bin, the GIS export's writer module into lib/vexa,
# their companion files (the error table template and the sample standard) into share/vexa, where an installed program looks
# for them (../share/vexa from its own directory), the desktop entry with its icon and
# the manual pages made from each program's --help by help2man (when it is there).
include(GNUInstallDirs)

set(VEXA_PROGRAMS vexa-check vexa-info vexa-query vexa-review)
if(TARGET vexa)
  list(APPEND VEXA_PROGRAMS vexa)
endif()
install(TARGETS ${VEXA_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The GIS export's writer module, where an installed program looks for it (../lib/vexa).
install(TARGETS vexa_gdal LIBRARY DESTINATION lib/vexa)
# The programs find the companions at ../share/vexa only with the usual layout.
if(NOT CMAKE_INSTALL_BINDIR STREQUAL "bin" OR NOT CMAKE_INSTALL_DATADIR STREQUAL "share")
  message(WARNING "Installed programs look for their files in ../share/vexa: "
                  "keep CMAKE_INSTALL_BINDIR=bin and CMAKE_INSTALL_DATADIR=share")
endif()
install(FILES ${VEXA_BIN_DIR}/Chyby.dbf ${VEXA_BIN_DIR}/StandardGXD.mdb
        DESTINATION ${CMAKE_INSTALL_DATADIR}/vexa)
if(TARGET vexa)
  install(FILES ${PROJECT_SOURCE_DIR}/share/vexa.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/share/vexa.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

find_program(VEXA_HELP2MAN help2man)
if(VEXA_HELP2MAN)
  set(VEXA_MAN_DIR ${CMAKE_BINARY_DIR}/man)
  set(vexa_man_pages)
  set(vexa-check_WHAT "skontroluje bloky lesníckej mapy podľa štandardu")
  set(vexa-info_WHAT "vypíše obsah bloku alebo štandardu ako JSON")
  set(vexa-query_WHAT "vykoná príkaz Access SQL nad tabuľkou dBASE")
  set(vexa-review_WHAT "výnimky a história kontrol lesníckej mapy")
  set(vexa_WHAT "okno kontroly lesníckej mapy podľa štandardu")
  foreach(program ${VEXA_PROGRAMS})
    set(page ${VEXA_MAN_DIR}/${program}.1)
    add_custom_command(
      OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${VEXA_MAN_DIR}
      COMMAND ${VEXA_HELP2MAN} --no-info --locale=C.UTF-8 --name=${${program}_WHAT}
              --output=${page} $<TARGET_FILE:${program}>
      DEPENDS ${program}
      COMMENT "Writing the manual page ${program}.1"
      VERBATIM)
    list(APPEND vexa_man_pages ${page})
  endforeach()
  add_custom_target(vexa_man_pages ALL DEPENDS ${vexa_man_pages})
  install(FILES ${vexa_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no manual pages")
endif()

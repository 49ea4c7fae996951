# The installed layout. Include this after every program and library target is defined.
#
#   <prefix>/lib/dizor/        dizor, dizor-cli, libdizor_qt.so and the archiver libraries,
#                              and, when its user can write there, the settings file
#                              Dizor-K.ini, which the programs write beside themselves: an
#                              install into ~/.local needs no root and keeps everything in one
#                              folder. A system-wide install (/usr, the Debian package) is
#                              root's, and each user's settings go to ~/.config/dizor instead
#   <prefix>/bin/              dizor and dizor-cli as relative symbolic links into that folder;
#                              the programs resolve the link to find their folder
#   <prefix>/share/            the desktop entry, the icon, the GCA MIME type and the manual
#                              pages dizor(1) and dizor-cli(1)
#
# The folder is also the libraries' system folder that the Linux platform has fixed at build
# time (CMAKE_INSTALL_FULL_LIBDIR/dizor), so an install under the configured prefix finds
# its libraries either way.
include(GNUInstallDirs)
set(DIZOR_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/dizor)

set(_dizor_programs "")
foreach(_target dizor dizor-cli)
  if(TARGET ${_target})
    install(TARGETS ${_target} RUNTIME DESTINATION ${DIZOR_INSTALL_DIR})
    list(APPEND _dizor_programs ${_target})
  endif()
endforeach()

# The Qt module and the archiver libraries (their targets have had either name).
foreach(_target dizor_qt
                UNZIP32 ZIP32J UNLHA32 CAB32 UNRAR32 UNRAR
                dizor_unzip32 dizor_zip32j dizor_unlha32 dizor_cab32 dizor_unrar32 dizor_unrar)
  if(TARGET ${_target})
    install(TARGETS ${_target} LIBRARY DESTINATION ${DIZOR_INSTALL_DIR})
  endif()
endforeach()

# Links in bin/, relative so that the installed tree can be moved or packaged (DESTDIR).
file(RELATIVE_PATH _dizor_link_dir /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${DIZOR_INSTALL_DIR})
foreach(_program ${_dizor_programs})
  install(CODE "
    set(_bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${_bin}\")
    message(STATUS \"Installing: \${_bin}/$<TARGET_FILE_NAME:${_program}> -> ${_dizor_link_dir}/$<TARGET_FILE_NAME:${_program}>\")
    file(CREATE_LINK \"${_dizor_link_dir}/$<TARGET_FILE_NAME:${_program}>\"
         \"\${_bin}/$<TARGET_FILE_NAME:${_program}>\" SYMBOLIC)
  ")
endforeach()

# The desktop entry names the program by its full path: a desktop session does not always
# have <prefix>/bin (~/.local/bin in particular) on its search path.
if(TARGET dizor)
  install(CODE "
    set(_apps \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\")
    set(_exe \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/dizor\")
    file(READ \"${PROJECT_SOURCE_DIR}/data/dizor.desktop\" _entry)
    string(REPLACE \"\\nExec=dizor \" \"\\nExec=\\\"\${_exe}\\\" \" _entry \"\${_entry}\")
    string(REPLACE \"\\nTryExec=dizor\\n\" \"\\nTryExec=\${_exe}\\n\" _entry \"\${_entry}\")
    file(MAKE_DIRECTORY \"\${_apps}\")
    message(STATUS \"Installing: \${_apps}/dizor.desktop\")
    file(WRITE \"\${_apps}/dizor.desktop\" \"\${_entry}\")
  ")
  install(FILES ${PROJECT_SOURCE_DIR}/data/dizor.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${PROJECT_SOURCE_DIR}/data/dizor.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)
  install(FILES ${PROJECT_SOURCE_DIR}/data/dizor-mime.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME dizor.xml)

  # Register the GCA type and the desktop entry right away on a live install; a package
  # (DESTDIR set) leaves that to its own triggers. Best effort: a missing tool changes nothing.
  install(CODE "
    if(\"\$ENV{DESTDIR}\" STREQUAL \"\")
      find_program(_update_mime update-mime-database)
      find_program(_update_desktop update-desktop-database)
      if(_update_mime)
        execute_process(COMMAND \${_update_mime} \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/mime\"
                        OUTPUT_QUIET ERROR_QUIET)
      endif()
      if(_update_desktop)
        execute_process(COMMAND \${_update_desktop} \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\"
                        OUTPUT_QUIET ERROR_QUIET)
      endif()
    endif()
  ")
endif()

# The manual pages, compressed as Debian installs them (gzip -9n: the same bytes every build):
# English in man1, Japanese in ja/man1, where man finds it under a Japanese locale (and man-db
# then sets it with Japanese line breaking).
find_program(DIZOR_GZIP gzip)
set(_dizor_man_targets "")
foreach(_language "" "ja")
  set(_sub "")
  if(_language)
    set(_sub "${_language}/")
  endif()
  set(_pages "")
  foreach(_program ${_dizor_programs})
    set(_page ${PROJECT_SOURCE_DIR}/data/man/${_sub}${_program}.1)
    if(NOT EXISTS ${_page})
      continue()
    endif()
    if(DIZOR_GZIP)
      set(_compressed ${CMAKE_BINARY_DIR}/man/${_sub}${_program}.1.gz)
      add_custom_command(OUTPUT ${_compressed}
                         COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man/${_sub}
                         COMMAND sh -c "\"$0\" -9n -c \"$1\" > \"$2\"" ${DIZOR_GZIP} ${_page}
                                 ${_compressed}
                         DEPENDS ${_page} VERBATIM)
      list(APPEND _pages ${_compressed})
    else()
      list(APPEND _pages ${_page})
    endif()
  endforeach()
  if(_pages)
    list(APPEND _dizor_man_targets ${_pages})
    install(FILES ${_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/${_sub}man1)
  endif()
endforeach()
if(_dizor_man_targets)
  add_custom_target(dizor_man_pages ALL DEPENDS ${_dizor_man_targets})
endif()

include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)

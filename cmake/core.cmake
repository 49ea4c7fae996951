# dizor_core: the portable core. It links neither Qt nor any operating-system library, and
# compiles with g++, clang and mingw-w64 alike.
add_library(dizor_core STATIC
  app/batch.cpp
  app/command_line.cpp
  app/controls.cpp
  app/form1.cpp
  archivers/dll_check.cpp
  extract/format_commands.cpp
  extract/make_archive_file.cpp
  settings/settings_file.cpp
  settings/settings_form.cpp
  support/error_message.cpp
  support/path_helpers.cpp
  support/runtime_error.cpp
)
target_include_directories(dizor_core PUBLIC ${PROJECT_SOURCE_DIR})
dizor_warnings(dizor_core)

# dizor_core: the portable core. It links neither Qt nor any operating-system library, and
# compiles with g++, clang and mingw-w64 alike.
add_library(dizor_core STATIC
  app/batch.cpp
  app/command_line.cpp
  app/controls.cpp
  app/extraction_job.cpp
  app/form1.cpp
  app/library_check.cpp
  app/settings_window.cpp
  app/window_events.cpp
  archivers/format_table.cpp
  archivers/library_set.cpp
  extract/destination.cpp
  extract/format_commands.cpp
  settings/settings_file.cpp
  support/error_message.cpp
  support/path_helpers.cpp
  support/runtime_error.cpp
)
target_include_directories(dizor_core PUBLIC ${PROJECT_SOURCE_DIR})
dizor_warnings(dizor_core)

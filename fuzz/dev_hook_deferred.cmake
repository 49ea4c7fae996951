# The deferred half of dev_hook.cmake, run at the end of the top-level CMakeLists.txt.
# CMake creates no subdirectory during deferred calls, so each folder's CMakeLists.txt is
# included instead (they refer to their own files through CMAKE_CURRENT_LIST_DIR, which
# works both ways).
if(DIZOR_FUZZ AND NOT TARGET dizor_fuzz_support)
  include(${CMAKE_SOURCE_DIR}/fuzz/CMakeLists.txt)
endif()
if(DIZOR_BUILD_TESTS AND TARGET dizor_unzip32 AND NOT TARGET dizor_hostile_test)
  include(${CMAKE_SOURCE_DIR}/tests/hostile/CMakeLists.txt)
endif()
if(DIZOR_BUILD_TESTS AND TARGET dizor_platform AND NOT TARGET dizor_settings_crash_test)
  include(${CMAKE_SOURCE_DIR}/tests/settings_crash/CMakeLists.txt)
endif()

# Adds the robustness folders (fuzz/, tests/hostile/, tests/settings_crash/) to a build of the
# whole tree without editing the top-level CMakeLists.txt:
#   cmake -DCMAKE_PROJECT_INCLUDE=<src>/fuzz/dev_hook.cmake -DDIZOR_FUZZ=ON ...
# The calls run once the top-level file is done, and skip any folder the tree already added.
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL
               include ${CMAKE_SOURCE_DIR}/fuzz/dev_hook_deferred.cmake)

// How the libraries export their entry points: C names, default visibility (everything
// else is built hidden), and the small functions every library of the family has.
#ifndef DIZOR_LIBS_ENGINE_EXPORT_H_
#define DIZOR_LIBS_ENGINE_EXPORT_H_

#include <cstdint>

#include "engine/library_runner.h"

#define DIZOR_EXPORT extern "C" __attribute__((visibility("default")))

// GetVersion, GetRunning and the Set/Get mode pairs for the prefix P over `state`.
// Set returns 0 (success) and stores the value; none of them can fail or throw.
#define DIZOR_DEFINE_COMMON_ENTRIES(P, state, version)                                        \
  DIZOR_EXPORT uint16_t P##GetVersion(void) { return (version); }                             \
  DIZOR_EXPORT int32_t P##GetRunning(void) { return (state).running.load() > 0 ? 1 : 0; }     \
  DIZOR_EXPORT int32_t P##GetBackGroundMode(void) { return (state).background_mode.load(); }  \
  DIZOR_EXPORT int32_t P##SetBackGroundMode(int32_t on) {                                     \
    (state).background_mode = on != 0 ? 1 : 0;                                                \
    return 0;                                                                                 \
  }                                                                                           \
  DIZOR_EXPORT int32_t P##GetCursorMode(void) { return (state).cursor_mode.load(); }          \
  DIZOR_EXPORT int32_t P##SetCursorMode(int32_t on) {                                         \
    (state).cursor_mode = on != 0 ? 1 : 0;                                                    \
    return 0;                                                                                 \
  }                                                                                           \
  DIZOR_EXPORT uint16_t P##GetCursorInterval(void) { return (state).cursor_interval.load(); } \
  DIZOR_EXPORT int32_t P##SetCursorInterval(uint16_t ms) {                                    \
    (state).cursor_interval = ms;                                                             \
    return 0;                                                                                 \
  }

// <prefix>SetDizorCallbacks: the program's password and progress callbacks for the next
// main-entry calls of this library (null to remove them).
#define DIZOR_DEFINE_CALLBACK_ENTRY(name, state)                                    \
  DIZOR_EXPORT int32_t name(DizorPasswordProc password, DizorProgressProc progress, \
                            void* context) {                                        \
    (state).password_proc = password;                                               \
    (state).progress_proc = progress;                                               \
    (state).callback_context = context;                                             \
    return 0;                                                                       \
  }

namespace engine {

// 1.10, the version of the program these libraries came with.
constexpr uint16_t kLibraryVersion = 110;

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_EXPORT_H_

/* What our archiver libraries ask the program that calls them. The family's libraries on
 * Windows ask for a password and show their progress themselves, in windows of their own;
 * ours have no window, so the program registers these callbacks with
 * <prefix>SetDizorCallbacks(password, progress, context) before a main-entry call, and they
 * are called on the thread of that call. Every text is UTF-8. */
#ifndef DIZOR_LIBS_DIZOR_CALLBACKS_H_
#define DIZOR_LIBS_DIZOR_CALLBACKS_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* How the extraction of the current archive goes, at the start of each entry and after each
 * piece of it is written. A total of 0 means the archive does not say. */
typedef struct DizorProgress {
  uint32_t struct_size; /* sizeof(DizorProgress), for later additions */
  const char* entry;    /* the entry being written */
  uint64_t bytes_done;
  uint64_t bytes_total;
  uint64_t entries_done;
  uint64_t entries_total;
} DizorProgress;

/* The password of the archive being extracted: writes it NUL-terminated into `password`
 * (at most size - 1 bytes) and returns 1, or returns 0 when the user cancels. `wrong` is 1
 * when the previous answer proved wrong. The library asks once per archive and reuses the
 * answer for its entries. */
typedef int32_t (*DizorPasswordProc)(void* context, int32_t wrong, char* password, uint32_t size);

/* Returns non-zero to go on; 0 cancels: the entry being written is removed, the call ends
 * with 0x8020 and what was extracted before stays. */
typedef int32_t (*DizorProgressProc)(void* context, const DizorProgress* progress);

#ifdef __cplusplus
}
#endif

#endif /* DIZOR_LIBS_DIZOR_CALLBACKS_H_ */

// Results of the main entry points of our archiver libraries. Users see a non-zero one as
// "Error Code:0x..." in the program's failure box, so each kind of failure keeps one number
// (in the 0x8000 range, as the library family does). The README lists them.
#ifndef DIZOR_LIBS_ENGINE_RESULT_CODES_H_
#define DIZOR_LIBS_ENGINE_RESULT_CODES_H_

namespace engine {

enum class ResultCode : int {
  kOk = 0,
  kUnsupportedMethod = 0x8009,  // a compression method no engine here decodes
  kEncrypted = 0x800A,          // an encrypted entry (no password support)
  kDamaged = 0x800C,            // CRC error, truncated or otherwise broken data
  kMissingVolume = 0x800F,      // a volume of a multi-volume set is missing or unreadable
  kCannotWrite = 0x8013,        // a file or folder could not be created or written
  kCannotOpen = 0x8018,         // the archive file cannot be opened or read
  kNotThisFormat = 0x8019,      // the file is not an archive of this library's format
  kBadCommandLine = 0x801C,     // the command line could not be understood
  kOutOfMemory = 0x801E,        // memory ran out
  kCancelled = 0x8020,          // the program's progress callback asked to stop
  kUnsafeEntry = 0x8050,        // an entry would have been written outside the destination
  kHelperMissing = 0x8051,      // UNRAR32.DLL: UNRAR.DLL is missing beside it or unusable
};

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_RESULT_CODES_H_

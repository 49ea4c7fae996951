// What the hostile-archive tests share: calling a built archiver library exactly as the
// program does, reading corpus archives, and looking at what an extraction left behind.
#ifndef DIZOR_TESTS_HOSTILE_HOSTILE_SUPPORT_H_
#define DIZOR_TESTS_HOSTILE_HOSTILE_SUPPORT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "extract/format_commands.h"

namespace hostile {

// Loads the library of `format` from the build's bin folder (once per process), probes the
// archive with the check function as the program does, then runs the program's extraction
// command line. Returns the main entry's result; fails the test and returns -1 when the
// library or its entry points cannot be loaded.
int32_t ExtractLikeTheProgram(Format format, const std::string& archive,
                              const std::string& destination);

// The bytes of `relative` below the corpus of third-party archives, or "" (the caller
// skips) when the corpus is not there.
std::string CorpusArchive(const std::string& relative);

std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);  // without following a final link
bool IsSymlink(const std::string& path);

// Names below `folder` (relative, '/'-joined, links not followed) that start with `prefix`
// in their last part: the writer's temporary files are ".dizor-*".
std::vector<std::string> FindNamesStartingWith(const std::string& folder,
                                               const std::string& prefix);

const char* FormatName(Format format);

}  // namespace hostile

#endif  // DIZOR_TESTS_HOSTILE_HOSTILE_SUPPORT_H_

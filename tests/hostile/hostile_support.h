// What the hostile-archive tests add to the library tests' helpers: corpus archives as bytes,
// and a look for what an extraction left behind.
#ifndef DIZOR_TESTS_HOSTILE_HOSTILE_SUPPORT_H_
#define DIZOR_TESTS_HOSTILE_HOSTILE_SUPPORT_H_

#include <string>
#include <vector>

#include "archivers/format_table.h"
#include "library_test_support.h"

namespace hostile {

using dizor_test::Exists;
using dizor_test::ExtractLikeTheProgram;
using dizor_test::IsSymlink;
using dizor_test::ReadFile;
using dizor_test::WriteFile;

// The bytes of `relative` below the corpus of third-party archives, or "" (the caller
// skips) when the corpus is not there.
std::string CorpusArchive(const std::string& relative);

// Names below `folder` (relative, '/'-joined, links not followed) that start with `prefix`
// in their last part: the writer's temporary files are ".dizor-*".
std::vector<std::string> FindNamesStartingWith(const std::string& folder,
                                               const std::string& prefix);

const char* FormatName(Format format);

}  // namespace hostile

#endif  // DIZOR_TESTS_HOSTILE_HOSTILE_SUPPORT_H_

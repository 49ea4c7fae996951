// Small text operations on paths. They never touch the file system. The separator is a
// parameter because the Windows program uses "\" and the Linux programs "/"; only that one
// character separates, and paths are UTF-8, so no byte of a multi-byte character is ever taken
// for it (in code page 932 the second byte of a character can equal "\").
#ifndef DIZOR_SUPPORT_PATH_HELPERS_H_
#define DIZOR_SUPPORT_PATH_HELPERS_H_

#include <string>

namespace ArcsmpCommon {

// Everything up to and including the last separator goes to `folder`, the rest to `name`.
void SplitPath(const std::string& path, std::string& folder, std::string& name, char sep);

// The folder part of `path` with its trailing separator; empty when there is none.
std::string GetFolderPath(const std::string& path, char sep);

// `name` before its last "."; throws RuntimeError 5 when `name` has no ".".
std::string CutExtension(const std::string& name);

}  // namespace ArcsmpCommon

// `path` less one trailing separator (Form1::ApPh forwards here with the platform's separator).
std::string RemoveOneTrailingSeparator(const std::string& path, char sep);

#endif  // DIZOR_SUPPORT_PATH_HELPERS_H_

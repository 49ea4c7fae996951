// The command lines handed to the archiver libraries, and the text of a library's result
// code. Paths go in exactly as received, inside double quotes, without escaping: a path that
// itself holds a double quote cannot be handed over this way.
#ifndef DIZOR_EXTRACT_FORMAT_COMMANDS_H_
#define DIZOR_EXTRACT_FORMAT_COMMANDS_H_

#include <cstdint>
#include <string>

#include "archivers/format_table.h"

// The command line for extracting `archive` into `destination` (which ends with `sep`), in
// the shape of the format's row.
std::string ExtractCommandLine(Format format, const std::string& archive,
                               const std::string& destination, char sep);

// Upper-case hexadecimal without leading zeros; a negative code as its 32-bit two's complement.
std::string HexCode(int32_t code);

// Explorer's command line on Windows: the Windows folder, "\explorer.exe ", the quoted folder.
std::string ExplorerCommandLine(const std::string& windows_folder, const std::string& folder);

// The code shown when the program refuses a path before any library call (one that cannot be
// quoted, or an empty fixed folder): the libraries' own "bad command line".
inline constexpr int32_t kRefusedPathCode = 0x801C;

#endif  // DIZOR_EXTRACT_FORMAT_COMMANDS_H_

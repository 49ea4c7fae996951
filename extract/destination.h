// Where the files of one archive go: the archive's own folder or the fixed folder, and with
// "create a folder automatically" a folder named after the archive inside it.
#ifndef DIZOR_EXTRACT_DESTINATION_H_
#define DIZOR_EXTRACT_DESTINATION_H_

#include <string>

struct DestinationRule {
  bool auto_create = true;   // a folder named after the archive
  bool fixed = false;        // the fixed folder instead of the archive's own folder
  std::string fixed_folder;  // without its trailing separator
};

// The destination of `archive` (a full path), ending with `sep`.
std::string DestinationFor(const std::string& archive, const DestinationRule& rule, char sep);

// The name of the folder made for the archive named `archive_name`: the name cut at its last
// ".", or the whole name with a suffix when it has no "." or the cut leaves nothing but dots
// and blanks ("...zip" would give ".."), so the folder is always a new folder inside the one
// it belongs in and never takes the archive's own name.
std::string FolderNameFor(const std::string& archive_name);

#endif  // DIZOR_EXTRACT_DESTINATION_H_

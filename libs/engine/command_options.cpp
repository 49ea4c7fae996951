#include "engine/command_options.h"

#include <array>

namespace engine {
namespace {

enum class Effect { kNone, kKeepFolders, kFlatten, kOverwrite, kKeepExisting };

struct SwitchRow {
  Library library;
  std::string_view name;  // without '-'
  Effect effect;
};

// One row per switch a library accepts; libs/README.md shows the same table. Switches
// that only steer a window or a question box elsewhere in the family (quiet, cursor,
// "answer yes") are accepted and have nothing to do here: we never ask.
constexpr std::array kSwitches = {
    SwitchRow{Library::kUnZip, "x", Effect::kKeepFolders},
    SwitchRow{Library::kUnZip, "j", Effect::kFlatten},
    SwitchRow{Library::kUnZip, "o", Effect::kOverwrite},
    SwitchRow{Library::kUnZip, "n", Effect::kKeepExisting},
    SwitchRow{Library::kUnZip, "q", Effect::kNone},
    SwitchRow{Library::kUnlha, "d1", Effect::kKeepFolders},
    SwitchRow{Library::kUnlha, "d0", Effect::kFlatten},
    SwitchRow{Library::kUnlha, "y1", Effect::kOverwrite},
    SwitchRow{Library::kUnlha, "y0", Effect::kKeepExisting},
    SwitchRow{Library::kUnlha, "n", Effect::kNone},
    SwitchRow{Library::kCab, "x", Effect::kKeepFolders},
    SwitchRow{Library::kCab, "j", Effect::kFlatten},
    SwitchRow{Library::kCab, "o", Effect::kOverwrite},
    SwitchRow{Library::kCab, "n", Effect::kKeepExisting},
    SwitchRow{Library::kUnrar, "x", Effect::kKeepFolders},
    SwitchRow{Library::kUnrar, "e", Effect::kFlatten},
    SwitchRow{Library::kUnrar, "o", Effect::kOverwrite},
    SwitchRow{Library::kUnrar, "n", Effect::kKeepExisting},
    SwitchRow{Library::kGca, "sx1", Effect::kNone},
    SwitchRow{Library::kGca, "sx0", Effect::kNone},
};

// Command words: only LHA and GCA lines start with one. "x" keeps the stored folders,
// "e" drops them.
std::vector<std::string> CommandWords(Library library) {
  if (library == Library::kUnlha || library == Library::kGca) return {"x", "e"};
  return {};
}

void Apply(Effect effect, ExtractOptions* options) {
  switch (effect) {
    case Effect::kNone:
      break;
    case Effect::kKeepFolders:
      options->keep_folders = true;
      break;
    case Effect::kFlatten:
      options->keep_folders = false;
      break;
    case Effect::kOverwrite:
      options->overwrite = true;
      break;
    case Effect::kKeepExisting:
      options->overwrite = false;
      break;
  }
}

}  // namespace

bool ParseExtractRequest(Library library, std::string_view text, ExtractRequest* out,
                         std::string* error) {
  *out = ExtractRequest{};
  if (!ParseCommandLine(text, CommandWords(library), &out->line, error)) return false;
  if (out->line.command == "e") out->options.keep_folders = false;
  for (const std::string& name : out->line.switches) {
    const SwitchRow* found = nullptr;
    for (const SwitchRow& row : kSwitches) {
      if (row.library == library && row.name == name) found = &row;
    }
    if (found == nullptr) {
      *error = "unknown switch -" + name;
      return false;
    }
    Apply(found->effect, &out->options);
  }
  return true;
}

}  // namespace engine

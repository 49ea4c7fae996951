#include "app/command_line.h"

#include "support/runtime_error.h"

const std::string& FileList::operator()(int32_t number) const {
  if (number < 1 || static_cast<size_t>(number) > entries.size()) {
    throw RuntimeError(RuntimeError::kSubscriptOutOfRange);
  }
  return entries[static_cast<size_t>(number - 1)];
}

namespace Module1 {
namespace {

constexpr char kBlank = ' ';
constexpr char kQuote = '"';
constexpr char kPlaceholder = '*';

enum State { kBetween = 0, kInName = 1, kInQuoted = 2 };

}  // namespace

// The walk works on bytes of UTF-8 text. Only the blank and the quote have a meaning, and no
// byte of a multi-byte UTF-8 character equals either, so the result is the same as a walk over
// characters.
int32_t NormalizeCommandLine(std::string& text, std::string& protected_text) {
  if (text.empty() || text.front() != kQuote) text.insert(text.begin(), kBlank);
  if (text.back() != kQuote) text.push_back(kBlank);

  const size_t n = text.size();
  State state = kBetween;
  int32_t count = 0;
  std::string out;
  out.reserve(n + 2);
  char previous = '\0';
  char next = '\0';
  for (size_t i = 1; i <= n; ++i) {
    const char ch = text[i - 1];
    const bool inner = 1 < i && i < n;
    if (inner) {
      // Refreshed only inside the text; at the last position they keep their old values.
      previous = text[i - 2];
      next = text[i];
    }
    if (inner && ch == kBlank && previous == kQuote && next == kQuote) {
      out.push_back(ch);  // the single blank between a closing and an opening quote
    } else if (ch == kBlank && state == kBetween) {
      state = kInName;
      out.push_back(ch);
    } else if (ch == kQuote && state == kBetween) {
      state = kInQuoted;
      out.push_back(ch);
    } else if (ch == kBlank && state == kInQuoted) {
      out.push_back(kPlaceholder);
    } else if (ch == kBlank && state == kInName) {
      state = kBetween;
      ++count;
      if (next != kBlank && next != kQuote) state = kInName;
      out.push_back(ch);
    } else if (ch == kQuote && state == kInQuoted) {
      state = kBetween;
      ++count;
      out.push_back(ch);
    } else {
      out.push_back(ch);
    }
  }

  std::string without_quotes;
  without_quotes.reserve(out.size() + 2);
  for (char c : out) {
    if (c != kQuote) without_quotes.push_back(c);
  }
  if (without_quotes.empty() || without_quotes.front() != kBlank) {
    without_quotes.insert(without_quotes.begin(), kBlank);
  }
  if (without_quotes.back() != kBlank) without_quotes.push_back(kBlank);
  protected_text = std::move(without_quotes);
  return count;
}

void FillFileList(const std::string& protected_text, int32_t count, FileList& list) {
  if (count < 1) throw RuntimeError(RuntimeError::kSubscriptOutOfRange);
  list.entries.assign(static_cast<size_t>(count), std::string());
  list.count = count;

  // The k-th entry is what lies between the k-th and the (k+1)-th blank.
  int32_t blanks_seen = 0;
  size_t piece_start = 0;
  for (size_t i = 0; i < protected_text.size(); ++i) {
    if (protected_text[i] != kBlank) continue;
    if (blanks_seen >= 1) {
      if (blanks_seen > count) throw RuntimeError(RuntimeError::kSubscriptOutOfRange);
      list.entries[static_cast<size_t>(blanks_seen - 1)] =
          protected_text.substr(piece_start, i - piece_start);
    }
    ++blanks_seen;
    piece_start = i + 1;
  }

  for (std::string& entry : list.entries) {
    std::string cleaned;
    cleaned.reserve(entry.size());
    for (char c : entry) {
      if (c == kBlank) continue;
      cleaned.push_back(c == kPlaceholder ? kBlank : c);
    }
    entry = std::move(cleaned);
  }
}

void SplitCommandLine(std::string& text, FileList& list) {
  std::string protected_text;
  const int32_t count = NormalizeCommandLine(text, protected_text);
  text = protected_text;
  FillFileList(text, count, list);
}

void UseArguments(const std::vector<std::string>& args, FileList& list) {
  list.entries = args;
  list.count = static_cast<int32_t>(args.size());
}

}  // namespace Module1

#include "qdstool/line_diff.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

namespace qds::tool {
namespace {

enum class Op : uint8_t { Keep, Remove, Insert };

// The lines of `text`, each with its LF (the last may lack one).
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t end = std::min(text.find('\n'), text.size() - 1) + 1;
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end);
  }
  return lines;
}

// Every line as a number, equal numbers for equal lines, so that the
// comparisons below compare numbers.
void Intern(const std::vector<std::string_view>& lines,
            std::unordered_map<std::string_view, uint32_t>* ids, std::vector<uint32_t>* out) {
  for (std::string_view line : lines) {
    out->push_back(ids->emplace(line, static_cast<uint32_t>(ids->size())).first->second);
  }
}

// The script that turns a into b by inserting only, when a is a
// subsequence of b.
bool OnlyInsertions(std::span<const uint32_t> a, std::span<const uint32_t> b,
                    std::vector<Op>* script) {
  size_t i = 0;
  for (uint32_t line : b) {
    bool kept = i < a.size() && a[i] == line;
    script->push_back(kept ? Op::Keep : Op::Insert);
    i += kept;
  }
  return i == a.size();
}

// The shortest script that turns a into b (Myers' greedy algorithm, which
// keeps for each number of changes d the furthest point of every diagonal),
// when it needs at most `maxChanges` changes.
bool ShortestScript(std::span<const uint32_t> a, std::span<const uint32_t> b, int64_t maxChanges,
                    std::vector<Op>* script) {
  const int64_t n = static_cast<int64_t>(a.size());
  const int64_t m = static_cast<int64_t>(b.size());
  const int64_t offset = maxChanges + 1;
  std::vector<int64_t> furthest(2 * offset + 1, 0);
  // trace[d]: the furthest points before step d, diagonals -d-1..d+1.
  std::vector<std::vector<int64_t>> trace;
  int64_t changes = -1;
  for (int64_t d = 0; d <= maxChanges && changes < 0; ++d) {
    trace.emplace_back(furthest.begin() + offset - d - 1, furthest.begin() + offset + d + 2);
    for (int64_t k = -d; k <= d; k += 2) {
      int64_t x = k == -d || (k != d && furthest[offset + k - 1] < furthest[offset + k + 1])
                      ? furthest[offset + k + 1]
                      : furthest[offset + k - 1] + 1;
      int64_t y = x - k;
      while (x < n && y < m && a[x] == b[y]) ++x, ++y;
      furthest[offset + k] = x;
      if (x >= n && y >= m) {
        changes = d;
        break;
      }
    }
  }
  if (changes < 0) return false;
  std::vector<Op> reversed;
  int64_t x = n, y = m;
  for (int64_t d = changes; d > 0; --d) {
    const std::vector<int64_t>& before = trace[d];
    auto at = [&](int64_t k) { return before[k + d + 1]; };
    int64_t k = x - y;
    int64_t previous = k == -d || (k != d && at(k - 1) < at(k + 1)) ? k + 1 : k - 1;
    int64_t previousX = at(previous);
    int64_t previousY = previousX - previous;
    for (; x > previousX && y > previousY; --x, --y) reversed.push_back(Op::Keep);
    reversed.push_back(x == previousX ? Op::Insert : Op::Remove);
    x = previousX;
    y = previousY;
  }
  for (; x > 0; --x) reversed.push_back(Op::Keep);
  script->insert(script->end(), reversed.rbegin(), reversed.rend());
  return true;
}

void AppendLine(char sign, std::string_view line, std::string* out) {
  out->push_back(sign);
  bool ended = line.ends_with('\n');
  if (ended) line.remove_suffix(1);
  if (line.ends_with('\r')) line.remove_suffix(1);
  out->append(line);
  out->append(ended ? "\n" : "\n\\ No newline at end of file\n");
}

// A hunk's range as diff -u writes it: "START,COUNT", a COUNT of 1 left out,
// and START the line before the hunk when it holds no line of the text.
std::string Range(size_t start, size_t count) {
  if (count == 1) return std::to_string(start + 1);
  return std::to_string(count == 0 ? start : start + 1) + "," + std::to_string(count);
}

constexpr size_t kContext = 3;

}  // namespace

bool AppendUnifiedDiff(std::string_view before, std::string_view after, std::string_view oldName,
                       std::string_view newName, std::string* out) {
  std::vector<std::string_view> oldLines = SplitLines(before);
  std::vector<std::string_view> newLines = SplitLines(after);
  std::unordered_map<std::string_view, uint32_t> ids;
  std::vector<uint32_t> a, b;
  Intern(oldLines, &ids, &a);
  Intern(newLines, &ids, &b);

  size_t prefix = 0;
  while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
  size_t suffix = 0;
  while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
         a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) {
    ++suffix;
  }
  if (prefix == a.size() && prefix == b.size()) return true;
  std::span<const uint32_t> oldMiddle(a.data() + prefix, a.size() - prefix - suffix);
  std::span<const uint32_t> newMiddle(b.data() + prefix, b.size() - prefix - suffix);
  std::vector<Op> script(prefix, Op::Keep);
  bool minimal = true;
  if (!OnlyInsertions(oldMiddle, newMiddle, &script)) {
    script.resize(prefix);
    double budget = 32.0 * static_cast<double>(a.size() + b.size()) + 1e6;
    int64_t maxChanges = std::min<int64_t>(static_cast<int64_t>(std::sqrt(budget)),
                                           static_cast<int64_t>(a.size() + b.size()));
    if (!ShortestScript(oldMiddle, newMiddle, maxChanges, &script)) {
      minimal = false;
      script.resize(prefix);
      script.insert(script.end(), oldMiddle.size(), Op::Remove);
      script.insert(script.end(), newMiddle.size(), Op::Insert);
    }
  }
  script.insert(script.end(), suffix, Op::Keep);

  out->append("--- " + std::string(oldName) + "\n+++ " + std::string(newName) + "\n");
  // Walk the script; a hunk runs from kContext kept lines before its first
  // change to kContext after its last, while changes come closer than
  // twice the context.
  size_t i = 0, oldAt = 0, newAt = 0;
  while (i < script.size()) {
    if (script[i] == Op::Keep) {
      ++i, ++oldAt, ++newAt;
      continue;
    }
    size_t lead = 0;
    while (lead < kContext && lead < i && script[i - lead - 1] == Op::Keep) ++lead;
    size_t start = i - lead, oldStart = oldAt - lead, newStart = newAt - lead;
    size_t end = i;  // past the hunk's last change
    for (size_t j = i, kept = 0; j < script.size() && kept <= 2 * kContext; ++j) {
      kept = script[j] == Op::Keep ? kept + 1 : 0;
      if (kept == 0) end = j + 1;
    }
    // At least kContext kept lines follow `end`, unless the script ends.
    size_t stop = std::min(script.size(), end + kContext);
    std::string body;
    size_t oldCount = 0, newCount = 0;
    for (size_t j = start, o = oldStart, n = newStart; j < stop; ++j) {
      switch (script[j]) {
        case Op::Keep:
          AppendLine(' ', oldLines[o++], &body), ++n, ++oldCount, ++newCount;
          break;
        case Op::Remove:
          AppendLine('-', oldLines[o++], &body), ++oldCount;
          break;
        case Op::Insert:
          AppendLine('+', newLines[n++], &body), ++newCount;
          break;
      }
    }
    out->append("@@ -" + Range(oldStart, oldCount) + " +" + Range(newStart, newCount) + " @@\n");
    out->append(body);
    oldAt = oldStart + oldCount;
    newAt = newStart + newCount;
    i = stop;
  }
  return minimal;
}

}  // namespace qds::tool

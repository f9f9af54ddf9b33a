#include "engine/SimilarNames.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

#include "base/Utf8.h"
#include "engine/NameKeys.h"

namespace pelcrow {

namespace {

// Code points of UTF-8 text; a byte that starts no valid sequence stands for itself.
std::u32string Decode(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    int n = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    char32_t cp = n == 0 ? c : n == 1 ? (c & 0x1F) : n == 2 ? (c & 0x0F) : (c & 0x07);
    bool ok = n >= 0 && i + static_cast<std::size_t>(n) < s.size() + (n == 0 ? 1 : 0);
    for (int k = 1; ok && k <= n; ++k) {
      const unsigned char d = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      if ((d & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if (!ok) {
      out.push_back(0xDC00 + c);  // kept apart from every real letter
      ++i;
      continue;
    }
    out.push_back(cp);
    i += static_cast<std::size_t>(n) + 1;
  }
  return out;
}

bool IsWordChar(char32_t c) {
  if (c < 0x80) return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  // Latin-1 signs, general and CJK punctuation separate words; other letters are letters.
  if (c >= 0xA0 && c <= 0xBF) return false;
  if (c == 0xD7 || c == 0xF7) return false;
  if (c >= 0x2000 && c <= 0x206F) return false;
  if (c >= 0x3000 && c <= 0x303F) return false;
  return true;
}

bool IsNumber(const std::u32string& w) {
  return !w.empty() && std::all_of(w.begin(), w.end(), [](char32_t c) { return c >= '0' && c <= '9'; });
}

bool IsCopyWord(const std::u32string& w) {
  return w == U"COPY" || w == U"KOPIE" || w == U"COPIE" || w == U"COPIA";
}

bool IsEditionWord(const std::u32string& w) {
  return w == U"REMASTERED" || w == U"REMASTER" || w == U"REMASTERS" || w == U"REMASTERING";
}

std::string Encode(const std::u32string& s) {
  std::string out;
  for (char32_t c : s) AppendUtf8(out, c);
  return out;
}

// Levenshtein distance, two rows.
std::size_t EditDistance(const std::u32string& a, const std::u32string& b) {
  if (a.size() < b.size()) return EditDistance(b, a);
  std::vector<std::size_t> prev(b.size() + 1), cur(b.size() + 1);
  std::iota(prev.begin(), prev.end(), 0);
  for (std::size_t i = 1; i <= a.size(); ++i) {
    cur[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j)
      cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
    std::swap(prev, cur);
  }
  return prev[b.size()];
}

int Similarity(const std::u32string& a, const std::u32string& b) {
  const std::size_t longer = std::max(a.size(), b.size());
  if (longer == 0) return 100;
  return static_cast<int>(100 - (EditDistance(a, b) * 100 + longer - 1) / longer);
}

struct TUnion {
  std::vector<std::size_t> Parent;
  explicit TUnion(std::size_t n) : Parent(n) { std::iota(Parent.begin(), Parent.end(), 0); }
  std::size_t Find(std::size_t x) {
    while (Parent[x] != x) x = Parent[x] = Parent[Parent[x]];
    return x;
  }
  // The smaller index stays the root: the first member names the group.
  void Join(std::size_t a, std::size_t b) {
    a = Find(a);
    b = Find(b);
    if (a != b) Parent[std::max(a, b)] = std::min(a, b);
  }
};

}  // namespace

std::string SimilarNameKey(std::string_view fileName) {
  const std::u32string text = Decode(UpperCaseText(NamePart(fileName)));
  // Words, with whether each stood alone in brackets.
  std::vector<std::u32string> words;
  std::vector<bool> bracketed;
  std::size_t i = 0;
  while (i < text.size()) {
    if (!IsWordChar(text[i])) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < text.size() && IsWordChar(text[j])) ++j;
    const bool open = i > 0 && (text[i - 1] == '(' || text[i - 1] == '[' || text[i - 1] == '{');
    const bool close = j < text.size() && (text[j] == ')' || text[j] == ']' || text[j] == '}');
    words.push_back(text.substr(i, j - i));
    bracketed.push_back(open && close);
    i = j;
  }
  std::vector<bool> drop(words.size(), false);
  for (std::size_t k = 0; k < words.size(); ++k) {
    if (IsEditionWord(words[k]) || (bracketed[k] && IsNumber(words[k]))) drop[k] = true;
    if (IsCopyWord(words[k])) {
      drop[k] = true;
      // "Copy 2", "Copy of x".
      if (k + 1 < words.size() && (IsNumber(words[k + 1]) || words[k + 1] == U"OF")) drop[k + 1] = true;
    }
  }
  std::vector<std::u32string> kept;
  for (std::size_t k = 0; k < words.size(); ++k)
    if (!drop[k]) kept.push_back(words[k]);
  // A name made only of marks ("Copy (2)") keeps them: it is not the same as every other such name.
  if (kept.empty()) kept = words;
  std::sort(kept.begin(), kept.end());
  std::u32string joined;
  for (const std::u32string& w : kept) {
    if (!joined.empty()) joined += U' ';
    joined += w;
  }
  return Encode(joined);
}

int KeySimilarity(std::string_view a, std::string_view b) { return Similarity(Decode(a), Decode(b)); }

std::vector<std::size_t> GroupSimilarKeys(const std::vector<std::string>& keys, int Threshold) {
  Threshold = std::clamp(Threshold, 1, 100);
  const std::size_t n = keys.size();
  TUnion groups(n);
  std::vector<std::u32string> text(n);
  std::unordered_map<std::string, std::size_t> firstOf;
  for (std::size_t i = 0; i < n; ++i) {
    // Equal keys are one name: measured once, through their first holder.
    const auto [at, added] = firstOf.emplace(keys[i], i);
    if (!added) groups.Join(at->second, i);
    text[i] = Decode(keys[i]);
  }
  // The index: each word's first and last three letters, for the first holder of each key.
  std::unordered_map<std::u32string, std::vector<std::size_t>> buckets;
  for (const auto& [key, i] : firstOf) {
    const std::u32string& t = text[i];
    std::size_t start = 0;
    while (start <= t.size()) {
      std::size_t end = t.find(U' ', start);
      if (end == std::u32string::npos) end = t.size();
      const std::u32string word = t.substr(start, end - start);
      if (!word.empty()) {
        const std::size_t k = std::min<std::size_t>(3, word.size());
        std::vector<std::size_t>& head = buckets[U"<" + word.substr(0, k)];
        if (head.empty() || head.back() != i) head.push_back(i);
        std::vector<std::size_t>& tail = buckets[U">" + word.substr(word.size() - k)];
        if (tail.empty() || tail.back() != i) tail.push_back(i);
      }
      start = end + 1;
    }
  }
  for (auto& [k, members] : buckets) {
    if (members.size() < 2 || members.size() > kSimilarBucketLimit) continue;
    std::sort(members.begin(), members.end());
    for (std::size_t x = 0; x < members.size(); ++x)
      for (std::size_t y = x + 1; y < members.size(); ++y) {
        const std::size_t a = members[x], b = members[y];
        if (groups.Find(a) == groups.Find(b)) continue;
        // The length difference is a lower bound of the distance.
        const std::size_t la = text[a].size(), lb = text[b].size(), longer = std::max(la, lb);
        const std::size_t diff = la > lb ? la - lb : lb - la;
        if (longer > 0 && 100 - (diff * 100 + longer - 1) / longer < static_cast<std::size_t>(Threshold)) continue;
        if (Similarity(text[a], text[b]) >= Threshold) groups.Join(a, b);
      }
  }
  std::vector<std::size_t> out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = groups.Find(i);
  return out;
}

}  // namespace pelcrow

#include "engine/ColumnComparer.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/FormatSettings.h"
#include "engine/FileComparer.h"
#include "engine/ScanEngine.h"

namespace pelcrow {

namespace {

int Sign(bool greater) { return greater ? 1 : -1; }

int CompareText(std::string_view l, std::string_view r) {
  if (l == r) return 0;
  return Sign(l > r);
}

template <typename T>
int CompareValue(const T& l, const T& r) {
  if (l == r) return 0;
  return Sign(l > r);
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool ToInteger(std::string_view s, std::int64_t& v) {
  s = Trimmed(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size();
}

bool ToDecimal(std::string_view s, double& v) {
  std::string text(Trimmed(s));
  const std::string sep = GetFormatSettings()->DecimalSeparator;
  if (sep != "." && !sep.empty())
    for (std::size_t p = text.find(sep); p != std::string::npos; p = text.find(sep, p + 1)) text.replace(p, sep.size(), ".");
  if (text.empty() || text.front() == '+') return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  return ec == std::errc() && end == text.data() + text.size();
}

// Track, year and bit rate: as integers when both parse. Different texts with equal numbers
// ("07" and "7") give -1, as the list has always sorted them.
int CompareIntegerText(const std::string& l, const std::string& r) {
  if (l == r) return 0;
  std::int64_t a = 0, b = 0;
  if (!ToInteger(l, a) || !ToInteger(r, b)) return CompareText(l, r);
  return Sign(a > b);
}

int CompareDecimalText(const std::string& l, const std::string& r) {
  if (l == r) return 0;
  double a = 0, b = 0;
  if (!ToDecimal(l, a) || !ToDecimal(r, b)) return CompareText(l, r);
  return a <= b ? -1 : 1;
}

const TMusicTagsInfo& Tags(PFileItem it) {
  static const TMusicTagsInfo kNone;
  return it->MusicTags ? *it->MusicTags : kNone;
}

const TEmailInfo& Mail(PFileItem it) {
  static const TEmailInfo kNone;
  return it->Emails ? *it->Emails : kNone;
}

// The first eight bytes, big-endian: equal to the text order where they differ.
std::uint64_t Prefix(std::string_view s) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < 8; ++i) v = (v << 8) | (i < s.size() ? static_cast<unsigned char>(s[i]) : 0u);
  return v;
}

struct TTextKey {
  std::uint64_t Prefix;
  std::string_view Text;
  PFileItem Item;
};

template <typename V>
struct TValueKey {
  V Value;
  PFileItem Item;
};

template <typename Key, typename Make, typename Cmp>
void SortKeyed(std::vector<PFileItem>& files, Make&& make, Cmp&& cmp) {
  std::vector<Key> keys;
  keys.reserve(files.size());
  for (PFileItem it : files) keys.push_back(make(it));
  QuickSortItems(keys, cmp);
  for (std::size_t i = 0; i < keys.size(); ++i) files[i] = keys[i].Item;
}

template <typename V, typename Get>
void SortValues(std::vector<PFileItem>& files, int sign, Get&& get) {
  SortKeyed<TValueKey<V>>(files, [&get](PFileItem it) { return TValueKey<V>{get(it), it}; },
                          [sign](const TValueKey<V>& l, const TValueKey<V>& r) { return sign * CompareValue(l.Value, r.Value); });
}

// Names are mostly distinct: the first bytes beside each item decide most comparisons.
template <typename Get>
void SortTextsByPrefix(std::vector<PFileItem>& files, int sign, Get&& get) {
  SortKeyed<TTextKey>(
      files,
      [&get](PFileItem it) {
        const std::string_view t = get(it);
        return TTextKey{Prefix(t), t, it};
      },
      [sign](const TTextKey& l, const TTextKey& r) {
        if (l.Prefix != r.Prefix) return sign * Sign(l.Prefix > r.Prefix);
        return sign * CompareText(l.Text, r.Text);
      });
}

// Folders repeat a lot and share long beginnings: each item gets its text's rank among the
// distinct texts, and the sort compares those numbers with the outcome the text comparison has.
template <typename Get>
void SortTextsByRank(std::vector<PFileItem>& files, int sign, Get&& get) {
  std::unordered_map<std::string_view, std::uint32_t> ids;
  std::vector<std::uint32_t> id(files.size());
  std::vector<std::string_view> distinct;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto [at, added] = ids.try_emplace(get(files[i]), static_cast<std::uint32_t>(distinct.size()));
    if (added) distinct.push_back(at->first);
    id[i] = at->second;
  }
  ids = {};
  std::vector<std::uint32_t> order(distinct.size());
  for (std::uint32_t k = 0; k < order.size(); ++k) order[k] = k;
  std::sort(order.begin(), order.end(), [&distinct](std::uint32_t l, std::uint32_t r) {
    const std::uint64_t pl = Prefix(distinct[l]), pr = Prefix(distinct[r]);
    return pl != pr ? pl < pr : distinct[l] < distinct[r];
  });
  std::vector<std::uint32_t> rank(distinct.size());
  for (std::uint32_t k = 0; k < order.size(); ++k) rank[order[k]] = k;
  std::vector<TValueKey<std::uint32_t>> keys;
  keys.reserve(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) keys.push_back({rank[id[i]], files[i]});
  QuickSortItems(keys, [sign](const TValueKey<std::uint32_t>& l, const TValueKey<std::uint32_t>& r) {
    return sign * CompareValue(l.Value, r.Value);
  });
  for (std::size_t i = 0; i < keys.size(); ++i) files[i] = keys[i].Item;
}

}  // namespace

bool SortByColumnKey(std::vector<PFileItem>& Files, std::int32_t Index, TColumnSortOrder Order) {
  const int sign = Order == soDesc ? -1 : 1;
  switch (Index) {
    case 0: case 24: SortTextsByPrefix(Files, sign, [](PFileItem it) { return it->Name.view(); }); return true;
    case 1: case 13: case 20: SortTextsByRank(Files, sign, [](PFileItem it) { return it->Path.view(); }); return true;
    case 2: case 15: case 22: SortValues<std::uint32_t>(Files, sign, [](PFileItem it) { return it->DupGroup; }); return true;
    case 3: case 14: case 21: SortValues<std::int64_t>(Files, sign, [](PFileItem it) { return it->Size; }); return true;
    case 4: case 23: SortValues<TDateTime>(Files, sign, [](PFileItem it) { return it->Modified; }); return true;
    case kSimilaritySortKey: SortValues<std::uint8_t>(Files, sign, [](PFileItem it) { return it->Similarity; }); return true;
    default: return false;
  }
}

bool TColumnComparer::ValidKey(std::int32_t Index) { return Index >= 0 && Index <= kSimilaritySortKey; }

int TColumnComparer::Compare(PFileItem Left, PFileItem Right) const {
  int r = 0;
  switch (fIndex) {
    case 0: case 24: r = CompareText(Left->Name.view(), Right->Name.view()); break;
    case 1: case 13: case 20: r = CompareText(Left->Path.view(), Right->Path.view()); break;
    case 2: case 15: case 22: r = CompareValue(Left->DupGroup, Right->DupGroup); break;
    case 3: case 14: case 21: r = CompareValue(Left->Size, Right->Size); break;
    case 4: case 23: r = CompareValue(Left->Modified, Right->Modified); break;
    case kSimilaritySortKey: r = CompareValue(Left->Similarity, Right->Similarity); break;
    case 5: r = CompareText(Tags(Left).Title, Tags(Right).Title); break;
    case 6: r = CompareText(Tags(Left).Artist, Tags(Right).Artist); break;
    case 7: r = CompareText(Tags(Left).Album, Tags(Right).Album); break;
    case 10: r = CompareText(Tags(Left).Genre, Tags(Right).Genre); break;
    case 8: r = CompareIntegerText(Tags(Left).Track, Tags(Right).Track); break;
    case 9: r = CompareIntegerText(Tags(Left).Year, Tags(Right).Year); break;
    case 12: r = CompareIntegerText(Tags(Left).BitRate, Tags(Right).BitRate); break;
    case 11: r = CompareDecimalText(Tags(Left).Duration, Tags(Right).Duration); break;
    case 16: r = CompareText(Mail(Left).From, Mail(Right).From); break;
    case 17: r = CompareText(Mail(Left).To_, Mail(Right).To_); break;
    case 18: r = CompareText(Mail(Left).Subject, Mail(Right).Subject); break;
    case 19: r = CompareValue(Mail(Left).ReceivedDate, Mail(Right).ReceivedDate); break;
    case 25: r = CompareText(Mail(Left).Address1, Mail(Right).Address1); break;
    case 26: r = CompareText(Mail(Left).Address2, Mail(Right).Address2); break;
    case 27: r = CompareText(Mail(Left).Address3, Mail(Right).Address3); break;
    default: throw EScanEngineError("Invalid column index");
  }
  return fOrder == soDesc ? -r : r;
}

}  // namespace pelcrow

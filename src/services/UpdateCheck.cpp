#include "services/UpdateCheck.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>

#include "base/Trim.h"

namespace pelcrow {

namespace {

constexpr std::string_view kVendorUpdateBase = "https://pelcrow.org";
constexpr std::string_view kDescriptionPath = "/files/autoupdate.txt";

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The next dot-separated part, or nothing when the text has run out.
std::optional<std::string_view> NextPart(std::string_view& rest, bool& done) {
  if (done) return std::nullopt;
  const auto dot = rest.find('.');
  std::string_view part = rest.substr(0, dot);
  if (dot == std::string_view::npos) {
    done = true;
  } else {
    rest.remove_prefix(dot + 1);
  }
  return part;
}

std::optional<std::uint64_t> Number(std::string_view part) {
  part = TrimBlanks(part);
  std::uint64_t v = 0;
  const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), v);
  if (part.empty() || ec != std::errc() || end != part.data() + part.size()) return std::nullopt;
  return v;
}

}  // namespace

std::optional<TUpdateDescription> ParseUpdateDescription(std::string_view text) {
  TUpdateDescription d;
  while (!text.empty()) {
    const auto eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = TrimBlanks(line.substr(0, colon));
    const std::string value(TrimBlanks(line.substr(colon + 1)));
    if (EqualNoCase(name, "Version")) {
      d.Version = value;
    } else if (EqualNoCase(name, "DownloadUrl")) {
      d.DownloadUrl = value;
    } else if (EqualNoCase(name, "Sha256")) {
      d.Sha256 = value;
      std::transform(d.Sha256.begin(), d.Sha256.end(), d.Sha256.begin(),
                     [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    }
  }
  if (d.Version.empty() || d.DownloadUrl.empty()) return std::nullopt;
  return d;
}

bool IsNewerVersion(std::string_view offered, std::string_view installed) {
  bool offeredDone = false, installedDone = false;
  for (;;) {
    const auto o = NextPart(offered, offeredDone);
    if (!o) return false;
    const auto on = Number(*o);
    if (!on) return false;
    const auto i = NextPart(installed, installedDone);
    if (!i) return false;
    const auto in = Number(*i);
    if (!in || *on < *in) return false;
    if (*on > *in) return true;
  }
}

std::string UpdateDescriptionUrl(const std::string& debugServer) {
  std::string base(TrimBlanks(debugServer));
  if (base.empty()) base = kVendorUpdateBase;
  else if (base.find("://") == std::string::npos) base = "https://" + base;
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base + std::string(kDescriptionPath);
}

bool IsHttpsUrl(std::string_view url) {
  return url.size() > 8 && EqualNoCase(url.substr(0, 8), "https://");
}

bool IsSha256Text(std::string_view text) {
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
           return std::isxdigit(static_cast<unsigned char>(c)) != 0;
         });
}

std::string DownloadFileName(std::string_view url) {
  if (const auto cut = url.find_first_of("?#"); cut != std::string_view::npos) url = url.substr(0, cut);
  const auto scheme = url.find("://");
  if (scheme != std::string_view::npos) url.remove_prefix(scheme + 3);
  const auto slash = url.find('/');
  if (slash == std::string_view::npos) return "Update";
  url.remove_prefix(slash);
  const std::string_view name = url.substr(url.find_last_of('/') + 1);
  const bool plain = !name.empty() && name.front() != '.' && name.size() <= 200 &&
                     std::all_of(name.begin(), name.end(), [](char c) {
                       return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' || c == '_' ||
                              c == '+' || c == '~';
                     });
  return plain ? std::string(name) : "Update";
}

std::string InstalledVersion() { return PELCROW_VERSION; }

}  // namespace pelcrow

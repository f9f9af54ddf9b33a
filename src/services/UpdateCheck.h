// The parts of the update check that need no network: where the description is, what it says,
// whether its version is newer than ours, and what the downloaded file may be called.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pelcrow {

// The update description: "Name: value" lines. Version and DownloadUrl are required; Sha256 (64
// hexadecimal digits, kept in lower case) is what the download is checked against.
struct TUpdateDescription {
  std::string Version;
  std::string DownloadUrl;
  std::string Sha256;
};

// Nothing when Version or DownloadUrl is missing or empty. Lines without a colon are ignored;
// the part before the first colon is the name (without regard to case or surrounding blanks).
std::optional<TUpdateDescription> ParseUpdateDescription(std::string_view text);

// Newer when, part by part at the dots, the first part that differs is larger in offered. A part
// that is not a number on either side, or offered running out first, makes it not newer.
bool IsNewerVersion(std::string_view offered, std::string_view installed);

// The address of the description: the vendor's, or the one of the server named by DbgAUServer
// (a host with an optional port, or a whole https base address).
std::string UpdateDescriptionUrl(const std::string& debugServer);

// Only https is fetched: the download is never trusted to a connection anyone could change.
bool IsHttpsUrl(std::string_view url);
// A Sha256 value as the description must give it.
bool IsSha256Text(std::string_view text);

// The name the download is saved under: the last part of the address's path when it is a plain
// file name (no query, no leading dot, no slash), else "Update".
std::string DownloadFileName(std::string_view url);

// The version of this program.
std::string InstalledVersion();

}  // namespace pelcrow

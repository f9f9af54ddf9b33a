// The command line's listings of the visible groups: full paths as text, CSV or JSON, each a
// handler of the engine's walk. With Marks each file also says what a selection rule decided
// (keep or select).
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "engine/GroupWalk.h"

namespace pelcrow {

enum TListingFormat { lfText, lfCsv, lfJson };

struct TListingOptions {
  bool Marks = false;
  // Text lines end in NUL and paths are written as they are; otherwise EscapedPath.
  bool NullEnded = false;
  // E-mail rows: folder, received time, sender and subject instead of a path (set by WriteListing).
  bool Mail = false;
  bool Contacts = false;  // contact rows: address book, modification time, name, addresses
};

void WriteListing(std::ostream& Out, const TScanEngine& Engine, TListingFormat Format,
                  const TListingOptions& Options);

// A path that no line break or tab can split, as ls --quoting-style=escape shows it: \\, \n, \t,
// \r and \ooo for the other control characters.
std::string EscapedPath(std::string_view Path);

// JSON string literal for bytes that may not be valid UTF-8: invalid bytes become lone
// surrogates \udc80..\udcff (what Python's "surrogateescape" reads back as the same bytes).
std::string JsonString(std::string_view Bytes);

// One path per line, a blank line between groups.
class TTextListing final : public IGroupWalkHandler {
 public:
  TTextListing(std::ostream& Out, const TListingOptions& Options) : fOut(Out), fOptions(Options) {}
  void GroupHead(const TGroupRows& Rows) override;
  void Row(int Row, const TFileItem& Item) override;

 private:
  void EndLine() { fOut.put(fOptions.NullEnded ? '\0' : '\n'); }
  std::ostream& fOut;
  const TListingOptions fOptions;
};

// Group,Size,Path[,Action], CR LF ended, fields quoted only where they must be.
class TCsvListing final : public IGroupWalkHandler {
 public:
  TCsvListing(std::ostream& Out, const TListingOptions& Options) : fOut(Out), fOptions(Options) {}
  void Head() override;
  void Row(int Row, const TFileItem& Item) override;

 private:
  std::ostream& fOut;
  const TListingOptions fOptions;
};

// {"groups": [{"group": N, "size": BYTES, "files": [...]}], "summary": {...}} on one line.
class TJsonListing final : public IGroupWalkHandler {
 public:
  TJsonListing(std::ostream& Out, const TScanEngine& Engine, const TListingOptions& Options)
      : fOut(Out), fEngine(Engine), fOptions(Options) {}
  void Head() override;
  void GroupHead(const TGroupRows& Rows) override;
  void Row(int Row, const TFileItem& Item) override;
  void GroupFoot(const TGroupRows& Rows) override;
  void Foot() override;

 private:
  std::ostream& fOut;
  const TScanEngine& fEngine;
  const TListingOptions fOptions;
  int fFirstOfGroup = 0;
  std::int64_t fSelectedFiles = 0;
  std::int64_t fSelectedSize = 0;
};

}  // namespace pelcrow

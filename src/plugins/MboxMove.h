// Moving one message between two mbox files of a Thunderbird store, for an action and for its
// undo alike. The message is appended to the target first and cut from the source after: a crash
// between the two leaves a copy in both, never none, and the journal record (written before the
// append) tells undo where that copy is.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SafeFile.h"
#include "plugins/StoreAction.h"
#include "plugins/ThunderbirdScanner.h"

namespace pelcrow {

// Digest and length of a message's bytes (after its From_ line); trailing line breaks do not
// count, since a message that ends an mbox may have to gain one when another follows it.
void MboxDigest(std::string_view Bytes, std::uint64_t Digest[2], std::int64_t& Length);
// The bytes [From, To) that removing message Index of the split takes out of the file: its
// From_ line, its bytes and the blank line after them.
void MboxCut(const std::vector<TMboxMessage>& Messages, std::size_t Index, std::size_t FileSize, std::size_t& From,
             std::size_t& To);
// What appending the message adds to an mbox that holds Existing: a blank line before the From_
// line when the file does not end with one, a line break after the bytes when they lack one,
// and the blank line that ends every message.
std::string MboxAppendText(std::string_view Existing, std::string_view FromLine, std::string_view Bytes);
// The index of the message Ref describes in the split (its From_ line at At, or with Search
// anywhere, the last one found), or -1.
long FindMboxMessage(std::string_view Mbox, const std::vector<TMboxMessage>& Messages, const TMboxMessageRef& Ref,
                     std::int64_t At, bool Search);
// The Thunderbird profile the mbox lies in when Thunderbird holds it (the profile's folder and
// who holds it), else empty.
std::string ThunderbirdHolding(const std::string& MboxPath, std::string& Holder);

struct TMboxTransfer {
  std::string Source, Target;  // the mbox files
  TMboxMessageRef Ref;         // Digest, Length and FromLine (empty: any From_ line)
  std::int64_t At = -1;        // the From_ line's offset in Source
  bool Search = false;         // not at At: the message may lie anywhere in Source
  bool CreateTarget = false;   // a missing target is made empty
  // An earlier run appended the message to Target already, its From_ line at this offset: it is
  // not appended again.
  std::int64_t AppendedAt = -1;
};

struct TMboxTransferResult {
  bool Ok = false;
  std::string Why;  // translated
  bool CopyLeft = false;  // failed with the message in both files
  TMboxMessageRef Ref;
  std::size_t CutFrom = 0, CutLength = 0;  // what left Source
  std::int64_t NewFromLine = -1, NewOffset = -1;  // where the message lies in Target now
  platform::TEntryStat SourceBefore, TargetAfter;
  platform::TFolderIdentity SourceFolder;
};

struct TMboxTransferHooks {
  // Called with both files locked, just before the append (the result holds Ref with SourceAt,
  // TargetAt and FromLine, SourceBefore and SourceFolder): 0, or an errno value and nothing is changed.
  std::function<int(const TMboxTransferResult&)> BeforeAppend;
};

// Locks both files (Thunderbird must not hold the profile), checks the message, appends it to
// Target, cuts it from Source and drops both indexes.
TMboxTransferResult TransferMboxMessage(const TMboxTransfer& Transfer, const TMboxTransferHooks& Hooks = {});

// A move the program could not finish (its record has no outcome): true when the message has
// reached the target; Leftover: it is still in the source too (the target's copy is surplus).
bool MboxMoveReachedTarget(const TMboxMessageRef& Ref, const std::string& Source, const platform::TEntryStat& SourceWas,
                           const std::string& Target, bool& Leftover);
// Removes the surplus copy a cut-short move left in Target (when the source still holds the message).
bool RemoveMboxLeftover(const TMboxMessageRef& Ref, const std::string& Target, std::string& Why);

}  // namespace pelcrow

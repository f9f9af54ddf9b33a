#include "plugins/MboxMove.h"

#include <cerrno>
#include <limits>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "base/PathText.h"
#include "localization/TranslateText.h"
#include "platform/FileSystem.h"
#include "platform/SafeFileMbox.h"
#include "platform/WholeFile.h"

namespace pelcrow {

namespace {

constexpr int kMaxProfileDepth = 16;

std::string_view LineOf(std::string_view Mbox, const TMboxMessage& m) {
  std::string_view line = Mbox.substr(m.FromLine, m.Offset - m.FromLine);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

bool Matches(std::string_view Mbox, const TMboxMessage& m, const TMboxMessageRef& Ref) {
  if (!Ref.FromLine.empty() && LineOf(Mbox, m) != Ref.FromLine) return false;
  std::uint64_t d[2];
  std::int64_t len = 0;
  MboxDigest(Mbox.substr(m.Offset, m.Length), d, len);
  return len == Ref.Length && d[0] == Ref.Digest[0] && d[1] == Ref.Digest[1];
}

std::string LockFailure(const platform::TSafeResult& r, const std::string& path) {
  if (r.Failure == platform::TSafeFailure::sfGone) return TranslateText("the mail folder is gone") + ": " + path;
  if (r.Error == EBUSY) return TranslateText("another program keeps the mail folder locked") + ": " + path;
  return path + ": " + (r.Detail.empty() ? platform::ErrorText(r.Error) : r.Detail + ": " + platform::ErrorText(r.Error));
}

std::string InUseText(const std::string& Path) {
  std::string holder;
  const std::string profile = ThunderbirdHolding(Path, holder);
  if (profile.empty()) return std::string();
  return TranslateText("Thunderbird is running on its profile; close Thunderbird first (nothing was changed)") + ": " +
         profile + " (" + holder + ")";
}

bool ReadMbox(const std::string& path, std::string& text) {
  return platform::ReadWholeFile(path, text, std::numeric_limits<std::int64_t>::max()) == 0;
}

}  // namespace

void MboxDigest(std::string_view Bytes, std::uint64_t Digest[2], std::int64_t& Length) {
  while (!Bytes.empty() && (Bytes.back() == '\n' || Bytes.back() == '\r')) Bytes.remove_suffix(1);
  const XXH128_hash_t h = XXH3_128bits(Bytes.data(), Bytes.size());
  Digest[0] = h.high64;
  Digest[1] = h.low64;
  Length = static_cast<std::int64_t>(Bytes.size());
}

void MboxCut(const std::vector<TMboxMessage>& Messages, std::size_t Index, std::size_t FileSize, std::size_t& From,
             std::size_t& To) {
  // The blank line before the next From_ line goes with it; the last one takes the rest of the
  // file, and the blank line before it then ends the file as it ended the message before.
  From = Messages[Index].FromLine;
  To = Index + 1 < Messages.size() ? Messages[Index + 1].FromLine : FileSize;
}

namespace {

bool EndsWithBlankLine(std::string_view s) {
  if (s.empty() || s.back() != '\n') return false;
  s.remove_suffix(1);
  if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
  return s.empty() || s.back() == '\n';
}

}  // namespace

std::string MboxAppendText(std::string_view Existing, std::string_view FromLine, std::string_view Bytes) {
  std::string text;
  if (!Existing.empty() && !EndsWithBlankLine(Existing)) text = Existing.back() == '\n' ? "\n" : "\n\n";
  text.append(FromLine);
  text += '\n';
  text.append(Bytes);
  if (!Bytes.empty() && Bytes.back() != '\n') text += '\n';
  text += '\n';  // the blank line after every message, as mail programs write it
  return text;
}

long FindMboxMessage(std::string_view Mbox, const std::vector<TMboxMessage>& Messages, const TMboxMessageRef& Ref,
                     std::int64_t At, bool Search) {
  long found = -1;
  for (std::size_t i = 0; i < Messages.size(); ++i) {
    const bool here = At >= 0 && static_cast<std::int64_t>(Messages[i].FromLine) == At;
    if (!here && !Search) continue;
    if (!Matches(Mbox, Messages[i], Ref)) continue;
    if (here) return static_cast<long>(i);
    found = static_cast<long>(i);
  }
  return found;
}

std::string ThunderbirdHolding(const std::string& MboxPath, std::string& Holder) {
  // The nearest folder up that has a profile lock is the profile.
  std::string dir = ParentOf(MboxPath);
  for (int depth = 0; depth < kMaxProfileDepth && !dir.empty(); ++depth) {
    platform::TFileInfo info;
    if (platform::LStat(JoinPath(dir, "lock"), info) == 0 || platform::LStat(JoinPath(dir, ".parentlock"), info) == 0) {
      Holder = platform::MozillaProfileHolder(dir);
      return Holder.empty() ? std::string() : dir;
    }
    const std::string up = ParentOf(dir);
    if (up == dir) break;
    dir = up;
  }
  return std::string();
}

TMboxTransferResult TransferMboxMessage(const TMboxTransfer& T, const TMboxTransferHooks& Hooks) {
  TMboxTransferResult res;
  if (T.Source == T.Target) {
    res.Why = TranslateText("the message is in that folder already");
    return res;
  }
  for (const std::string* p : {&T.Source, &T.Target})
    if (std::string why = InUseText(*p); !why.empty()) {
      res.Why = why;
      return res;
    }
  // Always the same order, so that two programs doing this never wait for each other.
  platform::TLockedMbox src, dst;
  const bool sourceFirst = T.Source < T.Target;
  for (int k = 0; k < 2; ++k) {
    const bool isSource = (k == 0) == sourceFirst;
    const platform::TSafeResult r = isSource ? src.Open(T.Source, false) : dst.Open(T.Target, T.CreateTarget);
    if (!r.Ok()) {
      res.Why = isSource && r.Failure == platform::TSafeFailure::sfGone ? TranslateText("the message is gone from its folder")
                                                                         : LockFailure(r, isSource ? T.Source : T.Target);
      return res;
    }
  }
  const std::string& sb = src.Bytes();
  const std::vector<TMboxMessage> split = SplitMbox(sb);
  const long index = FindMboxMessage(sb, split, T.Ref, T.At, T.Search);
  if (index < 0) {
    res.Why = T.Search ? TranslateText("the message is no longer in the folder") + ": " + T.Source
                       : TranslateText("the message has changed since the scan");
    return res;
  }
  const TMboxMessage& m = split[static_cast<std::size_t>(index)];
  res.Ref = T.Ref;
  res.Ref.Used = true;
  res.Ref.SourceAt = static_cast<std::int64_t>(m.FromLine);
  res.Ref.FromLine = LineOf(sb, m);
  res.SourceBefore = src.Stat();
  res.SourceFolder = src.Folder().Identity();
  const std::string_view bytes = std::string_view(sb).substr(m.Offset, m.Length);
  std::size_t appendFrom = 0, appendTo = 0;  // what this run added to Target
  bool appended = false;
  if (T.AppendedAt >= 0 &&
      FindMboxMessage(dst.Bytes(), SplitMbox(dst.Bytes()), res.Ref, T.AppendedAt, false) >= 0) {
    res.Ref.TargetAt = T.AppendedAt;
    res.NewFromLine = T.AppendedAt;
  } else {
    const std::string text = MboxAppendText(dst.Bytes(), res.Ref.FromLine, bytes);
    const std::int64_t size = static_cast<std::int64_t>(dst.Bytes().size());
    res.NewFromLine = size + static_cast<std::int64_t>(text.find(res.Ref.FromLine));
    res.Ref.TargetAt = res.NewFromLine;
    if (Hooks.BeforeAppend)
      if (const int err = Hooks.BeforeAppend(res)) {
        res.Why = TranslateText("cannot write the action journal") + ": " + platform::ErrorText(err);
        return res;
      }
    const platform::TSafeResult a = dst.Append(text);
    if (!a.Ok()) {
      res.Why = LockFailure(a, T.Target);
      return res;
    }
    appendFrom = static_cast<std::size_t>(size);
    appendTo = dst.Bytes().size();
    appended = true;
  }
  res.NewOffset = res.NewFromLine + static_cast<std::int64_t>(res.Ref.FromLine.size()) + 1;
  dst.DropIndex();
  std::size_t from = 0, to = 0;
  MboxCut(split, static_cast<std::size_t>(index), sb.size(), from, to);
  const platform::TSafeResult cut = src.RemoveRange(from, to);
  if (!cut.Ok()) {
    res.Why = LockFailure(cut, T.Source);
    // Our own append goes again, so the message stays only where it was.
    if (appended && !dst.RemoveRange(appendFrom, appendTo).Ok()) {
      res.CopyLeft = true;
      res.Why += "; " + TranslateText("a copy of the message stayed in") + " " + T.Target;
    }
    return res;
  }
  src.DropIndex();
  res.CutFrom = from;
  res.CutLength = to - from;
  res.TargetAfter = dst.Stat();
  res.Ok = true;
  return res;
}

bool MboxMoveReachedTarget(const TMboxMessageRef& Ref, const std::string& Source, const platform::TEntryStat& SourceWas,
                           const std::string& Target, bool& Leftover) {
  Leftover = false;
  std::string text;
  if (!ReadMbox(Target, text) || FindMboxMessage(text, SplitMbox(text), Ref, Ref.TargetAt, true) < 0) return false;
  // The source is rewritten into a new file: the old one still there means the cut never came.
  platform::TFileInfo now;
  std::string src;
  if (platform::Stat(Source, now) == 0 && now.Inode == SourceWas.Inode && now.Device == SourceWas.Device &&
      ReadMbox(Source, src))
    Leftover = FindMboxMessage(src, SplitMbox(src), Ref, Ref.SourceAt, false) >= 0;
  return true;
}

bool RemoveMboxLeftover(const TMboxMessageRef& Ref, const std::string& Target, std::string& Why) {
  if (std::string why = InUseText(Target); !why.empty()) {
    Why = why;
    return false;
  }
  platform::TLockedMbox dst;
  const platform::TSafeResult r = dst.Open(Target, false);
  if (!r.Ok()) {
    Why = LockFailure(r, Target);
    return false;
  }
  const std::vector<TMboxMessage> split = SplitMbox(dst.Bytes());
  const long index = FindMboxMessage(dst.Bytes(), split, Ref, Ref.TargetAt, true);
  if (index < 0) return true;  // gone already
  std::size_t from = 0, to = 0;
  MboxCut(split, static_cast<std::size_t>(index), dst.Bytes().size(), from, to);
  const platform::TSafeResult cut = dst.RemoveRange(from, to);
  if (!cut.Ok()) {
    Why = LockFailure(cut, Target);
    return false;
  }
  dst.DropIndex();
  return true;
}

}  // namespace pelcrow

// The music mode's view of an audio file: recognise the format by content, read its tags and
// stream properties through the matching reader, and build the tag key the comparer groups by.
// Every call opens, reads and closes on the calling thread; readers share only constant tables,
// so calls may run on any number of threads at once.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "audiotags/ByteSource.h"
#include "settings/PcwSettings.h"

namespace pelcrow {

class TFLACfile;
class TOggVorbis;
class TWMAfile;
class TRealMediaFile;
class TMP4Tags;
class TMPEGaudio;

// A facade over exactly one format reader.
class TAudioParserClass {
 public:
  ~TAudioParserClass();
  TAudioParserClass(const TAudioParserClass&) = delete;
  TAudioParserClass& operator=(const TAudioParserClass&) = delete;

  // Tries MPEG audio, MP4, FLAC, Ogg Vorbis, WMA and RealMedia in this order and keeps the first
  // reader that accepts the content; null when none does or the file cannot be opened.
  static std::unique_ptr<TAudioParserClass> Recognize(const std::string& AFileName);
  static std::unique_ptr<TAudioParserClass> Recognize(IByteSource& Source);

  // Never throw: a failure inside gives the empty string.
  std::string Title() const;
  std::string Artist() const;
  std::string Album() const;
  std::string Track() const;
  std::string Year() const;
  std::string Genre() const;
  std::string Duration() const;  // seconds
  std::string BitRate() const;   // kbit/s

  // The tag of the option's ordinal (mtTitle ... mtBitRate).
  std::string Value(TMusicTagsOption Tag) const;

 private:
  TAudioParserClass();
  enum TField { fTitle, fArtist, fAlbum, fTrack, fYear, fGenre, fDuration, fBitRate };
  std::string Get(TField Field) const;
  std::string GetUnsafe(TField Field) const;
  template <typename TReader, typename TTrack, typename TYear, typename TDurationOf, typename TRate>
  static std::string PlainField(TField Field, const TReader& r, TTrack track, TYear year, TDurationOf duration,
                                TRate rate);

  std::unique_ptr<TFLACfile> fFLAC;
  std::unique_ptr<TOggVorbis> fOGG;
  std::unique_ptr<TWMAfile> fWMA;
  std::unique_ptr<TRealMediaFile> fRM;
  std::unique_ptr<TMP4Tags> fMP4;
  std::unique_ptr<TMPEGaudio> fMPA;
};

// Name=Value lines as ReadAudioTags fills them.
using TAudioTagList = std::vector<std::string>;

// Stands between the values of a tag key, so that the boundary between two values is part of the
// key: title "Moon" by "Light" is another song than title "MoonLi" by "ght".
inline constexpr char kTagKeySeparator = '\x1F';

// The tag key of a file: the selected tags of `Options` (low eight bits, Title to BitRate), trimmed
// and joined by kTagKeySeparator. Strict: every selected tag must be present, else the key is
// empty and List is cleared. Lenient: missing tags are left out. When List is given, eight lines
// "Title=..." to "BitRate=..." are appended (empty for tags not selected) and the list is cleared
// when the key is empty. An unrecognised file gives an empty key and leaves List untouched.
std::string ReadAudioTags(const std::string& FileName, TAudioTagList* List, bool Strict, TMusicTagsOptions Options);
std::string ReadAudioTags(IByteSource& Source, TAudioTagList* List, bool Strict, TMusicTagsOptions Options);
// With the options of the global settings.
std::string ReadAudioTags(const std::string& FileName, TAudioTagList* List, bool Strict);

// The value of the line `Name=...` of a list; empty when there is none.
std::string AudioTagValue(const TAudioTagList& List, std::string_view Name);

}  // namespace pelcrow

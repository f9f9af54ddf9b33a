#include "audiotags/AudioTags.h"

#include "audiotags/FLACfile.h"
#include "audiotags/MP4Tags.h"
#include "audiotags/MPEGaudio.h"
#include "audiotags/OggVorbis.h"
#include "audiotags/RealMediaFile.h"
#include "audiotags/TagText.h"
#include "audiotags/WMAfile.h"

namespace pelcrow {

namespace {

constexpr const char* kTagNames[8] = {"Title", "Artist", "Album", "Track", "Year", "Genre", "Duration", "BitRate"};

// Creates the reader and keeps it when `accepts` says the content is of its format.
template <typename TReader, typename TAccept>
std::unique_ptr<TReader> Try(IByteSource& source, TAccept accepts) {
  auto reader = std::make_unique<TReader>();
  try {
    if (reader->ReadFromSource(source) && accepts(*reader)) return reader;
  } catch (...) {
  }
  return nullptr;
}

}  // namespace

TAudioParserClass::TAudioParserClass() = default;
TAudioParserClass::~TAudioParserClass() = default;

std::unique_ptr<TAudioParserClass> TAudioParserClass::Recognize(const std::string& AFileName) {
  TFileByteSource source;
  if (source.Open(AFileName) != 0) return nullptr;
  return Recognize(source);
}

std::unique_ptr<TAudioParserClass> TAudioParserClass::Recognize(IByteSource& Source) {
  std::unique_ptr<TAudioParserClass> p(new TAudioParserClass());
  if ((p->fMPA = Try<TMPEGaudio>(Source, [](const TMPEGaudio& r) { return r.Valid(); }))) return p;
  if ((p->fMP4 = Try<TMP4Tags>(Source, [](const TMP4Tags& r) { return r.IsValid; }))) return p;
  if ((p->fFLAC = Try<TFLACfile>(Source, [](const TFLACfile& r) { return r.Exists && r.IsValid(); }))) return p;
  if ((p->fOGG = Try<TOggVorbis>(Source, [](const TOggVorbis& r) { return r.Valid(); }))) return p;
  if ((p->fWMA = Try<TWMAfile>(Source, [](const TWMAfile& r) { return r.Valid; }))) return p;
  if ((p->fRM = Try<TRealMediaFile>(Source, [](const TRealMediaFile& r) { return r.IsValid; }))) return p;
  return nullptr;
}

std::string TAudioParserClass::Title() const { return Get(fTitle); }
std::string TAudioParserClass::Artist() const { return Get(fArtist); }
std::string TAudioParserClass::Album() const { return Get(fAlbum); }
std::string TAudioParserClass::Track() const { return Get(fTrack); }
std::string TAudioParserClass::Year() const { return Get(fYear); }
std::string TAudioParserClass::Genre() const { return Get(fGenre); }
std::string TAudioParserClass::Duration() const { return Get(fDuration); }
std::string TAudioParserClass::BitRate() const { return Get(fBitRate); }

std::string TAudioParserClass::Value(TMusicTagsOption Tag) const {
  return Tag <= mtBitRate ? Get(static_cast<TField>(Tag)) : std::string();
}

std::string TAudioParserClass::Get(TField Field) const {
  try {
    return GetUnsafe(Field);
  } catch (...) {
    return std::string();
  }
}

// A field of a reader that keeps title, artist, album and genre as members; the other four differ
// in name and type from reader to reader and come from the accessors.
template <typename TReader, typename TTrack, typename TYear, typename TDurationOf, typename TRate>
std::string TAudioParserClass::PlainField(TField Field, const TReader& r, TTrack track, TYear year,
                                          TDurationOf duration, TRate rate) {
  switch (Field) {
    case fTitle: return r.Title;
    case fArtist: return r.Artist;
    case fAlbum: return r.Album;
    case fGenre: return r.Genre;
    case fTrack: return track();
    case fYear: return year();
    case fDuration: return DurationText(duration());
    case fBitRate: return std::to_string(rate());
  }
  return std::string();
}

std::string TAudioParserClass::GetUnsafe(TField Field) const {
  if (fMPA) {
    // ID3v2 when present (even with an empty value), else ID3v1, else the APE tag.
    const TMPEGaudio& m = *fMPA;
    const TID3v2& v2 = m.ID3v2;
    const TID3v1& v1 = m.ID3v1;
    const TAPETag& ape = m.APEtag;
    auto pick = [&](const std::string& a, const std::string& b, const char* apeKey) -> std::string {
      if (v2.Exists) return a;
      if (v1.Exists) return b;
      if (ape.Exists) return ape.Value(apeKey);
      return std::string();
    };
    switch (Field) {
      case fTitle:
        return pick(v2.Title, v1.Title, "TITLE");
      case fArtist:
        return pick(v2.Artist, v1.Artist, "ARTIST");
      case fAlbum:
        return pick(v2.Album, v1.Album, "ALBUM");
      case fGenre:
        return pick(v2.Genre, v1.Genre, "GENRE");
      case fTrack:
        if (v2.Exists) return std::to_string(v2.Track);
        if (v1.Exists) return std::to_string(v1.Track);
        if (ape.Exists) {
          std::string t = ape.Value("TRACKNUMBER");
          return std::to_string(TrackNumberOf(t.empty() ? ape.Value("TRACK") : t, 0xFFFF));
        }
        return std::string();
      case fYear:
        if (v2.Exists) return v2.Year;
        if (v1.Exists) return v1.Year;
        if (ape.Exists) {
          std::string y = ape.Value("DATE");
          return y.empty() ? ape.Value("YEAR") : y;
        }
        return std::string();
      case fDuration:
        return DurationText(m.Duration());
      case fBitRate:
        return std::to_string(m.BitRate());
    }
  } else if (fMP4) {
    const TMP4Tags& r = *fMP4;
    return PlainField(Field, r, [&] { return std::to_string(r.Track); }, [&] { return r.Year; },
                      [&] { return r.Duration; }, [&] { return r.BitRate; });
  } else if (fFLAC) {
    const TFLACfile& r = *fFLAC;
    return PlainField(Field, r, [&] { return r.TrackString; }, [&] { return r.Year; },
                      [&] { return r.Duration(); }, [&] { return r.Bitrate; });
  } else if (fOGG) {
    const TOggVorbis& r = *fOGG;
    return PlainField(Field, r, [&] { return std::to_string(r.Track); }, [&] { return r.Date; },
                      [&] { return r.Duration(); }, [&] { return r.BitRate(); });
  } else if (fWMA) {
    const TWMAfile& r = *fWMA;
    return PlainField(Field, r, [&] { return std::to_string(r.Track); }, [&] { return r.Year; },
                      [&] { return r.Duration; }, [&] { return r.BitRate; });
  } else if (fRM) {
    if (Field == fTitle) return fRM->Title;
    if (Field == fArtist) return fRM->Author;
  }
  return std::string();
}

std::string ReadAudioTags(IByteSource& Source, TAudioTagList* List, bool Strict, TMusicTagsOptions Options) {
  std::unique_ptr<TAudioParserClass> parser;
  try {
    parser = TAudioParserClass::Recognize(Source);
  } catch (...) {
    return std::string();
  }
  if (!parser) return std::string();

  std::string key;
  std::string values[8];
  for (unsigned i = 0; i < 8; ++i) {
    const auto tag = static_cast<TMusicTagsOption>(i);
    if (!Options.Contains(tag)) continue;
    values[i] = std::string(TrimText(parser->Value(tag)));
    const bool missing = values[i].empty() || (tag == mtTrack && values[i] == "0");
    if (missing && Strict) {
      if (List) List->clear();
      return std::string();
    }
    if (missing) continue;
    if (!key.empty()) key += kTagKeySeparator;
    // A separator inside a value would move the boundary again; it means nothing in a tag.
    for (char c : values[i]) {
      if (c == kTagKeySeparator)
        key += "\xEF\xBF\xBD";  // U+FFFD
      else
        key += c;
    }
  }
  if (List) {
    if (key.empty()) {
      List->clear();
    } else {
      for (unsigned i = 0; i < 8; ++i) List->push_back(std::string(kTagNames[i]) + "=" + values[i]);
    }
  }
  return key;
}

std::string ReadAudioTags(const std::string& FileName, TAudioTagList* List, bool Strict, TMusicTagsOptions Options) {
  TFileByteSource source;
  if (source.Open(FileName) != 0) return std::string();
  try {
    return ReadAudioTags(source, List, Strict, Options);
  } catch (...) {
    return std::string();
  }
}

std::string AudioTagValue(const TAudioTagList& List, std::string_view Name) {
  for (const std::string& line : List) {
    std::size_t eq = line.find('=');
    if (eq != std::string::npos && std::string_view(line).substr(0, eq) == Name) return line.substr(eq + 1);
  }
  return std::string();
}

}  // namespace pelcrow

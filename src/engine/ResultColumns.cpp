#include "engine/ResultColumns.h"

#include "base/PathText.h"
#include "base/FormatSettings.h"
#include "engine/ScanEngine.h"
#include "localization/Formatting.h"

namespace pelcrow {

namespace {

const char* const kTagCaptions[8] = {"Title", "Artist", "Album", "Track", "Year", "Genre", "Duration", "Bit Rate"};

std::string DateText(TDateTime t) { return FormatDateTime(GetDisplayDateFormat(true), t); }

}  // namespace

std::vector<int> ResultColumnsFor(std::uint8_t Mode, std::uint8_t ShownTags) {
  switch (Mode) {
    case cmEmails: return {rcCheck, rcSubject, rcPath, rcSize, rcDupGroup, rcFrom, rcTo, rcReceived};
    case cmContacts: return {rcCheck, rcPath, rcSize, rcDupGroup, rcModified, rcFullName, rcEmail1, rcEmail2, rcEmail3};
    default: break;
  }
  std::vector<int> c = {rcCheck, rcName, rcPath, rcDupGroup, rcSize, rcModified};
  if (Mode == cmMusicTags)
    for (int t = 0; t < 8; ++t)
      if (ShownTags & (1u << t)) c.push_back(rcTag + t);
  if (Mode == cmSimilarPictures) c.push_back(rcSimilarity);
  return c;
}

const char* ResultColumnCaption(int Column) {
  switch (Column) {
    case rcCheck: return "";
    case rcName: return "File Name";
    case rcPath: return "Path";
    case rcDupGroup: return "Dup. Group";
    case rcSize: return "Size";
    case rcModified: return "Modified";
    case rcSubject: return "Subject";
    case rcFrom: return "From";
    case rcTo: return "To";
    case rcReceived: return "Received Date";
    case rcFullName: return "Full Name";
    case rcEmail1: return "E-mail 1";
    case rcEmail2: return "E-mail 2";
    case rcEmail3: return "E-mail 3";
    case rcSimilarity: return "Similarity";
    default: break;
  }
  if (Column >= rcTag && Column < rcTag + 8) return kTagCaptions[Column - rcTag];
  return "";
}

std::string ResultCellText(const TFileItem& Item, int Column) {
  const TEmailInfo* mail = Item.Emails.get();
  switch (Column) {
    case rcCheck: return Item.fSelected ? "1" : "0";
    case rcName: return Item.Name.str();
    case rcPath: return DeleteExtendedPrefix(Item.Path.str());
    case rcDupGroup: return std::to_string(Item.DupGroup);
    case rcSize: return FormatFileSize(Item.Size);
    case rcModified: return DateText(Item.Modified);
    case rcSubject: return mail ? mail->Subject : std::string();
    case rcFrom: return mail ? mail->From : std::string();
    case rcTo: return mail ? mail->To_ : std::string();
    case rcReceived: return mail ? DateText(mail->ReceivedDate) : std::string();
    case rcFullName: return Item.Name.str();
    case rcEmail1: return mail ? mail->Address1 : std::string();
    case rcEmail2: return mail ? mail->Address2 : std::string();
    case rcEmail3: return mail ? mail->Address3 : std::string();
    case rcSimilarity: return Item.Similarity ? std::to_string(Item.Similarity) + " %" : std::string();
    default: break;
  }
  if (Column >= rcTag && Column < rcTag + 8 && Item.MusicTags) {
    const TMusicTagsInfo& t = *Item.MusicTags;
    const std::string* values[8] = {&t.Title, &t.Artist, &t.Album, &t.Track, &t.Year, &t.Genre, &t.Duration, &t.BitRate};
    return *values[Column - rcTag];
  }
  return {};
}

}  // namespace pelcrow

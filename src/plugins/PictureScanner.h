// The photo-library plug-in on the scanner framework, in two layers. The picture layer
// (TScannerPictureBase, TItemPictureBase) knows picture files and compares them by size, CRC-32
// and a 128-bit content hash. The library layer (TScannerPictureLibrary) talks to the photo
// manager only through the named scripts of a script folder: albums are its folders, photos its
// items, each backed by a file on disk. The shipped scripts drive Shotwell.
//
// Threads: the scanner lives on the user-interface thread; its scan thread runs the enumeration
// script per album and reads the files, then hands the groups over (see ScannerBase.h).
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SafeFile.h"
#include "platform/ScriptHost.h"
#include "plugins/ScannerBase.h"

namespace pelcrow {

class EPhotoLibraryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs over a buffer, updating a CRC-32 register without its final inversion (the engine gives
// its table-driven routine).
using TCrc32Update = void (*)(const void* Buffer, std::size_t Length, std::uint32_t& CRC);

// The size of the short checksum's single read.
inline constexpr std::size_t kPictureShortBlock = 65521;

class TItemPictureBase : public TItemBase {
 public:
  const std::string& FilePath() const { return fFilePath; }
  // Also reads the file's size into Size (-1 when it is not found) and its identity.
  void SetFilePath(std::string Path);
  std::int32_t Width() const { return fWidth; }
  void SetWidth(std::int32_t Value) { fWidth = Value; }
  std::int32_t Height() const { return fHeight; }
  void SetHeight(std::int32_t Value) { fHeight = Value; }
  // The file as SetFilePath found it; the folder's identity too.
  const platform::TFileIdentity& FileId() const { return fFileId; }
  const platform::TFolderIdentity& FolderId() const { return fFolderId; }

  // Checksums, read on first use and kept. A file that cannot be read gives 0 (short, not kept)
  // and 4294967295 (full, kept) with Unreadable set.
  std::uint32_t Crc32Short(TCrc32Update Update) const;
  std::uint32_t Crc32Full(TCrc32Update Update) const;
  // The 128-bit content hash of the full read (0 0 when unread or unreadable).
  const std::uint64_t* ContentHash() const { return fHash; }
  bool Unreadable() const { return fUnreadable; }

 private:
  std::string fFilePath;
  std::int32_t fWidth = 0, fHeight = 0;
  platform::TFileIdentity fFileId;
  platform::TFolderIdentity fFolderId;
  mutable std::uint32_t fCrc32Short = 0, fCrc32Full = 0;
  mutable bool fCrc32ShortCalculated = false, fCrc32FullCalculated = false;
  mutable std::uint64_t fHash[2] = {0, 0};
  mutable bool fUnreadable = false;
};

class TItemPictureLibrary : public TItemPictureBase {};

class TFolderPictureBase : public TFolderBase {
 public:
  using TFolderBase::TFolderBase;
};

// An album of the library; Id is the album's identifier.
class TFolderPictureLibrary : public TFolderPictureBase {
 public:
  using TFolderPictureBase::TFolderPictureBase;
  const std::string& AlbumType() const { return fAlbumType; }
  // Also picks the album's icon.
  void SetAlbumType(std::string Value);

 private:
  std::string fAlbumType;
};

class TScanOptionsPictureBase : public TScanOptionsBase {};

// Three-way comparison (0: duplicates): the same path first, then size (smaller first), short
// checksum, full checksum (larger first), content hash.
int ComparePictures(const TItemPictureBase& A, const TItemPictureBase& B, TCrc32Update Update);

// ---- the scripts' result formats
// A number as the scripts may write it ("1.5E+2"), made plain ("150").
std::string MakePlainNumber(std::string_view Text);

struct TPhotoRecord {
  std::string Id, FilePath;
  std::int32_t Width = 0, Height = 0;
  TDateTime Date;
};
// Five lines per photo: identifier, file path, width, height, date (seconds since 1970). False
// with Error when the text is not made of whole records of that form.
bool ParsePhotoList(std::string_view Text, std::vector<TPhotoRecord>& Photos, std::string& Error);
// Three lines per album (identifier, name, type), each prefixed by one tab per level of depth;
// the albums are made below Root. False with Error when a record is incomplete.
bool ParseAlbumList(std::string_view Text, TFolderBase& Root, std::string& Error);

// A photo the scan left out, with the reason ("missing", "unreadable", "the same file as ...").
struct TLeftOutPhoto {
  std::string Id, FilePath, Album, Reason;
};

class TScannerPictureBase : public TScannerBase {
 public:
  explicit TScannerPictureBase(TCrc32Update Update) : fUpdate(Update) {}
  bool CanPreviewFile() const override { return true; }
  std::string GetPreviewFilePath(const TItemBase& AItem) const override;
  TCrc32Update Crc32Update() const { return fUpdate; }

 protected:
  std::unique_ptr<TScanOptionsBase> CreateScanOptions() const override;

 private:
  TCrc32Update fUpdate;
};

class TScannerPictureLibrary : public TScannerPictureBase {
 public:
  // ScriptFolder holds the named scripts; Library is handed to them (PELCROW_PHOTO_LIBRARY).
  TScannerPictureLibrary(std::string ScriptFolder, std::string Library, TCrc32Update Update);

  const std::string& Library() const { return fLibrary; }
  const platform::TScriptHost& Scripts() const { return fScripts; }
  // Runs a script; throws EPhotoLibraryError when it cannot run or fails.
  std::string RunScript(const std::string& Name, const std::vector<std::string>& Arguments) const;

  // Into the library's trash; throws with the reason. The item is then deleted and unchecked.
  void DeleteItem(TItemBase& AItem) override;
  // Does nothing: pictures stay in their albums.
  void MoveItem(TItemBase& AItem, TFolderBase* ADestFolder) override;
  bool CanDisplayItems() const override { return true; }
  void DisplayItem(TItemBase& AItem) override;
  bool CanDisplayFolders() const override { return true; }
  void DisplayFolder(TFolderBase& AFolder) override;
  bool CanDisplayTrash() const override { return true; }
  void DisplayTrash() override;

  // The photos the last scan left out, and why.
  const std::vector<TLeftOutPhoto>& LeftOut() const { return fLeftOut; }
  // Why the last scan ended with nothing (a script failed); empty when it ran through.
  const std::string& LastError() const { return fLastError; }

 protected:
  void InitializeSource() override;
  void PopulateFolders() override;
  std::unique_ptr<TScanThreadBase> CreateScanThread() override;
  void ScanHandedOver(TScanThreadBase& Thread) override;

 private:
  std::string fLibrary;
  platform::TScriptHost fScripts;
  std::vector<TLeftOutPhoto> fLeftOut;
  std::string fLastError;
};

// Takes the picture out of the library's trash again (undo of DeleteItem); false with Why. True
// also when it is out already.
bool RestoreLibraryPhoto(const std::string& ScriptFolder, const std::string& Library, const std::string& PhotoId,
                         const std::string& FilePath, std::string& Why);

// The script that says whether the library can be read, by name.
inline constexpr const char* kPhotoCheckScript = "iphoto_scanner_check";

}  // namespace pelcrow

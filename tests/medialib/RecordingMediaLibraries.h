// Both media libraries as recording fakes: every back-end call becomes one line, e.g.
// "WMP.AddNew /m/a.mp3 [WMP:Road,iTunes:Gym]". Installed for its scope; Options() are the
// switches it was given. The previous back-ends come back at the end.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "medialib/MediaLibSync.h"

namespace pelcrow::test {

class TRecordingMediaLibraries : public IMediaLibStatus {
 public:
  TRecordingMediaLibraries(bool syncWMP, bool syniTunes) {
    fOptions.WMP = syncWMP;
    fOptions.iTunes = syniTunes;
    fPrevious[0] = RegisterMediaLibrary(mlWMP, [this](const TMediaLibSyncOptions& o) {
      Moving.push_back(o.MovesFiles);
      return std::make_unique<TFake>(*this, 0);
    });
    fPrevious[1] = RegisterMediaLibrary(mliTunes, [this](const TMediaLibSyncOptions&) { return std::make_unique<TFake>(*this, 1); });
    SetMediaLibStatus(this);
  }
  ~TRecordingMediaLibraries() override {
    SetMediaLibStatus(nullptr);
    RegisterMediaLibrary(mlWMP, std::move(fPrevious[0]));
    RegisterMediaLibrary(mliTunes, std::move(fPrevious[1]));
  }
  TRecordingMediaLibraries(const TRecordingMediaLibraries&) = delete;
  TRecordingMediaLibraries& operator=(const TRecordingMediaLibraries&) = delete;

  const TMediaLibSyncOptions& Options() const { return fOptions; }

  void ShowWaitText(const std::string& text) override { WaitTexts.push_back(text); }
  void ShowStatusText(const std::string& text) override { StatusTexts.push_back(text); }

  static std::string Describe(const TPlaylistList* lists) {
    if (lists == nullptr) return "none";
    std::string r = "[";
    for (const TPlaylistInfo& p : *lists) {
      if (r.size() > 1) r += ',';
      r += (p.Origin == ploWMP ? "WMP:" : p.Origin == ploITunes ? "iTunes:" : "iPhoto:") + p.Name;
    }
    return r + "]";
  }

  std::vector<std::string> Calls, WaitTexts, StatusTexts;
  // Per player back-end created: whether the run said it moves files.
  std::vector<bool> Moving;
  bool InitResult[2] = {true, true};
  // Playlists a Delete reports the file was in, per library.
  std::vector<TPlaylistInfo> Memberships[2];
  // A call whose path equals this throws, as a failing automation call would.
  std::string ThrowOnPath;

 private:
  class TFake : public IMediaLibraryPlugin {
   public:
    TFake(TRecordingMediaLibraries& owner, int index) : fOwner(owner), fIndex(index) {}
    bool Init() override {
      Record("Init");
      return fOwner.InitResult[fIndex];
    }
    void AddNew(const std::string& path, const TPlaylistList* lists) override {
      Record("AddNew " + path + " " + Describe(lists), path);
    }
    void Delete(const std::string& path, std::unique_ptr<TPlaylistList>& lists) override {
      Record("Delete " + path, path);
      if (!lists) lists = std::make_unique<TPlaylistList>();
      for (const TPlaylistInfo& p : fOwner.Memberships[fIndex]) lists->push_back(p);
    }
    void Rename(const std::string& oldName, const std::string& newName) override {
      Record("Rename " + oldName + " -> " + newName, oldName);
    }
    void Done() override { Record("Done"); }

   private:
    void Record(const std::string& what, const std::string& path = std::string()) {
      fOwner.Calls.push_back(std::string(fIndex == 0 ? "WMP." : "iTunes.") + what);
      if (!path.empty() && path == fOwner.ThrowOnPath) throw std::runtime_error("library not answering");
    }
    TRecordingMediaLibraries& fOwner;
    int fIndex;
  };

  TMediaLibraryFactory fPrevious[2];
  TMediaLibSyncOptions fOptions;
};

}  // namespace pelcrow::test

// TThunderbirdScanner: e-mails in Thunderbird's Local Folders, found through profiles.ini (also
// of the Flatpak). Each folder is an mbox file ("Inbox"), its subfolders lie in "Inbox.sbd/".
// Thunderbird keeps deleted messages in the file until it compacts it: those are left out.
// A delete or move appends the message to the target mbox and rewrites its own without it, never
// while Thunderbird runs on the profile.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "plugins/MailScanner.h"

namespace pelcrow {

// The "Local Folders" of every profile profiles.ini names under the root; a root that is no
// profile folder but holds mbox files is a store itself.
std::vector<std::string> ThunderbirdStores(const std::vector<std::string>& Roots);

// One message of an mbox: where its bytes start (after the From_ line) and how many there are.
struct TMboxMessage {
  std::size_t FromLine = 0;
  std::size_t Offset = 0;
  std::size_t Length = 0;
};
// The messages of an mbox: each starts at a "From " line at the start or after an empty line.
std::vector<TMboxMessage> SplitMbox(std::string_view Mbox);
// The message's bytes with the ">From " quoting of its body lines taken back one level.
std::string UnquoteMboxMessage(std::string_view Bytes);

class TThunderbirdScanner final : public TMailScanner {
 public:
  explicit TThunderbirdScanner(std::vector<std::string> ProfileRoots);
  std::string StoreName() const override { return "Thunderbird"; }
  std::string ItemLocation(const TMailItem& AItem) const override;
  void ReadFolder(const TMailFolder& Folder, bool WantBody, bool CaseSensitive,
                  const std::function<bool(std::unique_ptr<TMailItem>)>& Add,
                  const std::function<void(std::int32_t, std::int32_t)>& Progress) const override;

 protected:
  void InitializeSource() override;
  void PopulateFolders() override;
  TMailFolder& TrashFor(TMailFolder& Folder) override;
  void MoveMessage(TMailItem& AItem, TMailFolder& Destination, bool IsDelete, const TMailItem* Kept) override;

 private:
  // The group's copy that stays is still in its mbox as the scan read it (else throws).
  void CheckKept(const TMailItem& Kept) const;
  std::vector<std::string> fStores;
};

}  // namespace pelcrow

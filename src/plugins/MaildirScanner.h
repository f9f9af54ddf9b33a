// TMaildirScanner: e-mails in Maildir stores. A store root is a Maildir++ tree (neomutt, mbsync,
// Dovecot, offlineimap: the root holds the inbox, ".A.B" folders hold A/B), a folder of nested
// Maildirs (mbsync's Verbatim layout, one store per account), or KMail's local mail (children of
// "name" under ".name.directory"). A delete renames the message into the store's Trash; a move
// renames it into the chosen folder's cur/.
#pragma once

#include <string>
#include <vector>

#include "plugins/MailScanner.h"

namespace pelcrow {

// The text's paths with "~" and "$VAR" expanded; empty and unset entries left out.
std::vector<std::string> ExpandStorePaths(const std::string& Text);
// IMAP's modified UTF-7 folder names ("&AOQ-" for "ä") as UTF-8.
std::string DecodeModifiedUtf7(std::string_view Name);
// The folder holds cur/ and new/.
bool IsMaildirFolder(const std::string& Dir);

class TMaildirScanner final : public TMailScanner {
 public:
  // Roots that do not exist are left out; Connect throws when none is left.
  explicit TMaildirScanner(std::vector<std::string> StoreRoots);
  std::string StoreName() const override { return "Maildir"; }
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
  std::vector<std::string> fRoots;
};

}  // namespace pelcrow

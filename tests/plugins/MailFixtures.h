// Mail stores for the tests, written and read back by Python's mailbox module (the peer every
// Maildir program agrees with), and messages built from a few fields.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "TestUtil.h"

namespace pelcrow::test {

struct TTestMail {
  std::string Folder;  // "" inbox, "Work", "Work.Sub", "Trash"
  std::string From = "Ann Smith <ann@example.org>";
  std::string To = "bob@example.org";
  std::string Subject = "Hello";
  std::string Date = "Tue, 01 Jul 2003 10:52:37 +0200";
  std::string Body = "Hi Bob,\nsee you.\n";
  std::string Sub = "cur";
  std::string Extra;  // more header lines, each ending "\n"
  std::string Raw;    // the whole message, when given
  TTestMail& SetFolder(std::string v) { Folder = std::move(v); return *this; }
  TTestMail& SetFrom(std::string v) { From = std::move(v); return *this; }
  TTestMail& SetSubject(std::string v) { Subject = std::move(v); return *this; }
  TTestMail& SetDate(std::string v) { Date = std::move(v); return *this; }
  TTestMail& SetBody(std::string v) { Body = std::move(v); return *this; }
  TTestMail& SetSub(std::string v) { Sub = std::move(v); return *this; }
  std::string Bytes() const {
    if (!Raw.empty()) return Raw;
    return "Return-Path: <ann@example.org>\nFrom: " + From + "\nTo: " + To + "\nSubject: " + Subject +
           "\nDate: " + Date + "\nMessage-ID: <" + std::to_string(std::hash<std::string>()(Body + Subject)) +
           "@example.org>\n" + Extra + "\n" + Body;
  }
};

inline TTestMail Mail() { return TTestMail(); }

inline std::string RunOutput(const std::string& cmd) {
  std::string out;
  FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

inline std::string DataScript(const char* name) { return std::string(PELCROW_TEST_DATA_DIR) + "/mail/" + name; }

// A Maildir++ store at Root holding the mails, made by Python's mailbox module.
inline void MakeMaildir(const TTempDir& dir, const std::string& root, const std::vector<TTestMail>& mails) {
  std::string manifest;
  for (std::size_t i = 0; i < mails.size(); ++i) {
    const std::string file = dir.Write("src/m" + std::to_string(i) + ".eml", mails[i].Bytes());
    manifest += mails[i].Folder + "\t" + mails[i].Sub + "\t" + file + "\n";
  }
  const std::string list = dir.Write("src/manifest", manifest);
  const std::string out = RunOutput("/usr/bin/python3 " + DataScript("make_maildir.py") + " '" + root + "' '" + list + "'");
  ASSERT_EQ(out, "") << "make_maildir.py failed";
}

// FOLDER<TAB>SUBJECT<TAB>SHA1 lines as Python's mailbox module sees the store.
inline std::string ListMaildir(const std::string& root) {
  return RunOutput("/usr/bin/python3 " + DataScript("list_maildir.py") + " '" + root + "'");
}

// Thunderbird's Local Folders at Root holding the mails, one mbox file per folder ("" is Inbox,
// "Work.sbd/Sub" a subfolder), made by Python's mailbox module.
inline void MakeMbox(const TTempDir& dir, const std::string& root, const std::vector<TTestMail>& mails) {
  std::string manifest;
  for (std::size_t i = 0; i < mails.size(); ++i) {
    const std::string file = dir.Write("src/b" + std::to_string(i) + ".eml", mails[i].Bytes());
    manifest += (mails[i].Folder.empty() ? std::string("Inbox") : mails[i].Folder) + "\t" + file + "\n";
  }
  const std::string list = dir.Write("src/mbox-manifest", manifest);
  const std::string out = RunOutput("/usr/bin/python3 " + DataScript("make_mbox.py") + " '" + root + "' '" + list + "'");
  ASSERT_EQ(out, "") << "make_mbox.py failed";
}

// FOLDER<TAB>SUBJECT<TAB>SHA1 lines (the bytes with their From_ line) as Python's mailbox module
// sees the mbox files below Root.
inline std::string ListMbox(const std::string& root) {
  return RunOutput("/usr/bin/python3 " + DataScript("list_mbox.py") + " '" + root + "'");
}

}  // namespace pelcrow::test

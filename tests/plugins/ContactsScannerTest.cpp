#include "plugins/ContactsScanner.h"

#include <gtest/gtest.h>

#include <map>

namespace pelcrow {
namespace {

struct TContact {
  std::string Name;
  std::vector<std::string> Emails;
};

// Contacts 0..n-1 as groups: each group the sorted list of its members' numbers, lone ones left out.
std::vector<std::vector<int>> Groups(const std::vector<TContact>& contacts, std::uint8_t bits) {
  std::vector<TContactItem> items(contacts.size());
  std::vector<const TContactItem*> ptrs;
  for (std::size_t i = 0; i < contacts.size(); ++i) {
    items[i].FullName = contacts[i].Name;
    items[i].Emails = contacts[i].Emails;
    ptrs.push_back(&items[i]);
  }
  const std::vector<std::int64_t> keys = ContactGroupKeys(ptrs, TOlContactScanOptions::FromBits(bits));
  std::map<std::int64_t, std::vector<int>> byKey;
  for (std::size_t i = 0; i < keys.size(); ++i) byKey[keys[i]].push_back(static_cast<int>(i));
  std::vector<std::vector<int>> out;
  for (auto& [k, members] : byKey)
    if (members.size() > 1) out.push_back(members);
  return out;
}

constexpr std::uint8_t kName = 2, kEmail = 4, kBoth = 6;

TEST(ContactGroups, NameAndSharedAddressAsTheOptionsSay) {
  struct TCase {
    const char* What;
    std::vector<TContact> Contacts;
    std::uint8_t Bits;
    std::vector<std::vector<int>> Expected;
  };
  const TCase cases[] = {
      {"only e-mail: every contact without an address is one group",
       {{"A", {}}, {"B", {}}, {"C", {"c@x"}}}, kEmail, {{0, 1}}},
      {"x and y share y with a contact of y alone", {{"A", {"x@x", "y@x"}}, {"B", {"Y@X"}}}, kEmail, {{0, 1}}},
      {"same name, no common address: apart under both options",
       {{"Ann", {"a@x"}}, {"Ann", {"b@x"}}}, kBoth, {}},
      {"name ignores letter case", {{"Ann Lee", {}}, {"ANN LEE", {"z@x"}}}, kName, {{0, 1}}},
      {"a chain of shared addresses is one group whatever the order",
       {{"P", {"b@x", "c@x"}}, {"Q", {"z@x"}}, {"P", {"a@x", "b@x"}}, {"P", {"c@x", "d@x"}}}, kBoth, {{0, 2, 3}}},
      {"both options: a shared address across names is no duplicate",
       {{"Ann", {"s@x"}}, {"Bob", {"s@x"}}}, kBoth, {}},
  };
  for (const TCase& c : cases) EXPECT_EQ(Groups(c.Contacts, c.Bits), c.Expected) << c.What;
}

TEST(ContactStores, ReadsKhardAndVdirsyncerConfigurations) {
  EXPECT_EQ(KhardAddressBooks("[general]\npath = /not/this\n[addressbooks]\n[[family]]\n  path = ~/.contacts/family/\n"
                              "[[friends]]\npath = \"/srv/friends\"\n[contact table]\ndisplay = first_name\n"),
            (std::vector<std::string>{"~/.contacts/family/", "/srv/friends"}));
  EXPECT_EQ(VdirsyncerAddressBooks("[pair contacts]\na = \"c_local\"\n[storage c_local]\ntype = \"filesystem\"\n"
                                   "path = \"~/.contacts/\"\nfileext = \".vcf\"\n[storage cal]\ntype = \"filesystem\"\n"
                                   "path = \"~/.calendars/\"\nfileext = \".ics\"\n[storage remote]\ntype = \"carddav\"\n"),
            std::vector<std::string>{"~/.contacts/"});
}

}  // namespace
}  // namespace pelcrow

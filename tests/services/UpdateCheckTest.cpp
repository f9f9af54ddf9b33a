#include "services/UpdateCheck.h"

#include <gtest/gtest.h>

#include <string>

namespace pelcrow {
namespace {

TEST(UpdateCheckTest, VersionComparison) {
  struct TCase {
    const char* Offered;
    const char* Installed;
    bool Newer;
  } cases[] = {
      {"1.2.10", "1.2.9", true},    {"1.2.9", "1.2.10", false}, {"1.2.3.4", "1.2.3.4", false},
      {"2.0.0.0", "1.9.9.9", true}, {"1.2.1", "1.2", false},    {"1.2", "1.2.1", false},
      {"1.x", "1.0", false},        {"1.1", "1.x", false},      {"", "1.0", false},
      {"0.2.0", "0.1.0", true},     {"0.1.0", "0.1.0", false},  {"10", "9", true},
      {"1..2", "1.0.1", false},     {"-1", "0", false},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(IsNewerVersion(c.Offered, c.Installed), c.Newer) << c.Offered << " against " << c.Installed;
  }
}

TEST(UpdateCheckTest, TheDescriptionNeedsAVersionAndAnAddress) {
  const auto d = ParseUpdateDescription(
      "Title: Pelcrow\r\nVersion: 2.0.0.0 \r\nDownloadUrl: https://example.test/a:b/pelcrow_2.0.deb\r\n"
      "sha256:  ABCDEF0123456789abcdef0123456789ABCDEF0123456789abcdef0123456789\nno colon here\n");
  ASSERT_TRUE(d.has_value());
  EXPECT_EQ(d->Version, "2.0.0.0");
  // Only the first colon divides name and value.
  EXPECT_EQ(d->DownloadUrl, "https://example.test/a:b/pelcrow_2.0.deb");
  EXPECT_EQ(d->Sha256, "abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789");
  EXPECT_TRUE(IsSha256Text(d->Sha256));

  for (const char* broken : {"Version: 2.0\n", "DownloadUrl: https://x/y\n", "Version:\nDownloadUrl: https://x/y\n",
                             "", "<html>Not found</html>"}) {
    EXPECT_FALSE(ParseUpdateDescription(broken).has_value()) << broken;
  }
}

TEST(UpdateCheckTest, AddressesAndNames) {
  EXPECT_EQ(UpdateDescriptionUrl(""), "https://pelcrow.org/files/autoupdate.txt");
  EXPECT_EQ(UpdateDescriptionUrl("127.0.0.1:8443"), "https://127.0.0.1:8443/files/autoupdate.txt");
  EXPECT_EQ(UpdateDescriptionUrl("https://mirror.test/pelcrow/"), "https://mirror.test/pelcrow/files/autoupdate.txt");
  EXPECT_TRUE(IsHttpsUrl("HTTPS://a/b"));
  EXPECT_FALSE(IsHttpsUrl("http://a/b"));
  EXPECT_FALSE(IsHttpsUrl("file:///etc/passwd"));
  EXPECT_FALSE(IsHttpsUrl("https://"));
  EXPECT_FALSE(IsSha256Text("abc"));
  EXPECT_FALSE(IsSha256Text(std::string(63, 'a') + "g"));

  EXPECT_EQ(DownloadFileName("https://h/files/pelcrow_2.0_amd64.deb"), "pelcrow_2.0_amd64.deb");
  EXPECT_EQ(DownloadFileName("https://h/files/setup.AppImage?token=1"), "setup.AppImage");
  for (const char* odd : {"https://h/", "https://h", "https://h/.bashrc", "https://h/a%2F..%2Fb", "https://h/x y"}) {
    EXPECT_EQ(DownloadFileName(odd), "Update") << odd;
  }
}

}  // namespace
}  // namespace pelcrow

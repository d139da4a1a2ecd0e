// The environment every end-to-end test stands on: text crossing between X and Wine's
// clipboard in the Japanese locale, and byte-exact text between two Win32 processes. When
// these fail, the program's own tests cannot be trusted to tell anything.
#include <string>

#include "harness.h"

namespace e2e {
namespace {

using EnvironmentTest = QuintorbTest;

std::string WineClipboardHex() {
  DriverResult r = Driver({"clip-get-hex"});
  return r.ok() ? r.Get("hex") : "(" + r.Describe() + ")";
}

TEST_F(EnvironmentTest, XTextReachesWineAsShiftJisWithCrLf) {
  ASSERT_TRUE(XclipSet("テスト\n行"));
  std::string hex;
  EXPECT_TRUE(WaitFor([&] { return (hex = WineClipboardHex()) == "8365835883670d0a8d73"; },
                      Scaled(5s)))
      << hex;
}

TEST_F(EnvironmentTest, WineTextReachesXAsUtf8WithLf) {
  DriverResult set = Driver({"clip-set-hex", "837e838b836583690d0a8740"});
  ASSERT_TRUE(set.ok()) << set.Describe();
  std::optional<std::string> x;
  EXPECT_TRUE(WaitFor([&] { return (x = XclipGet()) == "ミルテナ\n①"; }, Scaled(5s)))
      << x.value_or("(no text)");
}

// Between Win32 processes the clipboard keeps any bytes, also those X would change.
TEST_F(EnvironmentTest, TextBetweenWin32ProcessesIsByteExact) {
  for (const char* hex : {"410d0a0a42", "ff80a0", "81", "8340", ""}) {
    DriverResult set = Driver({"clip-set-hex", hex});
    ASSERT_TRUE(set.ok()) << set.Describe();
    EXPECT_EQ(WineClipboardHex(), hex);
  }
}

}  // namespace
}  // namespace e2e

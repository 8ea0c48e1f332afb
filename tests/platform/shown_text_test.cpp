#include "platform/shown_text.h"

#include <gtest/gtest.h>

namespace tessellon {
namespace {

// A status text, URL or file name from outside must stay one line and must
// not drive the terminal: every control character but tab is shown.
TEST(ShowControlCharacters, ShowsEveryControlCharacterButTabAsHex) {
    EXPECT_EQ(ShowControlCharacters(std::string("a\x1b[2Jb\r\nc\td\x7f\0e", 14)),
              "a\\x1B[2Jb\\x0D\\x0Ac\td\\x7F\\x00e");
    EXPECT_EQ(ShowControlCharacters("Not Found /\xc3\xa9t\xc3\xa9 \\x41"),
              "Not Found /\xc3\xa9t\xc3\xa9 \\x41");
    EXPECT_TRUE(HasControlCharacter(std::string("a\0b", 3)));
    EXPECT_TRUE(HasControlCharacter("a\tb"));
    EXPECT_TRUE(HasControlCharacter("\x1f"));
    EXPECT_FALSE(HasControlCharacter("/maps/yn_1_2_3.png \xc3\xa9"));
}

}  // namespace
}  // namespace tessellon

// Faults the fuzz targets (fuzz/) found in the set-up code, each pinned down
// by the smallest case that shows it.
#include "ini/profile.h"

#include <gtest/gtest.h>

#include <string>

using ini::Profile;

namespace {

// A file whose last line ends in a CR with no LF after it (a CR LF file cut
// short, or written by hand). Under the file's line rules that CR is part of
// the line; adding a line after it must not turn it into half of a CR LF
// line end, which would change the line's value.
TEST(FuzzRegressions, SetLeavesALastLineThatEndsInALoneCrAsItWas) {
    for (const std::string text : {"[a]\nk=v\r", "[a]\r\nk=v\r", "[a]\nk=v\n=no name\r"}) {
        SCOPED_TRACE(text);
        const Profile original = Profile::FromText(text);
        const auto k = original.Get("a", "k");
        const auto unnamed = original.Get("a", "");

        Profile newSection = original;
        newSection.Set("b", "x", "1");
        EXPECT_EQ(newSection.Text().substr(0, text.size()), text);
        EXPECT_EQ(newSection.Get("a", "k"), k);
        EXPECT_EQ(newSection.Get("a", ""), unnamed);
        EXPECT_EQ(newSection.Get("b", "x"), "1");
        EXPECT_EQ(newSection.Keys("a"), original.Keys("a"));

        Profile newKey = original;
        newKey.Set("a", "n", "2");
        EXPECT_EQ(newKey.Text().substr(0, text.size()), text);
        EXPECT_EQ(newKey.Get("a", "k"), k);
        EXPECT_EQ(newKey.Get("a", ""), unnamed);
        EXPECT_EQ(newKey.Get("a", "n"), "2");
    }
}

} // namespace

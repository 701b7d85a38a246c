// The program's two text filters, as built at start-up.
#include "app/text_filters.h"

#include <gtest/gtest.h>

namespace mm::app {
namespace {

TEST(TextFilters, KeywordFilterStarsSlashesAndQuotes) {
    BuildTextFilters();
    EXPECT_EQ(KeywordFilter(R"(A/B\C "D")"), "A*B*C *D*");
    EXPECT_EQ(KeywordFilter("AC:DC?<>|"), "AC:DC?<>|") << "only the three characters";
    EXPECT_EQ(KeywordFilter("周杰伦／"), "周杰伦／");
}

TEST(TextFilters, FileNameFilterDashesWhatNoNameMayHold) {
    BuildTextFilters();
    EXPECT_EQ(FileNameFilter("AC/DC: Live? - X "), "AC-DC- Live- - X ");
    EXPECT_EQ(FileNameFilter("<a|b*c>\"d\"\\"), "-a-b-c--d--");
    EXPECT_EQ(FileNameFilter("周杰伦：七里香？"), "周杰伦：七里香？") << "full-width marks are other characters";
    EXPECT_EQ(FileNameFilter(""), "");
    // Every control character, U+0000 to U+001F and U+007F, and nothing next to them.
    std::string controls;
    for (int c = 0; c < 0x20; ++c) controls += static_cast<char>(c);
    controls += '\x7F';
    EXPECT_EQ(FileNameFilter(controls), std::string(33, '-'));
    EXPECT_EQ(FileNameFilter(" !~\xC2\x80\xC2\x85"), " !~\xC2\x80\xC2\x85")
        << "printable ASCII and characters beyond U+007F stay";
}

}  // namespace
}  // namespace mm::app

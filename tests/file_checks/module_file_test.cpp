// The built module read as a file, with no Windows: what a machine that cannot run the
// module can still check of it. Usage: module_file_tests MODULE [gtest options]

#include "dialog_template_check.h"
#include "pe_resources.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

const char* modulePath = nullptr;

TEST(ModuleFile, HoldsDialogTemplate101AsDesigned)
{
    std::ifstream in(modulePath, std::ios::binary);
    ASSERT_TRUE(in) << "cannot open " << modulePath;
    pe::File file{std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {})};
    pe::Resource dialog;
    ASSERT_TRUE(file.find(5, 101, kExpectedLanguage, dialog)) << modulePath << ": " << file.error();
    EXPECT_EQ(dialog.languages, std::vector<uint16_t>{kExpectedLanguage}) << "English (United States) only";
    template_check::expectTemplate101(dialog.data, dialog.size);
}

// The extended filter's template: its own, in rangewick's style and font.
TEST(ModuleFile, HoldsTheExtendedTemplate102InRangewicksStyleAndFont)
{
    std::ifstream in(modulePath, std::ios::binary);
    pe::File file{std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {})};
    pe::Resource dialog;
    ASSERT_TRUE(file.find(5, 102, kExpectedLanguage, dialog)) << modulePath << ": " << file.error();
    EXPECT_EQ(dialog.languages, std::vector<uint16_t>{kExpectedLanguage});
    template_check::Reader r{dialog.data, dialog.data + dialog.size};
    const template_check::Header h = template_check::readHeader(r);
    template_check::expectRangewicksStyleAndFont(h);
    EXPECT_EQ(h.caption, "Filter: Rangewick extended");
    EXPECT_FALSE(r.overran);
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: module_file_tests MODULE [gtest options]\n");
        return 2;
    }
    modulePath = argv[1];
    return RUN_ALL_TESTS();
}
